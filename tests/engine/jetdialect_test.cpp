#include "engine/jetdialect.h"
#include "engine/jetsql.h"
#include "search/queryanalysis.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <optional>
#include <random>

using namespace morvessa;

namespace {

class Db {
public:
    Db()
    {
        sqlite3_open(":memory:", &m_db);
        const Result<void> registered = registerJetFunctions(m_db);
        EXPECT_TRUE(registered.ok()) << registered.message().toStdString();
    }
    ~Db() { sqlite3_close(m_db); }
    sqlite3 *get() const { return m_db; }

    void exec(const char *sql)
    {
        char *err = nullptr;
        ASSERT_EQ(sqlite3_exec(m_db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    }

    // The first column of every row; error holds the engine's message on failure.
    std::vector<std::optional<QString>> column(const QString &sql, QString *error = nullptr,
                                               const std::vector<std::optional<QString>> &binds = {})
    {
        std::vector<std::optional<QString>> rows;
        sqlite3_stmt *st = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(m_db, utf8.constData(), -1, &st, nullptr) != SQLITE_OK) {
            if (error)
                *error = QString::fromUtf8(sqlite3_errmsg(m_db));
            return rows;
        }
        for (size_t k = 0; k < binds.size(); ++k) {
            if (binds[k]) {
                const QByteArray b = binds[k]->toUtf8();
                sqlite3_bind_text(st, static_cast<int>(k + 1), b.constData(), static_cast<int>(b.size()),
                                  SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_null(st, static_cast<int>(k + 1));
            }
        }
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            if (sqlite3_column_type(st, 0) == SQLITE_NULL)
                rows.push_back(std::nullopt);
            else
                rows.push_back(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0))));
        }
        if (rc != SQLITE_DONE && error)
            *error = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(st);
        return rows;
    }

private:
    sqlite3 *m_db = nullptr;
};

} // namespace

TEST(JetToSqlite, RewritesOnlyOutsideLiterals)
{
    struct {
        const char *jet;
        const char *sqlite;
    } cases[] = {
        {"select subject,htm from  maindata order by date desc",
         "select subject,htm from  maindata order by date desc"},
        {"order by [date] desc ", "order by [date] desc "},
        {"content like '%a'&chr(39)&'b%' ", "content like '%a'||chr(39)||'b%' "},
        {"like '%R&D [x]%'", "like '%R&D [x]%'"},
        {"like '%it''s & [y]%' & 'z'", "like '%it''s & [y]%' || 'z'"},
        {"select \"a&b\" & [odd'&name]", "select 'a&b' || [odd'&name]"},
        {"select \"it's\"", "select 'it''s'"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(jetToSqlite(QString::fromUtf8(c.jet)), QString::fromUtf8(c.sqlite)) << c.jet;
}

TEST(JetToSqlite, ProgramStatementsRunWithJetMeaning)
{
    Db db;
    db.exec("create table maindata(subject text, htm text, content text, date text);"
            "insert into maindata values('old','o.htm','a''b fever','2001-01-01');"
            "insert into maindata values('none','n.htm','xyz',null);"
            "insert into maindata values('new','n2.htm','FEVER ab','2020-05-05');"
            "insert into maindata values('empty','e.htm',null,'2019-01-01');");
    auto subjects = [&](const QString &box) {
        QString error;
        const auto rows = db.column(jetToSqlite(analyseQuery(box).sqlText), &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        QStringList out;
        for (const auto &r : rows)
            out << r.value_or(QStringLiteral("<null>"));
        return out;
    };
    EXPECT_EQ(subjects(QString()), (QStringList{QStringLiteral("new"), QStringLiteral("empty"),
                                                QStringLiteral("old"), QStringLiteral("none")}));
    EXPECT_EQ(subjects(QStringLiteral("fever")), (QStringList{QStringLiteral("new"), QStringLiteral("old")}));
    EXPECT_EQ(subjects(QStringLiteral("a'b")), QStringList{QStringLiteral("old")});
    // An empty term keeps every record whose content is not null.
    EXPECT_EQ(subjects(QStringLiteral("+zzz  qqq")),
              (QStringList{QStringLiteral("old"), QStringLiteral("none"), QStringLiteral("new")}));
    EXPECT_TRUE(subjects(QStringLiteral("+")).isEmpty());
}

TEST(JetToSqlite, AnEmbeddedNulIsACharacterOfItsLiteral)
{
    // SQLite ends a statement's text at U+0000; the literal must still hold all of it.
    Db db;
    db.exec("create table maindata(subject text, htm text, content text, date text);"
            "insert into maindata values('nul','n.htm','x' || char(0) || 'y','2001-01-01');"
            "insert into maindata values('plain','p.htm','x y','2002-01-01');");
    const QString nul(QChar(0));
    for (const QString &literal :
         {QStringLiteral("'a") + nul + QStringLiteral("b'"), QStringLiteral("\"a") + nul + QStringLiteral("b\""),
          QStringLiteral("'") + nul + QStringLiteral("'")}) {
        const QString sql = jetToSqlite(QStringLiteral("select ") + literal);
        EXPECT_FALSE(sql.contains(nul));
        const QByteArray utf8 = sql.toUtf8();
        sqlite3_stmt *st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db.get(), utf8.constData(), int(utf8.size()), &st, nullptr), SQLITE_OK)
            << sql.toStdString();
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        const QString value =
            QString::fromUtf8(static_cast<const char *>(sqlite3_column_blob(st, 0)), sqlite3_column_bytes(st, 0));
        sqlite3_finalize(st);
        EXPECT_EQ(value, literal.mid(1, literal.size() - 2));
    }
    for (const auto &[box, expected] : std::vector<std::pair<QString, QStringList>>{
             {QStringLiteral("x") + nul + QStringLiteral("y"), {QStringLiteral("nul")}},
             {QStringLiteral("+x") + nul + QStringLiteral(" zzz"), {QStringLiteral("nul")}},
             {QStringLiteral("x y"), {QStringLiteral("plain"), QStringLiteral("nul")}}}) {
        QString error;
        const auto rows = db.column(jetToSqlite(analyseQuery(box).sqlText), &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        QStringList subjects;
        for (const auto &r : rows)
            subjects << r.value_or(QString());
        EXPECT_EQ(subjects, expected);
    }
}

TEST(JetToSqlite, MissingColumnIsAnErrorBracketedOrNot)
{
    Db db;
    db.exec("create table maindata(subject text, htm text, content text);");
    for (const QString &box : {QString(), QStringLiteral("x")}) {
        QString error;
        db.column(jetToSqlite(analyseQuery(box).sqlText), &error);
        EXPECT_TRUE(error.contains(QStringLiteral("date"))) << error.toStdString();
    }
}

TEST(JetToSqlite, ApostropheEscapeEvaluatesToAnApostrophe)
{
    Db db;
    const QString escaped = analyseQuery(QStringLiteral("a'b")).keywords.at(0);
    const auto rows = db.column(jetToSqlite(QStringLiteral("select '") + escaped + QStringLiteral("'")));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], QStringLiteral("a'b"));
}

