#pragma once
// The column file: table maindata as the record store holds it (three text columns, the
// dates, the date order) in one file that is mapped and used where it lies.
//
// The reading program (store/read) writes it row by row with a few small buffers, so its
// memory stays near the size of one record whatever the size of the table; the program
// maps it, and keeps it in the user's cache folder for the next start (keptcolumns.h).
// Layout: a header page, the row-sized arrays, then the texts (content first). Everything
// the header says is checked before the arrays are used; each chunk of a kept file must
// match its sum before anything found in it is used (chunkcheck.h), so a file cut short,
// overwritten or written by another version never answers.
#include "store/databaseidentity.h"
#include "store/storetable.h"
#include "store/tableread.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace morvessa {

// Which database file, in which form, a kept column file holds.
struct ColumnFileStamp {
    std::uint64_t pathKey[2] = {0, 0}; // digest of the database path and the content form
    DatabaseIdentity identity;
    bool operator==(const ColumnFileStamp &) const = default;
};

// Why a column file could not be completed.
struct ColumnWriteFailure : Failure {
    // The system's error number of the write to the file that failed (a full disk, a
    // file-size limit): then the file is what failed, not the database. 0 when every write
    // went through but the file did not map back to be completed.
    int error = 0;
};

// Writes a column file into fd (empty, opened for reading and writing) as rows arrive.
class ColumnFileWriter : public RowSink {
public:
    // databaseSize bounds what a table of that file can hold; name names the file in a
    // failure's message.
    ColumnFileWriter(int fd, bool contentFolded, std::uint64_t databaseSize, const QString &name);
    ~ColumnFileWriter() override;
    ColumnFileWriter(const ColumnFileWriter &) = delete;
    ColumnFileWriter &operator=(const ColumnFileWriter &) = delete;

    bool begin(std::uint64_t claimedRows) override;
    bool add(const RowValues &row) override;
    // Completes the file: after a whole reading the texts in place, the date order, the
    // checksum and the header; otherwise a header that reports the failure. Fails when
    // any write to the file failed, during the reading too (a sink that could not take a
    // row ends the reading as damaged, so only this tells the two apart).
    Result<void, ColumnWriteFailure> finish(const Result<void, ReadFailure> &outcome);

private:
    bool complete(const Result<void, ReadFailure> &outcome);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Maps the column file in fd. When it is not usable, the failure is what the file reports
// (a read failure) or Damaged, its message naming the database at path. With expected,
// only a file stamped with it is used. With verifyChecksum, the table's bytes are checked
// against the file's sums as they are used (StoreTable::settled); onDamage runs when they
// do not hold.
Result<std::shared_ptr<const StoreTable>, ReadFailure> mapColumnFile(int fd, bool contentFolded,
                                                                     const ColumnFileStamp *expected,
                                                                     bool verifyChecksum, const QString &path,
                                                                     std::function<void()> onDamage = {});

// Whether the file in fd begins as a column file of this program's version does.
bool ofThisVersion(int fd);

// Marks the column file in fd as holding that database version (before it is kept).
bool stampColumnFile(int fd, const ColumnFileStamp &stamp);

} // namespace morvessa
