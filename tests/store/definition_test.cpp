// A damaged definition of table maindata: the reader either reports the file as damaged
// or reads exactly the rows of the intact file, never other rows without a word.
#include "store/mdbreader.h"
#include "store/storetable.h"
#include "testdata.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace morvessa;

namespace {

constexpr qsizetype kPage = 4096;

QByteArray collectionBytes()
{
    QFile f(test::dataFolder("collection") + QStringLiteral("/jst.mdb"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

// The page that holds maindata's definition: a definition page naming its four columns.
qsizetype definitionPage(const QByteArray &file)
{
    auto utf16 = [](const char *name) {
        QByteArray out;
        for (const char *p = name; *p; ++p)
            out.append(*p).append('\0');
        return out;
    };
    for (qsizetype p = 0; p < file.size() / kPage; ++p) {
        const QByteArray page = file.mid(p * kPage, kPage);
        if (page[0] == '\x02' && page.contains(utf16("subject")) && page.contains(utf16("content")))
            return p * kPage;
    }
    return -1;
}

// Everything the reader gives, row by row, for comparing two reads.
std::string everything(const StoreTable &t)
{
    std::string out;
    for (std::size_t r = 0; r < t.rowCount(); ++r) {
        for (const TextColumn *c : {&t.subject, &t.htm, &t.content}) {
            out += c->null(r) ? "<null>" : std::string(c->at(r));
            out += '\x1f';
        }
        out += t.dateNull[r] ? "<null>" : std::to_string(t.date[r]);
        out += '\n';
    }
    return out;
}

struct Outcome {
    bool failed = false;
    QString message;
    std::string rows;
};

Outcome readBytes(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.path() + QStringLiteral("/jst.mdb");
    QFile::remove(path);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    const TableResult table = readMaindata(path);
    if (!table)
        return {true, table.message(), {}};
    return {false, {}, everything(**table)};
}

// Offsets inside the definition page: the table's counts, then 25 bytes per column.
constexpr int kVarCount = 43, kColCount = 45, kColumns = 63, kColEntry = 25;
enum Col { Subject, Htm, Content, Date };
constexpr int kType = 0, kVarNum = 7, kFlags = 15, kFixedOffset = 21, kSize = 23;
int at(Col c, int field)
{
    return kColumns + c * kColEntry + field;
}

} // namespace

TEST(DefinitionTest, SelfContradictingDefinitionsAreDamagedFiles)
{
    QTemporaryDir dir;
    const QByteArray good = collectionBytes();
    const qsizetype def = definitionPage(good);
    ASSERT_GE(def, 0);
    const QString path = dir.path() + QStringLiteral("/jst.mdb");
    const std::string intact = readBytes(dir, good).rows;
    ASSERT_FALSE(intact.empty());

    const struct {
        const char *what;
        std::vector<std::pair<int, char>> changes; // offset in the page, new byte
    } cases[] = {
        {"no varying-size columns (two bytes zeroed)", {{kVarCount, 0}, {kVarCount + 1, 0}}},
        {"two varying-size columns where three are listed", {{kVarCount, 2}}},
        {"five columns where four are listed", {{kColCount, 5}}},
        {"subject read as a memo", {{at(Subject, kType), 0x0C}}},
        {"content read as a short text", {{at(Content, kType), 0x0A}}},
        {"htm as a number", {{at(Htm, kType), 0x04}}},
        {"date four bytes long where eight are given", {{at(Date, kType), 0x04}}},
        {"htm in subject's place", {{at(Htm, kVarNum), 0}}},
        {"date of varying size", {{at(Date, kFlags), 0x02}}},
        {"date one byte further into the row", {{at(Date, kFixedOffset), 1}}},
        {"date past the row", {{at(Date, kFixedOffset) + 1, 0x10}}},
        {"subject of no length", {{at(Subject, kSize), 0}, {at(Subject, kSize) + 1, 0}}},
        {"subject shorter than its titles", {{at(Subject, kSize), 4}, {at(Subject, kSize) + 1, 0}}},
    };
    for (const auto &c : cases) {
        QByteArray bytes = good;
        for (const auto &[offset, value] : c.changes)
            bytes[def + offset] = value;
        const Outcome o = readBytes(dir, bytes);
        EXPECT_TRUE(o.failed) << c.what << (o.rows == intact ? " (the intact rows)" : " (other rows)");
        EXPECT_TRUE(o.message.contains(path)) << c.what << ": " << o.message.toStdString();
        EXPECT_TRUE(o.message.contains(QStringLiteral("損毀")) || o.message.contains(QStringLiteral("無法使用")))
            << c.what << ": " << o.message.toStdString();
    }
}

// Every one-byte change of the definition's bytes: an error, or the very rows of the intact file.
TEST(DefinitionTest, OneByteChangesNeverGiveOtherRows)
{
    QTemporaryDir dir;
    const QByteArray good = collectionBytes();
    const qsizetype def = definitionPage(good);
    ASSERT_GE(def, 0);
    const std::string intact = readBytes(dir, good).rows;
    int failed = 0, same = 0;
    for (int offset = 0; offset < 256; ++offset) {
        const char was = good[def + offset];
        for (const char value : {char(was ^ 0x01), char(was ^ 0x80), char(0xFF)}) {
            if (value == was)
                continue;
            QByteArray bytes = good;
            bytes[def + offset] = value;
            const Outcome o = readBytes(dir, bytes);
            if (o.failed) {
                ++failed;
                continue;
            }
            ++same;
            EXPECT_TRUE(o.rows == intact) << "byte " << offset << " set to "
                                          << int(static_cast<unsigned char>(value)) << " gives other rows";
        }
    }
    EXPECT_GT(failed, 0);
    EXPECT_GT(same, 0);
}