TEST(JetToSqlite, VeryManyTermsStillRunAndKeepTheirMeaning)
{
    Db db;
    db.exec("create table maindata(subject text, htm text, content text, date text);"
            "insert into maindata values('s','h','y x','1');");
    auto count = [&](const QString &box) {
        QString error;
        const auto rows = db.column(jetToSqlite(analyseQuery(box).sqlText), &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return rows.size();
    };
    QString many;
    for (int i = 0; i < 40000; ++i)
        many += QStringLiteral(" y");
    EXPECT_EQ(count(QStringLiteral("x") + many), 1u);
    EXPECT_EQ(count(QStringLiteral("x") + many + QStringLiteral(" z")), 0u);
    EXPECT_EQ(count(QStringLiteral("+z") + many), 1u);
    EXPECT_EQ(count(QStringLiteral("+z") + QString(many).replace(QLatin1Char('y'), QLatin1Char('q'))), 0u);
}

// A term given thousands of times is one operand of the rewritten statement, so that the
// engine evaluates it once a row; different terms all stay.
TEST(JetToSqlite, RepeatedTermsAreEvaluatedOnce)
{
    auto likes = [](const QString &box) {
        return jetToSqlite(analyseQuery(box).sqlText).count(QStringLiteral("content like"));
    };
    QString repeated = QStringLiteral("[a]"), different = QStringLiteral("[a]");
    for (int i = 1; i < 30000; ++i) {
        repeated += QStringLiteral(" [a]");
        different += QStringLiteral(" [a]") + QString::number(i);
    }
    EXPECT_EQ(likes(repeated), 1);
    EXPECT_EQ(likes(QStringLiteral("+") + repeated), 1);
    EXPECT_EQ(likes(QStringLiteral("x'y ") + repeated + QStringLiteral(" x'y")), 2);
    EXPECT_EQ(likes(different), 30000);
    // An operand that may differ from one evaluation to the next is kept each time.
    QString sql = QStringLiteral("select 1 from t where random() > 0");
    for (int i = 0; i < 100; ++i)
        sql += QStringLiteral(" and random() > 0");
    EXPECT_EQ(jetToSqlite(sql).count(QStringLiteral("random()")), 101);
}

TEST(JetChr, GivesTheCharacter)
{
    Db db;
    EXPECT_EQ(db.column(QStringLiteral("select chr(39) || chr(30332) || chr(65)"))[0], QStringLiteral("'發A"));
    EXPECT_EQ(db.column(QStringLiteral("select chr(null)"))[0], std::nullopt);
    QString error;
    db.column(QStringLiteral("select chr(-1)"), &error);
    EXPECT_FALSE(error.isEmpty());
}

TEST(JetLike, MatchesLikeJet)
{
    struct {
        const char *pattern;
        const char *text;
        bool expected;
    } cases[] = {
        {"%fever%", "Fever and chills", true},
        {"%FEVER%", "high fever", true},
        {"%fever%", "FEVER", true},
        {"%VitaminC%", "含ＶｉｔａｍｉｎＣ的", true},
        {"%ＶＩＴＡＭＩＮｃ%", "vitaminc", true},
        {"%123%", "第１２３條", true},
        {"%１２３%", "第123條", true},
        {"%發熱%", "病人發熱頭痛", true},
        {"%發熱%", "病人发热头痛", false},
        {"%ß%", "STRASSE", false},
        {"%σ%", "ΟΔΟΣ", true},
        {"發_痛", "發熱痛", true},
        {"發_痛", "發熱熱痛", false},
        {"發__痛", "發熱熱痛", true},
        {"_", "發", true},
        {"_", "", false},
        {"%", "", true},
        {"", "", true},
        {"", "a", false},
        {"abc", "ABC", true},
        {"abc", "abcd", false},
        {"%abc", "xxabc", true},
        {"%abc", "abcx", false},
        {"abc%", "abcx", true},
        {"a%c", "abbbc", true},
        {"a%c", "abbbcd", false},
        {"a%b%c", "aXbYbZc", true},
        {"%a%b%c%", "cba", false},
        {"%aab%", "aaab", true},
        {"%a_c%", "xxabxabcx", true},
        {"%a_c%", "xxabxacx", false},
        {"%[ab]c%", "cxcbc", true},
        {"%[ab]c%", "cxcdc", false},
        {"%_x_%", "xx", false},
        {"%_x_%", "axb", true},
        {"%Ａ_C%", "xaＢc", true},
        {"%kelvin%", "\u212Aelvin", true},
        {"%xk%", "ax\u212A", true},
        {"%x_c%", "xcxxac", true},
        {"%_發", "x發", true},
        {"%_發", "發", false},
        {"[abc]", "B", true},
        {"[abc]", "d", false},
        {"[a-c]x", "bx", true},
        {"[A-C]", "b", true},
        {"[0-9]", "５", true},
        {"[!a]", "b", true},
        {"[!a]", "A", false},
        {"[^a]", "a", false},
        {"[^a]", "發", true},
        {"%[發熱]%", "頭痛發作", true},
        {"[-a]", "-", true},
        {"[a-]", "-", true},
        {"a[]b", "ab", true},
        {"%[%]%", "50%", true},
        {"%[%]%", "50", false},
        {"%[_]%", "a_b", true},
        {"%[_]%", "ab", false},
        {"%[[]%", "a[b", true},
        {"100%", "100 percent", true},
        {"a*b", "a*b", true},
        {"a*b", "axxb", false},
        {"a?b", "axb", false},
        {"a#b", "a#b", true},
        {"a#b", "a1b", false},
        {"%]%", "a]b", true},
        {"%'%", "it's", true},
        // Sets: members in any order, overlapping or reversed ranges, one member.
        {"[zc-ea-b]", "d", true},
        {"[zc-ea-b]", "f", false},
        {"[c-ad]", "b", false},
        {"[c-ad]", "D", true},
        {"[!c-ad]", "b", true},
        {"[a-ca-cb]", "c", true},
        {"[a]", "Ａ", true},
        {"[!a]", "Ａ", false},
        {"%[發]熱%", "病人發熱", true},
        {"[Ａ-Ｃ]", "b", true},
    };
    Db db;
    for (const auto &c : cases) {
        const auto rows = db.column(QStringLiteral("select ?1 like ?2"), nullptr,
                                    {QString::fromUtf8(c.text), QString::fromUtf8(c.pattern)});
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0], c.expected ? QStringLiteral("1") : QStringLiteral("0"))
            << "'" << c.text << "' like '" << c.pattern << "'";
    }
}

