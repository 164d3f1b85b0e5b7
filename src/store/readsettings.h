#pragma once
// How a database file is read: the reading program and how long it may stay silent, and
// where the column files of earlier reads are kept. A value the program makes once and
// hands down with its collection; tests make their own.
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

namespace morvessa {

// The user's cache folder for the program (keptcolumns.h); empty where there is none.
QString defaultKeptColumnsFolder();
// morvessa-read beside the running program's file, or in a build folder where the build
// puts it (isolatedread.h).
QString defaultReaderProgram();

struct ReadSettings {
    QString keptFolder = defaultKeptColumnsFolder(); // empty: nothing is kept
    std::optional<std::uint64_t> keptByteLimit;      // nullopt: a tenth of its disk
    QString readerProgram = defaultReaderProgram();
    // A reading program silent for this long is stuck: it is stopped and the file
    // reported as not readable in time.
    std::chrono::milliseconds stallLimit{10000};
};

} // namespace morvessa
