#pragma once
// Reads table maindata of a Jet database with libmdb, row by row, into a RowSink.
//
// libmdb trusts the file it reads, so a damaged database can make it crash or loop: this
// runs in the reading program (tools/read) unless a caller accepts that risk. What the
// reader can check it does: a table definition that contradicts itself, values outside
// their row or page, memo chains that run in circles are a damaged file, never rows.
#include "base/result.h"

#include <QString>

#include <cstdint>
#include <string>

namespace morvessa {

enum ReadStatus : std::uint8_t {
    ReadOk = 0,
    NotADatabase = 1,
    NoTable = 2,
    MissingColumn = 3,
    UnsupportedColumn = 4,
    Damaged = 5,
};

// Why table maindata could not be read. The kind and the column travel in the column file
// from the reading program to the program that started it (readmessages.h makes one).
struct ReadFailure : Failure {
    ReadStatus status = Damaged;
    std::string detail; // the column concerned, when there is one
};

// One row as read: the three texts as UTF-8 (content folded when asked, then `written`
// its differences from the content as written, store/writtenform.h), and the date.
struct RowValues {
    std::string subject, htm, content, written;
    bool subjectNull = false, htmNull = false, contentNull = false;
    double date = 0;
    bool dateNull = false;
};

class RowSink {
public:
    virtual ~RowSink() = default;
    // The row count the table claims (checked against the rows read at the end).
    virtual bool begin(std::uint64_t claimedRows) = 0;
    // False stops the reading (the sink could not take the row).
    virtual bool add(const RowValues &row) = 0;
};

// Reads the open database file fd into sink; path names the file in the failure's message.
// progress, when given, is called every few pages. A sink that refuses a row ends the
// reading with Damaged.
Result<void, ReadFailure> readTable(int fd, const QString &path, RowSink &sink, bool foldContent,
                                    void (*progress)() = nullptr);

} // namespace morvessa