TEST(JetLike, NullNeverMatches)
{
    Db db;
    db.exec("create table t(c text); insert into t values(null); insert into t values(''); insert into t "
            "values('x');");
    EXPECT_EQ(db.column(QStringLiteral("select count(*) from t where c like '%%'"))[0], QStringLiteral("2"));
    EXPECT_EQ(db.column(QStringLiteral("select count(*) from t where c like null"))[0], QStringLiteral("0"));
}

TEST(JetLike, UnclosedBracketRejectsTheStatement)
{
    Db db;
    db.exec("create table t(c text); insert into t values('a');");
    QString error;
    db.column(QStringLiteral("select c from t where c like '%a[b%'"), &error);
    EXPECT_TRUE(error.contains(QStringLiteral("「[」沒有對應的「]」"))) << error.toStdString();
}

TEST(JetLike, PatternChangingPerRowIsNotStale)
{
    Db db;
    db.exec("create table t(p text, c text);"
            "insert into t values('%a%', 'xax'); insert into t values('%b%', 'xax'); insert into t values('%A%', "
            "'xax');");
    const auto rows = db.column(QStringLiteral("select c like p from t"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], QStringLiteral("1"));
    EXPECT_EQ(rows[1], QStringLiteral("0"));
    EXPECT_EQ(rows[2], QStringLiteral("1"));
}

