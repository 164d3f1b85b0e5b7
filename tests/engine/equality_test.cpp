// The fast path against the plain path on the fixture collection: every search shows the
// same rows in the same order, the same not-found message, or the same error.
#include "observe.h"
#include "querygen.h"
#include "testdata.h"

#include "store/mdbreader.h"
#include "store/storetable.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QString kCollection = QStringLiteral(MORVESSA_TEST_DATA "/collection/jst.mdb");

QString connFor(const QString &mdb)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + mdb +
           QStringLiteral(";Persist Security Info=False");
}

void expectSame(const QString &mdb, const QString &query, const morvessa::Collection &collection)
{
    const equality::Comparison c = equality::compareSearch(connFor(mdb), query, collection);
    EXPECT_TRUE(c.same()) << "query [" << query.toStdString() << "] fast: " << c.fast.summary().toStdString()
                          << " / plain: " << c.plain.summary().toStdString();
}

TEST(Equality, ChosenQueriesGiveTheSameResults)
{
    const morvessa::Collection collection;
    for (const char *q : {
             "",
             "-",
             "+",
             "- ",
             "+ ",
             "明月",
             "明月 故鄉",
             "+明月 故鄉",
             "咖啡因",
             "明_",
             "Ff",
             "發熱",
             "發熱 頭痛",
             "-發熱 頭痛",
             "+發熱 頭痛",
             "發熱  頭痛",
             "+發熱  頭痛",
             "- 發熱",
             "發熱　頭痛",
             "咳嗽",
             "panax",
             "PANAX ginseng",
             "ｐａｎａｘ",
             "vitaminc",
             "ＦＥＶＥＲ",
             "fever",
             "123",
             "１２３",
             "hahnemann's",
             "'",
             "''",
             "a'b",
             "100%",
             "100[%]",
             "a_b",
             "a[_]b",
             "a[!_]b",
             "[a-c]_b",
             "[",
             "發熱 [",
             "+發熱 [",
             "[]",
             "]",
             "\\",
             "尾端標記",
             "脾胃",
             "font",
             "color=red",
             "\xee\x80\x80",
             "－發熱",
             "＋發熱",
             "%",
             "_",
             "__",
             "%發熱%",
             "許功蓋",
         })
        expectSame(kCollection, QString::fromUtf8(q), collection);
    // A U+0000 pasted into the box is a character of its term on both paths.
    for (const QString &q : {QStringLiteral("a") + QChar(0) + QStringLiteral("b"),
                             QStringLiteral("+a") + QChar(0) + QStringLiteral(" b"),
                             QStringLiteral("發熱 ") + QChar(0), QString(QChar(0))})
        expectSame(kCollection, q, collection);
}

TEST(Equality, RandomQueriesGiveTheSameResults)
{
    const morvessa::Collection collection;
    const auto table = morvessa::test::valueOf(morvessa::readMaindataInProcess(kCollection));
    std::vector<QString> contents;
    for (std::size_t r = 0; r < table->rowCount(); ++r) {
        const std::string_view c = table->content.at(r);
        contents.push_back(QString::fromUtf8(c.data(), qsizetype(c.size())));
    }
    equality::QueryGenerator gen(contents, 4242);
    for (int i = 0; i < 600; ++i)
        expectSame(kCollection, gen.next(), collection);
}

// "_" before or after a run counts characters, not bytes: a character near the start or
// the end of a record, with fewer characters than "_"s beside it, must not match there.
TEST(Equality, AnyOnesBesideARunCountCharacters)
{
    const morvessa::Collection collection;
    const auto table = morvessa::test::valueOf(morvessa::readMaindataInProcess(kCollection));
    for (std::size_t r = 0; r < table->rowCount(); ++r) {
        const std::string_view c = table->content.at(r);
        const QString content = QString::fromUtf8(c.data(), qsizetype(c.size()));
        for (const qsizetype at : {qsizetype(1), qsizetype(2), content.size() - 2, content.size() - 3}) {
            if (at < 0 || at >= content.size())
                continue;
            const QString run = content.mid(at, 1);
            if (run.contains(QRegularExpression(QStringLiteral("[\\s%_\\[\\]'+-]"))))
                continue;
            expectSame(kCollection, QStringLiteral("___") + run, collection);
            expectSame(kCollection, run + QStringLiteral("___"), collection);
        }
    }
}

TEST(Equality, CollectionsWithoutRecordsOrColumnsFailAlike)
{
    const morvessa::Collection collection;
    for (const char *folder : {"empty", "no-table", "no-content"})
        for (const char *q : {"", "發熱", "+發熱 頭痛", "-"})
            expectSame(QStringLiteral(MORVESSA_TEST_DATA "/") + QString::fromUtf8(folder) +
                           QStringLiteral("/jst.mdb"),
                       QString::fromUtf8(q), collection);
    expectSame(QStringLiteral(MORVESSA_TEST_DATA "/missing/jst.mdb"), QStringLiteral("發熱"), collection);
}

} // namespace
