#pragma once
// The isolated read: table maindata is read by a program of its own (store/read, built
// and installed as morvessa-read beside the other programs), so that a damaged database
// that makes libmdb crash or loop takes down that program alone.
//
// This process opens the database (its permissions decide) and a column file, and starts
// the reading program with both: the database as descriptor 3, the column file as
// descriptor 4. The program writes the table into the column file (columnfile.h) and a
// progress byte to its standard output every tenth of a second while it reads. A program
// that exits without a whole column file, dies, or stays silent for the stall limit is a
// failure here; this process goes on.
#include "base/result.h"
#include "store/readsettings.h"

#include <QString>

namespace morvessa {

// The reading program's exit status when the column file could not be written.
inline constexpr int kReaderCannotWrite = 4;

struct ReaderFailure : Failure {
    // The column file could not be written (a full disk): the database may be fine, and a
    // column file elsewhere (in memory) can be tried.
    bool columnFileUnwritable = false;
};

// Runs the reading program of settings, stopped when silent for its stall limit; the
// failure names path when it does not complete.
Result<void, ReaderFailure> runReaderProgram(int databaseFd, int columnFileFd, bool contentFolded,
                                             const QString &path, const ReadSettings &settings);

} // namespace morvessa
