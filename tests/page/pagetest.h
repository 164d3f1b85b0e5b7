#pragma once
// What the record page tests share: the test collection's pages and marked terms.
#include "text/big5.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>

namespace morvessa::pagetest {

inline const QString kCollection = QStringLiteral(MORVESSA_TEST_DATA "/collection");

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// A page of the test collection; a missing one fails the test.
inline QByteArray fixture(const QString &relative)
{
    const QByteArray bytes = readFile(kCollection + QLatin1Char('/') + relative);
    EXPECT_FALSE(bytes.isEmpty()) << relative.toStdString();
    return bytes;
}

inline QByteArray big5(const QString &text)
{
    qsizetype bad = -1;
    QByteArray bytes = big5Encode(text, &bad);
    EXPECT_EQ(bad, -1) << text.toStdString();
    return bytes;
}

inline QByteArray marked(const QString &term)
{
    return QByteArrayLiteral("<font color=red>") + big5(term) + QByteArrayLiteral("</font>");
}

inline QString str(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace morvessa::pagetest
