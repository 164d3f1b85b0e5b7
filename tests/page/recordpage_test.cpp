#include "text/big5.h"
#include "page/recordpage.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace morvessa;

namespace {

const QString kCollection = QStringLiteral(MORVESSA_TEST_DATA "/collection");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QByteArray fixture(const QString &relative)
{
    const QByteArray bytes = readFile(kCollection + QLatin1Char('/') + relative);
    EXPECT_FALSE(bytes.isEmpty()) << relative.toStdString();
    return bytes;
}

QByteArray big5(const QString &text)
{
    qsizetype bad = -1;
    QByteArray bytes = big5Encode(text, &bad);
    EXPECT_EQ(bad, -1) << text.toStdString();
    return bytes;
}

QByteArray marked(const QString &term)
{
    return QByteArrayLiteral("<font color=red>") + big5(term) + QByteArrayLiteral("</font>");
}

// The straightforward marking of decoded text: every occurrence of each term in turn,
// wherever it is. Where the terms occur only in a page's text, markKeywords must agree.
QByteArray plainReplace(const QByteArray &page, const QString &keywordText)
{
    QString text = big5Decode(page);
    for (const QString &term : keywordText.split(QLatin1Char(' '))) {
        if (!term.isEmpty())
            text.replace(term, QStringLiteral("<font color=red>") + term + QStringLiteral("</font>"));
    }
    return big5Encode(text);
}

QString str(const char *utf8) { return QString::fromUtf8(utf8); }

} // namespace

// Compares pages byte for byte; shows them decoded, so a difference can be read.
#define EXPECT_SAME_PAGE(actual, expected)                                                         \
    EXPECT_EQ(actual, expected) << "got:    " << big5Decode(actual).toStdString() << "\nwanted: "  \
                                << big5Decode(expected).toStdString() << "\n"

TEST(MarkKeywords, NoTermsOrAbsentTermsLeaveEveryPageByteForByte)
{
    const QStringList pages = {QStringLiteral("zheng/xugonggai.htm"), QStringLiteral("zheng/markup.htm"),
                               QStringLiteral("long/long.htm"), QStringLiteral("zheng/fuhao.htm")};
    for (const QString &name : pages) {
        const QByteArray page = fixture(name);
        for (const QString &keywords : {QString(), QStringLiteral(" "), str("不存在 éà 한")})
            EXPECT_EQ(markKeywords(page, keywords), page) << name.toStdString();
    }
}

TEST(MarkKeywords, AgreesWithPlainMarkingWhereTermsOccurOnlyInText)
{
    const struct {
        const char *page;
        const char *keywords;
    } cases[] = {
        {"fang/mahuang.htm", "發熱  頭痛"},      // two blanks: an empty term between
        {"fang/mahuang.htm", " 發熱 頭痛 "},      // blanks at the ends
        {"fang/mahuang.htm", "頭 頭痛"},          // the later term finds 頭 already wrapped
        {"fang/mahuang.htm", "痛 痛"},            // given twice: nested tags
        {"long/long.htm", "脾胃 健脾 尾端標記"},
        {"zheng/quankong.htm", "發熱　頭痛"},     // ideographic space: one term
        {"zheng/fuhao.htm", "[甲] ^ ? \\ * !"},
        {"yao/quanxing.htm", "fever ＶｉｔａｍｉｎＣ"},
    };
    for (const auto &c : cases) {
        const QByteArray page = fixture(QString::fromUtf8(c.page));
        const QByteArray out = markKeywords(page, str(c.keywords));
        EXPECT_EQ(out, plainReplace(page, str(c.keywords))) << c.page << " / " << c.keywords;
        EXPECT_NE(out, page) << c.page << " / " << c.keywords;
    }
}

TEST(MarkKeywords, LaterTermsAndNestingFollowTheOrderOfTerms)
{
    const QByteArray page = fixture(QStringLiteral("fang/mahuang.htm"));
    const QByteArray headThenHeadache = markKeywords(page, str("頭 頭痛"));
    EXPECT_TRUE(headThenHeadache.contains(marked(str("頭")) + big5(str("痛"))));
    EXPECT_FALSE(headThenHeadache.contains(big5(str("頭痛"))));

    const QByteArray twice = markKeywords(page, str("頭痛 頭痛"));
    EXPECT_TRUE(twice.contains(QByteArrayLiteral("<font color=red>") + marked(str("頭痛"))
                               + QByteArrayLiteral("</font>")));
}

TEST(MarkKeywords, MatchingIsCaseSensitive)
{
    const QByteArray page = fixture(QStringLiteral("yao/quanxing.htm"));
    EXPECT_EQ(markKeywords(page, QStringLiteral("Fever")), page);
    const QByteArray out = markKeywords(page, QStringLiteral("fever"));
    EXPECT_TRUE(out.contains("FEVER ")) << out.toStdString();
    EXPECT_EQ(out.count("<font color=red>fever</font>"), 1);
}

