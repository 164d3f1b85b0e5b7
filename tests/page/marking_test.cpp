#include "pagetest.h"

#include "page/marking.h"

using namespace morvessa;
using namespace morvessa::pagetest;

namespace {

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

} // namespace

// Compares pages byte for byte; shows them decoded, so a difference can be read.
#define EXPECT_SAME_PAGE(actual, expected)                                                                        \
    EXPECT_EQ(actual, expected) << "got:    " << big5Decode(actual).toStdString()                                 \
                                << "\nwanted: " << big5Decode(expected).toStdString() << "\n"

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
        {"fang/mahuang.htm", "發熱  頭痛"},  // two blanks: an empty term between
        {"fang/mahuang.htm", " 發熱 頭痛 "}, // blanks at the ends
        {"fang/mahuang.htm", "頭 頭痛"},     // the later term finds 頭 already wrapped
        {"fang/mahuang.htm", "痛 痛"},       // given twice: nested tags
        {"long/long.htm", "脾胃 健脾 尾端標記"},
        {"zheng/quankong.htm", "發熱　頭痛"}, // ideographic space: one term
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
    EXPECT_TRUE(twice.contains(QByteArrayLiteral("<font color=red>") + marked(str("頭痛")) +
                               QByteArrayLiteral("</font>")));
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
                     marked(str("font")) + " " + marked(str("color")) + " " + marked(str("red")) + " " +
                         marked(str("table")) + " " + big5(str("字樣與")) + marked(str("發熱")) + big5(str("。")));
    EXPECT_SAME_PAGE(out, expected);
}

