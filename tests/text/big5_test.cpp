#include "text/big5.h"

#include <gtest/gtest.h>

using namespace morvessa;

namespace {

QByteArray bytes(std::initializer_list<unsigned char> list)
{
    QByteArray b;
    for (unsigned char c : list)
        b.append(char(c));
    return b;
}

} // namespace

TEST(Big5, RoundTripsBackslashCharactersAndUserDefinedArea)
{
    // 許 功 蓋 (second byte 0x5C), user-defined FA40 and FEFE, 0x81 lead, ASCII.
    const QByteArray page =
        bytes({0xB3, 0x5C, 0xA5, 0x5C, 0xBB, 0x5C, 0xFA, 0x40, 0xFE, 0xFE, 0x81, 0x40, 'a', '\\', 'b'});
    const QString text = big5Decode(page);
    EXPECT_EQ(text.left(3), QStringLiteral("許功蓋"));
    EXPECT_EQ(text.at(3), QChar(0xE000));
    EXPECT_TRUE(text.endsWith(QStringLiteral("a\\b")));
    qsizetype bad = 99;
    EXPECT_EQ(big5Encode(text, &bad), page);
    EXPECT_EQ(bad, -1);
}

TEST(Big5, EncodeReportsFirstUnmappableCharacter)
{
    struct Case {
        QString text;
        qsizetype index;
    };
    const Case cases[] = {
        {QStringLiteral("發熱é頭痛"), 2},
        {QStringLiteral("ab") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("c"), 2},
        {QStringLiteral("頭") + QChar(0xD800) + QStringLiteral("x"), 1}, // lone surrogate
        {QStringLiteral("頭痛") + QChar(0xDC00), 2},
        {QStringLiteral("한"), 0},
    };
    for (const Case &c : cases) {
        qsizetype bad = -1;
        EXPECT_TRUE(big5Encode(c.text, &bad).isEmpty()) << c.text.toStdString();
        EXPECT_EQ(bad, c.index) << c.text.toStdString();
    }
}

TEST(Big5, EmptyText)
{
    qsizetype bad = 5;
    EXPECT_TRUE(big5Encode(QString(), &bad).isEmpty());
    EXPECT_EQ(bad, -1);
    EXPECT_TRUE(big5Decode(QByteArray()).isEmpty());
}
