#include "search/queryanalysis.h"

#include <gtest/gtest.h>

using namespace morvessa;

namespace {

const QString kAndHead = QStringLiteral("select subject,htm from  maindata where 1=1");
const QString kOrHead = QStringLiteral("select subject,htm from  maindata where 1=2");
const QString kAndTail = QStringLiteral("order by [date] desc ");

QString andClause(const QString &term)
{
    return QStringLiteral(" and content like '%") + term + QStringLiteral("%' ");
}

QString orClause(const QString &term)
{
    return QStringLiteral("  or content like '%") + term + QStringLiteral("%' ");
}

struct Case {
    const char *name;
    QString box;
    QString trimmed;
    QString mode;
    QStringList keywords;
    QString sqlText;
    QString messageText;
};

} // namespace

TEST(AnalyseQuery, StatementsModesAndTerms)
{
    const QString fare = QStringLiteral("發熱");
    const QString ache = QStringLiteral("頭痛");
    const QString esc = QStringLiteral("'&chr(39)&'");
    const QString listAll = QStringLiteral("select subject,htm from  maindata order by date desc");

    const std::vector<Case> cases = {
        {"empty", QString(), QString(), QStringLiteral("mod1"), {}, listAll, QString()},
        {"only blanks", QStringLiteral("    "), QString(), QStringLiteral("mod1"), {}, listAll, QString()},
        {"two words",
         fare + QStringLiteral(" ") + ache,
         fare + QStringLiteral(" ") + ache,
         QStringLiteral("mod3a"),
         {fare, ache},
         kAndHead + andClause(fare) + andClause(ache) + kAndTail,
         fare + QStringLiteral(" ") + ache},
        {"minus",
         QStringLiteral("-") + fare + QStringLiteral(" ") + ache,
         QStringLiteral("-") + fare + QStringLiteral(" ") + ache,
         QStringLiteral("mod3"),
         {fare, ache},
         kAndHead + andClause(fare) + andClause(ache) + kAndTail,
         fare + QStringLiteral(" ") + ache},
        {"plus",
         QStringLiteral("+") + fare + QStringLiteral(" ") + ache,
         QStringLiteral("+") + fare + QStringLiteral(" ") + ache,
         QStringLiteral("mod4"),
         {fare, ache},
         kOrHead + orClause(fare) + orClause(ache),
         fare + QStringLiteral(" ") + ache},
        {"blanks around",
         QStringLiteral("   ") + fare + QStringLiteral("  "),
         fare,
         QStringLiteral("mod3a"),
         {fare},
         kAndHead + andClause(fare) + kAndTail,
         fare},
        {"minus alone",
         QStringLiteral("-"),
         QStringLiteral("-"),
         QStringLiteral("mod3"),
         {},
         kAndHead + QStringLiteral(" ") + kAndTail,
         QString()},
        {"plus alone", QStringLiteral("+"), QStringLiteral("+"), QStringLiteral("mod4"), {}, kOrHead, QString()},
        {"blank after operator",
         QStringLiteral("- ") + fare,
         QStringLiteral("- ") + fare,
         QStringLiteral("mod3"),
         {QString(), fare},
         kAndHead + andClause(QString()) + andClause(fare) + kAndTail,
         QStringLiteral(" ") + fare},
        {"two blanks between or terms",
         QStringLiteral("+") + fare + QStringLiteral("  ") + ache,
         QStringLiteral("+") + fare + QStringLiteral("  ") + ache,
         QStringLiteral("mod4"),
         {fare, QString(), ache},
         kOrHead + orClause(fare) + orClause(QString()) + orClause(ache),
         fare + QStringLiteral("  ") + ache},
        {"ideographic space joins",
         fare + QStringLiteral("\u3000") + ache,
         fare + QStringLiteral("\u3000") + ache,
         QStringLiteral("mod3a"),
         {fare + QStringLiteral("\u3000") + ache},
         kAndHead + andClause(fare + QStringLiteral("\u3000") + ache) + kAndTail,
         fare + QStringLiteral("\u3000") + ache},
        {"tab is no blank",
         QStringLiteral("\t") + fare + QStringLiteral(" "),
         QStringLiteral("\t") + fare,
         QStringLiteral("mod3a"),
         {QStringLiteral("\t") + fare},
         kAndHead + andClause(QStringLiteral("\t") + fare) + kAndTail,
         QStringLiteral("\t") + fare},
        {"apostrophe",
         QStringLiteral("a'b"),
         QStringLiteral("a'b"),
         QStringLiteral("mod3a"),
         {QStringLiteral("a") + esc + QStringLiteral("b")},
         kAndHead + andClause(QStringLiteral("a") + esc + QStringLiteral("b")) + kAndTail,
         QStringLiteral("a") + esc + QStringLiteral("b")},
        {"leading apostrophe",
         QStringLiteral("'x"),
         QStringLiteral("'x"),
         QStringLiteral("mod3a"),
         {esc + QStringLiteral("x")},
         kAndHead + andClause(esc + QStringLiteral("x")) + kAndTail,
         esc + QStringLiteral("x")},
        {"minus then apostrophe",
         QStringLiteral("-'"),
         QStringLiteral("-'"),
         QStringLiteral("mod3"),
         {esc},
         kAndHead + andClause(esc) + kAndTail,
         esc},
        {"full-width minus",
         QStringLiteral("\uFF0D") + fare,
         QStringLiteral("\uFF0D") + fare,
         QStringLiteral("mod3a"),
         {QStringLiteral("\uFF0D") + fare},
         kAndHead + andClause(QStringLiteral("\uFF0D") + fare) + kAndTail,
         QStringLiteral("\uFF0D") + fare},
        {"full-width plus",
         QStringLiteral("\uFF0B") + fare,
         QStringLiteral("\uFF0B") + fare,
         QStringLiteral("mod3a"),
         {QStringLiteral("\uFF0B") + fare},
         kAndHead + andClause(QStringLiteral("\uFF0B") + fare) + kAndTail,
         QStringLiteral("\uFF0B") + fare},
        {"blanks before operator",
         QStringLiteral("  -") + fare,
         QStringLiteral("-") + fare,
         QStringLiteral("mod3"),
         {fare},
         kAndHead + andClause(fare) + kAndTail,
         fare},
        {"wildcards pass through",
         QStringLiteral("a%_[b"),
         QStringLiteral("a%_[b"),
         QStringLiteral("mod3a"),
         {QStringLiteral("a%_[b")},
         kAndHead + andClause(QStringLiteral("a%_[b")) + kAndTail,
         QStringLiteral("a%_[b")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QueryAnalysis a = analyseQuery(c.box);
        EXPECT_EQ(a.trimmed, c.trimmed);
        EXPECT_EQ(modeName(a.mode), c.mode);
        EXPECT_EQ(a.keywords, c.keywords);
        EXPECT_EQ(a.sqlText, c.sqlText);
        EXPECT_EQ(a.messageText, c.messageText);
    }
}

TEST(AnalyseQuery, ExactStatementText)
{
    // Written out whole, so the blanks between clauses are visible.
    EXPECT_EQ(
        analyseQuery(QStringLiteral("發熱 頭痛")).sqlText,
        QStringLiteral("select subject,htm from  maindata where 1=1 and content like '%發熱%'  and content like "
                       "'%頭痛%' order by [date] desc "));
    EXPECT_EQ(
        analyseQuery(QStringLiteral("+發熱 頭痛")).sqlText,
        QStringLiteral("select subject,htm from  maindata where 1=2  or content like '%發熱%'   or content like "
                       "'%頭痛%' "));
    EXPECT_EQ(analyseQuery(QStringLiteral("-")).sqlText,
              QStringLiteral("select subject,htm from  maindata where 1=1 order by [date] desc "));
}

TEST(AnalyseQuery, MoreTermsThanA16BitIndexKeepsThemAll)
{
    QString box = QStringLiteral("+x");
    for (int i = 0; i < 40000; ++i)
        box += QStringLiteral(" y");
    const QueryAnalysis a = analyseQuery(box);
    EXPECT_EQ(a.keywords.size(), 40001);
    EXPECT_TRUE(a.sqlText.endsWith(QStringLiteral("  or content like '%y%' ")));
}

TEST(NotFoundMessage, FramesTheMessageText)
{
    EXPECT_EQ(notFoundMessage(QString()), QStringLiteral(" 全文檢索搜尋　[  ]　資料不存在"));
    EXPECT_EQ(notFoundMessage(analyseQuery(QStringLiteral("-發熱")).messageText),
              QStringLiteral(" 全文檢索搜尋　[ 發熱 ]　資料不存在"));
    EXPECT_EQ(notFoundMessage(analyseQuery(QStringLiteral("a'b")).messageText),
              QStringLiteral(" 全文檢索搜尋　[ a'&chr(39)&'b ]　資料不存在"));
}

TEST(KeywordText, TrimsBlanksAndDropsTheOperatorInOperatorModes)
{
    const QString hundred(100, QLatin1Char('x'));
    const struct {
        QString box;
        QueryMode mode;
        QString expected;
    } cases[] = {
        {QStringLiteral("  發熱  頭痛  "), QueryMode::NoOperator, QStringLiteral("發熱  頭痛")},
        {QStringLiteral("-發熱 頭痛 "), QueryMode::MinusOperator, QStringLiteral("發熱 頭痛")},
        {QStringLiteral(" +發熱 頭痛"), QueryMode::PlusOperator, QStringLiteral("發熱 頭痛")},
        // The mode of an earlier search, not of the box text, decides.
        {QStringLiteral("-發熱 頭痛"), QueryMode::NoOperator, QStringLiteral("-發熱 頭痛")},
        {QStringLiteral("-發熱"), QueryMode::ListAll, QStringLiteral("-發熱")},
        {QStringLiteral("\t發熱　"), QueryMode::ListAll, QStringLiteral("\t發熱　")},
        {QStringLiteral("+") + hundred + QStringLiteral("yz"), QueryMode::PlusOperator, hundred},
        {QStringLiteral("   "), QueryMode::MinusOperator, QString()},
        {QStringLiteral("-"), QueryMode::MinusOperator, QString()},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(keywordTextFor(c.box, c.mode), c.expected) << c.box.toStdString();
        const QueryAnalysis a = analyseQuery(c.box);
        EXPECT_EQ(a.keywordText, keywordTextFor(c.box, a.mode)) << c.box.toStdString();
    }
}