TEST(MarkKeywords, CommentsReferencesScriptsAndQuotedValuesAreNotText)
{
    const QByteArray page =
        big5(str("<html><head><title>發熱</title><style>p{color:red}</style></head><body>"
                 "<!-- 發熱 --><!--><script>var x = '<b>發熱</b>';</script>"
                 "<a title='a>發熱' href=x>發熱</a>&amp;amp;&#21316;amp AT&T a < b 發熱</body></html>"));
    const QByteArray out = markKeywords(page, str("發熱 amp red b AT&T"));
    const QByteArray expected = big5(str("<html><head><title>發熱</title><style>p{color:red}</style></head><body>"
                                         "<!-- 發熱 --><!--><script>var x = '<b>發熱</b>';</script>"
                                         "<a title='a>發熱' href=x>")) +
                                marked(str("發熱")) + "</a>&amp;" + marked(QStringLiteral("amp")) + ";&#21316;" +
                                marked(QStringLiteral("amp")) + " " + marked(QStringLiteral("AT&T")) + " a < " +
                                marked(QStringLiteral("b")) + " " + marked(str("發熱")) + "</body></html>";
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
    for (const QString &keywords :
         {QStringLiteral("\\"), QStringLiteral("\\<"), QStringLiteral("@"), str("\\功"), str("\\ @ \\< T r")})
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

TEST(MarkKeywords, RandomPagesLoseNoByte)
{
    // Pages and terms pieced together from the fragments that trouble a scanner; taking
    // the inserted tags out again must give back the page exactly.
    const QByteArray pieces[] = {"<",           ">",        "&",        "amp;",     "&#20013",   "<!--",
                                 "-->",         "<p>",      "</p>",     "<script>", "</script>", "<title>",
                                 "<a title=\"", "'",        "\"",       "=",        " ",         "a",
                                 "A",           "\\",       "\xB3\x5C", "\xA5\x5C", "\xA4",      "\xFA\x40",
                                 "@",           "\xA4\x51", "\xA2\xCC", "\x80",     "\xFF",      "font"};
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

TEST(MarkKeywords, RepeatedTermsNestAsOftenAsGiven)
{
    const QByteArray small = fixture(QStringLiteral("fang/mahuang.htm"));
    const QByteArray longPage = fixture(QStringLiteral("long/long.htm"));
    const struct {
        const QByteArray &page;
        const char *keywords;
        std::vector<uint32_t> times; // of the planned steps, in order
    } cases[] = {
        {small, "頭痛 頭痛", {2}},          {small, "痛 痛 痛", {3}},    {small, "頭 發熱 頭 發熱", {1, 1, 1, 1}},
        {small, "痛 不在頁中 痛", {2}}, // a term that marks nothing does not part the two
        {small, "頭痛 頭 頭痛", {1, 1, 1}}, {longPage, "脾 脾 脾", {3}}, // 12,000 occurrences, three deep
    };
    for (const auto &c : cases) {
        const QString keywords = str(c.keywords);
        const MarkPlan plan = planMarking(c.page, keywords);
        EXPECT_TRUE(plan.nested) << c.keywords;
        std::vector<uint32_t> times;
        for (const MarkStep &step : plan.steps)
            times.push_back(step.times);
        EXPECT_EQ(times, c.times) << c.keywords;
        EXPECT_EQ(markKeywords(c.page, keywords), plainReplace(c.page, keywords)) << c.keywords;
    }
}

TEST(MarkKeywords, ManyRepeatsMarkEachTermOnceAndKeepThePageSmall)
{
    // 脾 occurs 12,000 times in the 300 KB page; nested 800 deep it made a page of 221 MB.
    const QByteArray page = fixture(QStringLiteral("long/long.htm"));
    const qsizetype occurrences = big5Decode(page).count(str("脾"));
    ASSERT_EQ(occurrences, 12000);
    const qsizetype onceMarked = page.size() + occurrences * qsizetype(sizeof("<font color=red></font>") - 1);

    auto repeat = [](const char *terms, int times) {
        QStringList words;
        for (int i = 0; i < times; ++i)
            words << str(terms);
        return words.join(QLatin1Char(' '));
    };
    const struct {
        QString keywords;
        QString distinct;
    } cases[] = {
        {repeat("脾", 800), str("脾")},
        {repeat("脾", 4), str("脾")}, // four deep would pass twice the page's size
        {repeat("脾 胃", 300), str("脾 胃")},
        {repeat("胃 脾胃 胃", 50), str("胃 脾胃")},
        {repeat("甲 乙 丙 丁 脾", 30), str("脾")}, // terms not in the page make no pass
    };
    for (const auto &c : cases) {
        const MarkPlan plan = planMarking(page, c.keywords);
        EXPECT_FALSE(plan.nested) << c.keywords.left(40).toStdString();
        EXPECT_EQ(plan.steps.size(), size_t(c.distinct.count(QLatin1Char(' ')) + 1));
        const QByteArray out = markKeywords(page, c.keywords);
        EXPECT_EQ(out, markKeywords(page, c.distinct)) << c.keywords.left(40).toStdString();
        EXPECT_LE(out.size(), 2 * onceMarked);
    }
}

TEST(MarkKeywords, MixedRepeatsMakeAtMostFourPassesPerTerm)
{
    // Random sequences of a few terms that occur only in the page's text: nested marking
    // exactly as term by term while the passes stay few, otherwise each term once.
    const QByteArray page = fixture(QStringLiteral("fang/mahuang.htm"));
    const char *terms[] = {"發熱", "頭痛", "頭", "痛"};
    quint32 seed = 777;
    auto next = [&seed](quint32 bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % bound;
    };
    int nestedSeen = 0;
    for (int round = 0; round < 300; ++round) {
        QStringList words, distinct;
        for (quint32 n = 1 + next(24); n > 0; --n) {
            const QString word = str(terms[next(1 + next(4))]);
            words << word;
            if (!distinct.contains(word))
                distinct << word;
        }
        const QString keywords = words.join(QLatin1Char(' '));
        const MarkPlan plan = planMarking(page, keywords);
        ASSERT_LE(plan.steps.size(), 4 * size_t(distinct.size())) << keywords.toStdString();
        const QByteArray out = markKeywords(page, keywords);
        if (plan.nested) {
            ++nestedSeen;
            ASSERT_EQ(out, plainReplace(page, keywords)) << keywords.toStdString();
        } else {
            ASSERT_EQ(out, markKeywords(page, distinct.join(QLatin1Char(' ')))) << keywords.toStdString();
        }
    }
    EXPECT_GT(nestedSeen, 50);
    EXPECT_LT(nestedSeen, 300);
}

TEST(MarkKeywords, APageTooLargeForThePaneIsNotMade)
{
    // 3 MiB of "a": marking every one would add 72 MB of tags, more than the pane can take.
    // Such a term is left unmarked; another term of the same query still is.
    QByteArray page = QByteArray(3 << 20, 'a');
    page += "<p>b</p>";
    const QByteArray out = markKeywords(page, QStringLiteral("a b"));
    EXPECT_LE(out.size(), kMaxMarkedPageBytes);
    EXPECT_EQ(out, QByteArray(3 << 20, 'a') + "<p><font color=red>b</font></p>");

    const QByteArray huge(kMaxMarkedPageBytes + 1, 'b');
    EXPECT_EQ(markKeywords(huge, QStringLiteral("b")), huge);
}

namespace {

// 發/发 and 熱/热 fold alike, as in a variant search; every other character is its own.
char32_t testFold(char32_t c)
{
    switch (c) {
    case 0x767C: // 發
        return 0x53D1;
    case 0x71B1: // 熱
        return 0x70ED;
    default:
        return c;
    }
}

} // namespace

TEST(MarkKeywordsFolded, EveryFormFoundIsMarkedAsThePageHasIt)
{
    const MarkingFold fold(testFold);
    const QByteArray fa = big5Encode(str("發")), re = big5Encode(str("熱"));
    const QByteArray page = "<p title=\"" + fa + re + "\">" + fa + re + "<b>" + fa + "</b>" + re + "</p>";
    struct Case {
        QString keywords;
        QByteArray expected;
    };
    const QByteArray open = "<font color=red>", close = "</font>";
    const Case cases[] = {
        {str("发热"),
         "<p title=\"" + fa + re + "\">" + open + fa + re + close + "<b>" + fa + "</b>" + re + "</p>"},
        {str("發热"),
         "<p title=\"" + fa + re + "\">" + open + fa + re + close + "<b>" + fa + "</b>" + re + "</p>"},
        {str("发"), "<p title=\"" + fa + re + "\">" + open + fa + close + re + "<b>" + open + fa + close + "</b>" +
                        re + "</p>"},
        {str("寒"), page},
    };
    for (const Case &c : cases)
        EXPECT_SAME_PAGE(markKeywords(page, c.keywords, fold), c.expected);
    // Without the fold only the exact form is marked.
    EXPECT_SAME_PAGE(markKeywords(page, str("发热")), page);
}

TEST(MarkKeywordsFolded, WithoutVariantsItMarksAsTheExactMarker)
{
    // A fold that joins nothing: Big5 bytes, duplicate codes, markup and nesting as safe
    // as the exact marking.
    const MarkingFold identity([](char32_t c) { return c; });
    const QByteArray xugonggai = fixture(QStringLiteral("zheng/xugonggai.htm"));
    const QByteArray duplicates = QByteArrayLiteral("<p>\xA4\x51\xA2\xCC\x80\xFF\xA3\xC0\xA4<b>\xA4\x51</b></p>");
    const struct {
        QByteArray page;
        QString keywords;
    } cases[] = {
        {xugonggai, QStringLiteral("\\ @ \\< T r")},
        {xugonggai, str("功") + QLatin1Char(' ') + QChar(0xE000)},
        {xugonggai, str("功 功 \\功")},
        {duplicates, str("十")},
        {duplicates, str("十 十")},
    };
    for (const auto &c : cases) {
        EXPECT_SAME_PAGE(markKeywords(c.page, c.keywords, identity), markKeywords(c.page, c.keywords));
        EXPECT_EQ(planMarking(c.page, c.keywords, identity).steps.size(),
                  planMarking(c.page, c.keywords).steps.size());
    }
}
