#pragma once
// The one way the programs read a file whole and replace one. After a replace the file
// holds either every new byte or exactly the bytes it held before, and stays the same
// file: its owner, its mode and its other names (hard links) are kept. A file that others
// may be reading while it changes (a record page, a menu entry) is written beside its
// name and moved over it in one step (NewFileBeside).
//
// Paths are the bytes the file system knows (a name from a Windows zip need not be UTF-8).
// Messages name the file as `shown` gives it, or as the path decodes when it is empty.
#include "base/result.h"

#include <QByteArray>

#include <functional>

#include <sys/types.h>

namespace morvessa {

// Why a file could not be read or replaced. The message names the file and says what
// went wrong.
struct FileFailure : Failure {
    enum Kind {
        Missing,      // no such file or folder
        NotAFile,     // a folder, a device, a pipe or the like
        NoPermission, // the user may not read it
        TooLarge,     // larger than the reader's limit
        ReadFailed,   // opening or reading failed otherwise; error holds its errno
        ReadOnly,     // the file is there but may not be written
        CannotCreate, // a missing file cannot be created in its folder
        WriteFailed,  // a write, sync or read-back failed; error holds its errno
    } kind = ReadFailed;
    int error = 0;       // errno of the call that failed
    bool oldKept = true; // after a failed replace: the file holds its old bytes
};

// Reads the ordinary file at path whole, when it is no larger than limit bytes. Never
// waits on a pipe or device.
Result<QByteArray, FileFailure> readFileContent(const QByteArray &path, qint64 limit, const QString &shown = {});

enum class ReplaceWay {
    NewFile, // written beside the old file, then moved over it in one step
    InPlace, // written into the file itself; the old bytes go back when that fails
};

// Replaces the content of the file at path (created when missing) by bytes, and tells
// how. A symbolic link is followed: the file it names gets the bytes and the link stays
// a link. The new content is written beside the file and moved over it, unless that would
// change what the file is: a file with other names, in a folder that takes no new file,
// or of an owner a new file could not be given, is written in place.
Result<ReplaceWay, FileFailure> replaceFileContent(const QByteArray &path, const QByteArray &bytes,
                                                   const QString &shown = {});

// A new file made beside `path` (hidden: ".NAME.XXXX.new"), written, then moved over the
// name in one step: anyone reading the name sees the old file or the whole new one. A
// link at the name is replaced, never written through. Removed again unless committed.
class NewFileBeside {
public:
    enum class Sync {
        Yes, // the content and the move reach the disk before commit returns
        No,  // left to the system: for files made again and again, such as a record page
    };
    NewFileBeside(const QByteArray &path, mode_t mode);
    ~NewFileBeside();
    NewFileBeside(const NewFileBeside &) = delete;
    NewFileBeside &operator=(const NewFileBeside &) = delete;

    // errno of the failed creation, 0 when the file is open.
    int error() const { return m_error; }
    int fd() const { return m_fd; }
    // Appends bytes; the errno of the call that stopped it, else 0.
    int write(const QByteArray &bytes);
    // Syncs as asked, closes and moves the file over the name; the errno of the step that
    // failed (the new file is then removed), else 0.
    int commit(Sync sync);

private:
    QByteArray m_path;
    QByteArray m_temporary;
    int m_fd = -1;
    int m_error = 0;
    off_t m_written = 0;
};

// Why a call failed, in a few words for the user ("磁碟空間不足").
QString systemErrorText(int error);

// Every byte goes to disk through this call, which behaves as pwrite(2). Tests put a
// failing one in place to break a write part way.
using WriteAtCall = std::function<ssize_t(int fd, const char *data, size_t size, off_t offset)>;
WriteAtCall &writeAtCall();

} // namespace morvessa
