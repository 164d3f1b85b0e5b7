#include "store/opendatabase.h"

#include "store/readmessages.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace morvessa {

OpenDatabase::~OpenDatabase()
{
    if (fd >= 0)
        ::close(fd);
}

Result<void> openDatabase(const QString &path, OpenDatabase &db)
{
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &db.status) != 0)
        return Failure{openFailureMessage(path, errno)};
    if (S_ISDIR(db.status.st_mode))
        return Failure{openFailureMessage(path, EISDIR)};
    if (!S_ISREG(db.status.st_mode))
        return Failure{notAFileMessage(path)};
    // Without blocking: a pipe put where the file was between the look and the open is
    // no database, never a wait. Reads of a regular file are the same either way.
    db.fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (db.fd < 0)
        return Failure{openFailureMessage(path, errno)};
    if (::fstat(db.fd, &db.status) != 0 || !S_ISREG(db.status.st_mode))
        return Failure{notAFileMessage(path)};
    return {};
}

} // namespace morvessa
