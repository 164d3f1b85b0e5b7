#pragma once
#include "base/result.h"
#include "printers.h"
#include "store/connstring.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>
#include <type_traits>

namespace morvessa::test {

inline QString dataFolder(const char *name)
{
    return QStringLiteral(MORVESSA_TEST_DATA "/") + QString::fromUtf8(name);
}

inline QString connFor(const char *name)
{
    return buildConnString(dataFolder(name));
}

// A writable copy of a fixture's jst.mdb in a temporary folder.
inline QString copyDatabase(const QTemporaryDir &dir, const char *name, const QString &subfolder = QString())
{
    const QString folder = subfolder.isEmpty() ? dir.path() : dir.path() + QLatin1Char('/') + subfolder;
    QDir().mkpath(folder);
    const QString target = folder + QStringLiteral("/jst.mdb");
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(dataFolder(name) + QStringLiteral("/jst.mdb"), target));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return folder;
}

// The value of a call the test expects to succeed. A failure throws its message, which
// the test framework reports as the test's failure.
template <class T, class F>
T valueOf(Result<T, F> result)
{
    if (!result)
        throw std::runtime_error(result.message().toStdString());
    if constexpr (!std::is_void_v<T>)
        return std::move(result).value();
}

inline QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace morvessa::test