TEST(JetLike, AgreesWithAPlainMatcherOnRandomPatterns)
{
    // Patterns and texts over a small alphabet where case, width and CJK all occur, checked
    // against a direct dynamic-programming matcher.
    struct Token {
        enum { Lit, One, Run, Set } kind;
        std::u32string chars;
        bool negated = false;
    };
    const std::u32string textChars = U"aAbｂ發xk\u212AＫ"; // U+212A KELVIN SIGN folds to k
    auto fold = [](char32_t c) -> char32_t {
        if (c == 0x212A)
            return char32_t(U'k');
        if (c >= 0xFF01 && c <= 0xFF5E)
            c -= 0xFEE0;
        return (c >= U'A' && c <= U'Z') ? c + 0x20 : c;
    };
    auto toUtf8 = [](const std::u32string &s) {
        return QString::fromUcs4(s.data(), static_cast<qsizetype>(s.size())).toUtf8();
    };
    std::mt19937 rng(7);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    Db db;
    sqlite3_stmt *st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.get(), "select ?1 like ?2", -1, &st, nullptr), SQLITE_OK);
    for (int round = 0; round < 20000; ++round) {
        std::vector<Token> tokens;
        std::u32string pattern;
        const size_t length = pick(8);
        for (size_t k = 0; k < length; ++k) {
            switch (pick(5)) {
            case 0:
                tokens.push_back({Token::Run, U"", false});
                pattern += U'%';
                break;
            case 1:
                tokens.push_back({Token::One, U"", false});
                pattern += U'_';
                break;
            case 2: {
                Token t{Token::Set, U"", pick(2) == 0};
                t.chars += textChars[pick(textChars.size())];
                t.chars += textChars[pick(textChars.size())];
                pattern += std::u32string(U"[") + (t.negated ? U"!" : U"") + t.chars + U"]";
                tokens.push_back(t);
                break;
            }
            default: {
                const char32_t c = textChars[pick(textChars.size())];
                tokens.push_back({Token::Lit, std::u32string(1, c)});
                pattern += c;
            }
            }
        }
        std::u32string text;
        for (size_t k = pick(8); k > 0; --k)
            text += textChars[pick(textChars.size())];

        // reach[i][j]: the first i tokens can match the first j characters.
        std::vector<std::vector<bool>> reach(tokens.size() + 1, std::vector<bool>(text.size() + 1));
        reach[0][0] = true;
        for (size_t i = 0; i < tokens.size(); ++i) {
            for (size_t j = 0; j <= text.size(); ++j) {
                if (!reach[i][j])
                    continue;
                const Token &t = tokens[i];
                if (t.kind == Token::Run) {
                    for (size_t e = j; e <= text.size(); ++e)
                        reach[i + 1][e] = true;
                    continue;
                }
                if (j == text.size())
                    continue;
                bool ok = true;
                if (t.kind == Token::Lit) {
                    ok = fold(t.chars[0]) == fold(text[j]);
                } else if (t.kind == Token::Set) {
                    bool in = false;
                    for (char32_t c : t.chars)
                        in = in || fold(c) == fold(text[j]);
                    ok = in != t.negated;
                }
                if (ok)
                    reach[i + 1][j + 1] = true;
            }
        }
        const bool expected = reach[tokens.size()][text.size()];

        const QByteArray t8 = toUtf8(text), p8 = toUtf8(pattern);
        sqlite3_bind_text(st, 1, t8.constData(), static_cast<int>(t8.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, p8.constData(), static_cast<int>(p8.size()), SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(st, 0) == 1, expected)
            << "'" << t8.constData() << "' like '" << p8.constData() << "'";
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
}
