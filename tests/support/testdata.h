#pragma once
#include "printers.h"
#include "store/connstring.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

inline QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace morvessa::test
