#pragma once
// Reading a file whole, and putting new content into a file so that afterwards the file
// holds either every new byte or exactly the bytes it held before, and stays the same
// file: its owner, its mode and its other names (hard links) are kept.
//
// Paths are the bytes the file system knows (a name from a Windows zip need not be UTF-8).
#include <QByteArray>

#include <functional>

#include <sys/types.h>

namespace morvessa {

enum class ReadFailure {
    None,
    Missing,      // no such file or folder
    NotAFile,     // a folder, a device, a pipe or the like
    NoPermission, // the user may not read it
    TooLarge,     // larger than the reader's limit
    ReadFailed,   // opening or reading failed otherwise; error holds its errno
};

struct ReadResult {
    ReadFailure failure = ReadFailure::None;
    int error = 0; // errno of the call that failed
    QByteArray bytes;
};

// Reads the ordinary file at path whole, when it is no larger than limit bytes. Never
// waits on a pipe or device.
ReadResult readFileContent(const QByteArray &path, qint64 limit);

enum class ReplaceWay {
    NewFile, // written beside the old file, then moved over it in one step
    InPlace, // written into the file itself; the old bytes go back when that fails
};

enum class ReplaceFailure {
    None,
    NotAFile,     // the path names a folder, a device or the like
    ReadOnly,     // the file is there but may not be written
    CannotCreate, // a missing file cannot be created in its folder
    WriteFailed,  // a write, sync or read-back failed; error holds its errno
};

struct ReplaceResult {
    ReplaceFailure failure = ReplaceFailure::None;
    int error = 0; // errno of the call that failed
    ReplaceWay way = ReplaceWay::NewFile;
    bool oldKept = true; // after a failure: the file holds its old bytes
    bool ok() const { return failure == ReplaceFailure::None; }
};

// Replaces the content of the file at path (created when missing) by bytes. A symbolic
// link is followed: the file it names gets the bytes and the link stays a link.
// The new content is written beside the file and moved over it, unless that would change
// what the file is: a file with other names, in a folder that takes no new file, or of an
// owner a new file could not be given, is written in place.
ReplaceResult replaceFileContent(const QByteArray &path, const QByteArray &bytes);

// Every byte goes to disk through this call, which behaves as pwrite(2). Tests put a
// failing one in place to break a write part way.
using WriteAtCall = std::function<ssize_t(int fd, const char *data, size_t size, off_t offset)>;
WriteAtCall &writeAtCall();

} // namespace morvessa
