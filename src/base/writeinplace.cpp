#include "base/fileio.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace morvessa::fileio {

// Writes bytes into the file itself. Bytes past the old end go first, so a disk that
// fills up stops the save before one old byte is overwritten; after the old bytes have
// been overwritten the new ones are read back, and any failure puts the old ones back.
Result<ReplaceWay, FileFailure> writeInPlace(const QByteArray &path, const QByteArray &bytes)
{
    Fd fd(::open(path.constData(), O_RDWR | O_CLOEXEC));
    if (!fd.valid())
        return failed(FileFailure::WriteFailed, errno);
    QByteArray old;
    if (const int err = readAll(fd.get(), &old))
        return failed(FileFailure::WriteFailed, err);

    const size_t oldSize = size_t(old.size());
    const size_t newSize = size_t(bytes.size());
    if (newSize > oldSize) {
        int err = writeAll(fd.get(), bytes.constData() + oldSize, newSize - oldSize, off_t(oldSize));
        if (!err)
            err = syncCall(fd.get());
        if (err) {
            const bool cut = ::ftruncate(fd.get(), off_t(oldSize)) == 0;
            return failed(FileFailure::WriteFailed, err, cut);
        }
    }

    int err = writeAll(fd.get(), bytes.constData(), std::min(oldSize, newSize), 0);
    if (!err && newSize < oldSize && ::ftruncate(fd.get(), off_t(newSize)) != 0)
        err = errno;
    if (!err)
        err = syncCall(fd.get());
    if (!err) {
        QByteArray back;
        err = readAll(fd.get(), &back);
        if (!err && back != bytes)
            err = EIO;
    }
    if (!err)
        err = fd.close();
    if (!err)
        return ReplaceWay::InPlace;

    // Put the old bytes back.
    if (!fd.valid())
        fd.adopt(::open(path.constData(), O_RDWR | O_CLOEXEC));
    bool restored = fd.valid() && writeAll(fd.get(), old.constData(), oldSize, 0) == 0 &&
                    ::ftruncate(fd.get(), off_t(oldSize)) == 0 && syncCall(fd.get()) == 0;
    if (restored) {
        QByteArray back;
        restored = readAll(fd.get(), &back) == 0 && back == old;
    }
    return failed(FileFailure::WriteFailed, err, restored);
}

} // namespace morvessa::fileio