TEST(MarkKeywords, MarkupAttributesAndInsertedTagsAreLeftAlone)
{
    const QByteArray page = fixture(QStringLiteral("zheng/markup.htm"));
    // "=", "/" and the words of the inserted tag occur in no text of the page but in its
    // tags; a term marked earlier must not be broken by those that follow.
    const QByteArray out = markKeywords(page, str("font color red table 發熱 頭痛 = / < >"));

    QByteArray expected = page;
    expected.replace(big5(str("font color red table 字樣與發熱。")),
                     marked(str("font")) + " " + marked(str("color")) + " " + marked(str("red")) + " "
                         + marked(str("table")) + " " + big5(str("字樣與")) + marked(str("發熱"))
                         + big5(str("。")));
    EXPECT_SAME_PAGE(out, expected);
}

TEST(MarkKeywords, CommentsReferencesScriptsAndQuotedValuesAreNotText)
{
    const QByteArray page = big5(str(
        "<html><head><title>發熱</title><style>p{color:red}</style></head><body>"
        "<!-- 發熱 --><!--><script>var x = '<b>發熱</b>';</script>"
        "<a title='a>發熱' href=x>發熱</a>&amp;amp;&#21316;amp AT&T a < b 發熱</body></html>"));
    const QByteArray out = markKeywords(page, str("發熱 amp red b AT&T"));
    const QByteArray expected = big5(str(
        "<html><head><title>發熱</title><style>p{color:red}</style></head><body>"
        "<!-- 發熱 --><!--><script>var x = '<b>發熱</b>';</script>"
        "<a title='a>發熱' href=x>"))
        + marked(str("發熱")) + "</a>&amp;" + marked(QStringLiteral("amp")) + ";&#21316;"
        + marked(QStringLiteral("amp")) + " " + marked(QStringLiteral("AT&T")) + " a < "
        + marked(QStringLiteral("b")) + " " + marked(str("發熱")) + "</body></html>";
    EXPECT_SAME_PAGE(out, expected);
}

TEST(MarkKeywords, Big5BackslashAndUserDefinedCharactersStayByteForByte)
{
    const QByteArray page = fixture(QStringLiteral("zheng/xugonggai.htm"));
    const QByteArray xu = QByteArrayLiteral("\xB3\x5C"), gong = QByteArrayLiteral("\xA5\x5C"),
                     gai = QByteArrayLiteral("\xBB\x5C"), userDefined = QByteArrayLiteral("\xFA\x40");
    ASSERT_TRUE(page.contains(xu + gong + gai));
    ASSERT_TRUE(page.contains(userDefined));

    // Terms whose bytes occur only inside double-byte characters or across two of them.
    for (const QString &keywords : {QStringLiteral("\\"), QStringLiteral("\\<"), QStringLiteral("@"),
                                    str("\\功"), str("\\ @ \\< T r")})
        EXPECT_EQ(markKeywords(page, keywords), page) << keywords.toStdString();

    const QString gongTerm = str("功");
    const QByteArray out = markKeywords(page, gongTerm + QLatin1Char(' ') + QChar(0xE000));
    const qsizetype bodyStart = page.indexOf("<body");
    QByteArray expectedBody = page.mid(bodyStart);
    expectedBody.replace(gong, QByteArrayLiteral("<font color=red>") + gong + "</font>");
    expectedBody.replace(userDefined, QByteArrayLiteral("<font color=red>") + userDefined + "</font>");
    EXPECT_EQ(out, page.left(bodyStart) + expectedBody);
}

TEST(MarkKeywords, UnmappedBytesAndDuplicateCodesSurvive)
{
    // 十 has two Big5 codes (A451 and A2CC); 0x80 and 0xFF and the unassigned A3C0 map to no
    // ordinary character; a lead byte before "<" stands alone.
    const QByteArray page = QByteArrayLiteral("<p>\xA4\x51\xA2\xCC\x80\xFF\xA3\xC0\xA4<b>\xA4\x51</b></p>");
    const QByteArray out = markKeywords(page, str("十"));
    EXPECT_EQ(out, QByteArrayLiteral("<p><font color=red>\xA4\x51</font><font color=red>\xA2\xCC</font>"
                                     "\x80\xFF\xA3\xC0\xA4<b><font color=red>\xA4\x51</font></b></p>"));
}

class RecordPageFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path() + QStringLiteral("/app");
        ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/fang")));
        ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/zheng sub")));
        ASSERT_TRUE(QFile::copy(kCollection + QStringLiteral("/fang/mahuang.htm"),
                                folder + QStringLiteral("/fang/mahuang.htm")));
        ASSERT_TRUE(QFile::copy(kCollection + QStringLiteral("/zheng sub/a b.htm"),
                                folder + QStringLiteral("/zheng sub/a b.htm")));
    }

    QTemporaryDir dir;
    QString folder;
};

TEST_F(RecordPageFile, WritesTheMarkedPageAndMakesTheTmpFolder)
{
    const QString pagePath = recordPagePath(folder);
    EXPECT_EQ(pagePath, folder + QStringLiteral("/tmp/TmpKELMAR.htm"));
    const QByteArray source = fixture(QStringLiteral("fang/mahuang.htm"));

    const struct {
        const char *pageName;
        const char *keywords;
        QByteArray expected;
    } cases[] = {
        {"fang\\MaHuang.HTM", "發熱  頭痛", markKeywords(source, str("發熱  頭痛"))},
        {"fang/mahuang.htm", "", source},
        {"zheng sub\\a b.htm", "發熱", markKeywords(fixture(QStringLiteral("zheng sub/a b.htm")), str("發熱"))},
        {"zheng\\missing.htm", "發熱", QByteArray()},
        {"", "發熱", QByteArray()},
        {"fang", "發熱", QByteArray()},
        {"FANG\\", "", QByteArray()},
        {"fang\\MaHuang.HTM", "發熱  頭痛", markKeywords(source, str("發熱  頭痛"))}, // same call again
    };
    for (const auto &c : cases) {
        WriteRecordPage(folder, str(c.pageName), str(c.keywords));
        ASSERT_TRUE(QFileInfo(pagePath).isFile()) << c.pageName;
        EXPECT_EQ(readFile(pagePath), c.expected) << c.pageName;
    }
    EXPECT_TRUE(readFile(pagePath).contains(marked(str("頭痛"))));
    // Only the page itself is left in tmp.
    EXPECT_EQ(QDir(folder + QStringLiteral("/tmp")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("TmpKELMAR.htm")});
}

TEST_F(RecordPageFile, NoPageWhereTheTmpFolderCannotBeMade)
{
    // A file called tmp stands where the folder would go.
    QFile blocker(folder + QStringLiteral("/tmp"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    WriteRecordPage(folder, QStringLiteral("fang\\mahuang.htm"), str("發熱"));
    EXPECT_FALSE(QFileInfo::exists(recordPagePath(folder)));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/tmp")).isFile());

    // A folder that does not exist: only one level is ever made.
    const QString missing = folder + QStringLiteral("/no/such");
    WriteRecordPage(missing, QStringLiteral("fang\\mahuang.htm"), str("發熱"));
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(RecordPageFile, DeleteRemovesOnlyThePage)
{
    const QString pagePath = recordPagePath(folder);
    WriteRecordPage(folder, QStringLiteral("fang\\mahuang.htm"), QString());
    ASSERT_TRUE(QFileInfo::exists(pagePath));
    deleteRecordPage(pagePath);
    EXPECT_FALSE(QFileInfo::exists(pagePath));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/tmp")).isDir());
    deleteRecordPage(pagePath); // nothing there: nothing happens
    deleteRecordPage(folder + QStringLiteral("/tmp"));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/tmp")).isDir());
}

TEST(KeywordText, TrimsBlanksAndDropsTheOperatorInOperatorModes)
{
    const QString hundred(100, QLatin1Char('x'));
    const struct {
        QString box;
        QString mode;
        QString expected;
    } cases[] = {
        {str("  發熱  頭痛  "), QStringLiteral("mod3a"), str("發熱  頭痛")},
        {str("-發熱 頭痛 "), QStringLiteral("mod3"), str("發熱 頭痛")},
        {str(" +發熱 頭痛"), QStringLiteral("mod4"), str("發熱 頭痛")},
        {str("-發熱 頭痛"), QStringLiteral("mod3a"), str("-發熱 頭痛")},
        {str("-發熱"), QString(), str("-發熱")},
        {str("\t發熱　"), QStringLiteral("mod1"), str("\t發熱　")},
        {QStringLiteral("+") + hundred + QStringLiteral("yz"), QStringLiteral("mod4"), hundred},
        {QStringLiteral("   "), QStringLiteral("mod3"), QString()},
        {QStringLiteral("-"), QStringLiteral("mod3"), QString()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(keywordTextFor(c.box, c.mode), c.expected) << c.box.toStdString();
}

TEST(MarkKeywords, RandomPagesLoseNoByte)
{
    // Pages and terms pieced together from the fragments that trouble a scanner; taking
    // the inserted tags out again must give back the page exactly.
    const QByteArray pieces[] = {"<", ">", "&", "amp;", "&#20013", "<!--", "-->", "<p>", "</p>",
                                 "<script>", "</script>", "<title>", "<a title=\"", "'", "\"",
                                 "=", " ", "a", "A", "\\", "\xB3\x5C", "\xA5\x5C", "\xA4", "\xFA\x40",
                                 "@", "\xA4\x51", "\xA2\xCC", "\x80", "\xFF", "font"};
    const char *terms[] = {"a", "\\", "@", "amp", "font", "\xE5\x8A\x9F", "\xE5\x8D\x81", "a a", "= <"};
    quint32 seed = 12345;
    auto next = [&seed](quint32 bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % bound;
    };
    for (int round = 0; round < 2000; ++round) {
        QByteArray page;
        for (quint32 n = next(40); n > 0; --n)
            page += pieces[next(std::size(pieces))];
        QString keywords;
        for (quint32 n = 1 + next(3); n > 0; --n)
            keywords += QString::fromUtf8(terms[next(std::size(terms))]) + QLatin1Char(' ');
        QByteArray out = markKeywords(page, keywords);
        out.replace("<font color=red>", "").replace("</font>", "");
        ASSERT_EQ(out, page) << round;
    }
}
