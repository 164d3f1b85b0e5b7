#include "pagetest.h"

#include "page/marking.h"
#include "page/pageclaim.h"
#include "page/pagefile.h"
#include "page/pagelookup.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <unistd.h>

using namespace morvessa;
using namespace morvessa::pagetest;

class RecordPageFile : public ::testing::Test {
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
        const auto write = WriteRecordPage(folder, pagePath, str(c.pageName), str(c.keywords));
        EXPECT_TRUE(write.ok()) << c.pageName << ": " << write.message().toStdString();
        ASSERT_TRUE(QFileInfo(pagePath).isFile()) << c.pageName;
        EXPECT_EQ(readFile(pagePath), c.expected) << c.pageName;
    }
    EXPECT_TRUE(readFile(pagePath).contains(marked(str("頭痛"))));
    // Only the page itself is left in tmp.
    EXPECT_EQ(QDir(folder + QStringLiteral("/tmp")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("TmpKELMAR.htm")});
}

TEST_F(RecordPageFile, PageNamesStayInsideTheCollectionByName)
{
    // Beside the collection: a file its page names must not reach by "..", or by an
    // absolute name; links that sit inside the collection are followed wherever they lead
    // (a shared folder of pages, the menu's sample made of links).
    const QString outside = dir.path() + QStringLiteral("/outside.htm");
    QFile secret(outside);
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("<p>secret</p>");
    secret.close();
    ASSERT_TRUE(QFile::link(outside, folder + QStringLiteral("/out.htm")));
    ASSERT_TRUE(QFile::link(dir.path(), folder + QStringLiteral("/outdir")));
    ASSERT_TRUE(QFile::link(folder + QStringLiteral("/fang"), folder + QStringLiteral("/fang2")));
    ASSERT_TRUE(QFile::link(QStringLiteral("mahuang.htm"), folder + QStringLiteral("/fang/alias.htm")));
    const QString linkedCollection = dir.path() + QStringLiteral("/linked");
    ASSERT_TRUE(QFile::link(folder, linkedCollection));

    const QByteArray source = fixture(QStringLiteral("fang/mahuang.htm"));
    const QByteArray linked("<p>secret</p>");
    const QString absolute = QDir::toNativeSeparators(outside);
    QString windowsAbsolute = outside;
    windowsAbsolute.replace(QLatin1Char('/'), QLatin1Char('\\'));
    const struct {
        QString collection;
        QString pageName;
        QByteArray expected;
    } cases[] = {
        {folder, QStringLiteral("..\\outside.htm"), QByteArray()},
        {folder, QStringLiteral("../outside.htm"), QByteArray()},
        {folder, QStringLiteral("fang\\..\\..\\outside.htm"), QByteArray()},
        {folder, QStringLiteral("FANG\\..\\..\\app\\..\\outside.htm"), QByteArray()},
        {folder, QStringLiteral("..\\app\\fang\\mahuang.htm"), QByteArray()}, // out first, even if back in
        {folder, absolute, QByteArray()},
        {folder, windowsAbsolute, QByteArray()},
        {folder, QStringLiteral("out.htm"), linked},
        {folder, QStringLiteral("OUT.HTM"), linked},
        {folder, QStringLiteral("outdir\\outside.htm"), linked},
        {folder, QStringLiteral("outdir\\..\\..\\outside.htm"), QByteArray()},
        {folder, QStringLiteral("fang\\..\\fang\\mahuang.htm"), source},
        {folder, QStringLiteral(".\\fang\\.\\mahuang.htm"), source},
        {folder, QStringLiteral("\\fang\\mahuang.htm"), source}, // read inside, as folder + "\" + name
        {folder, QStringLiteral("fang2\\mahuang.htm"), source},
        {folder, QStringLiteral("fang\\alias.htm"), source},
        {linkedCollection, QStringLiteral("fang\\mahuang.htm"), source},
        {linkedCollection, QStringLiteral("out.htm"), linked},
        {linkedCollection, QStringLiteral("..\\outside.htm"), QByteArray()},
    };
    for (const auto &c : cases) {
        const QString pagePath = recordPagePath(c.collection);
        ASSERT_TRUE(WriteRecordPage(c.collection, pagePath, c.pageName, QString()).ok());
        EXPECT_EQ(readFile(pagePath), c.expected) << c.pageName.toStdString();
        EXPECT_EQ(sourcePagePath(c.collection, c.pageName).isEmpty(), c.expected.isEmpty())
            << c.pageName.toStdString();
    }
}

TEST_F(RecordPageFile, ThePaneLoadsOnlyTheCollectionsFiles)
{
    ASSERT_TRUE(QFile::link(dir.path(), folder + QStringLiteral("/outdir")));
    auto file = [](const QString &path) { return QUrl::fromLocalFile(path); };
    const struct {
        QUrl url;
        bool allowed;
    } cases[] = {
        {file(folder + QStringLiteral("/Help.htm")), true}, // also where it is missing
        {file(folder + QStringLiteral("/tmp/TmpKELMAR-2.htm")), true},
        {file(folder + QStringLiteral("/fang/mahuang.htm")), true},
        {file(folder + QStringLiteral("/fang/../fang/mahuang.htm")), true},
        {file(folder), true},
        {QUrl(QStringLiteral("data:text/html;charset=UTF-8,%3Cp%3E")), true},
        {QUrl(QStringLiteral("about:blank")), true},
        {file(folder + QStringLiteral("/../outside.htm")), false},
        {file(folder + QStringLiteral("/outdir/outside.htm")), true}, // a link inside is followed
        {file(folder + QStringLiteral("/outdir/../../outside.htm")), false},
        {file(folder + QStringLiteral("x/page.htm")), false}, // a neighbour whose name begins alike
        {file(QStringLiteral("/etc/passwd")), false},
        {QUrl(QStringLiteral("file://server/share/page.htm")), false},
        {QUrl(QStringLiteral("http://example.com/a.png")), false},
        {QUrl(QStringLiteral("https://127.0.0.1/")), false},
        {QUrl(QStringLiteral("ftp://example.com/")), false},
        {QUrl(QStringLiteral("ws://127.0.0.1:9/")), false},
        {QUrl(QStringLiteral("javascript:alert(1)")), false},
        {QUrl(QStringLiteral("qrc:/page.htm")), false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(paneMayLoad(folder, c.url), c.allowed) << c.url.toString().toStdString();
}

TEST_F(RecordPageFile, AFolderThatCannotBeWrittenIsReportedAndNamed)
{
    // A file called tmp stands where the folder would go.
    QFile blocker(folder + QStringLiteral("/tmp"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const auto write =
        WriteRecordPage(folder, recordPagePath(folder), QStringLiteral("fang\\mahuang.htm"), str("發熱"));
    ASSERT_FALSE(write.ok());
    EXPECT_EQ(write.failure().folder, folder);
    EXPECT_EQ(write.message(), QStringLiteral("無法寫入資料夾 %1，頁面沒有寫出。").arg(folder));
    EXPECT_FALSE(QFileInfo::exists(recordPagePath(folder)));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/tmp")).isFile());

    // A folder that does not exist: only one level is ever made.
    const QString missing = folder + QStringLiteral("/no/such");
    const auto nowhere =
        WriteRecordPage(missing, recordPagePath(missing), QStringLiteral("fang\\mahuang.htm"), str("發熱"));
    ASSERT_FALSE(nowhere.ok());
    EXPECT_EQ(nowhere.failure().folder, missing);
    EXPECT_FALSE(QFileInfo::exists(missing));

    // What the pane shows instead names the folder, written as text.
    const QString page = unwritableFolderPage(QStringLiteral("/media/光碟 <&>"));
    EXPECT_TRUE(page.contains(QStringLiteral("無法寫入資料夾")));
    EXPECT_TRUE(page.contains(QStringLiteral("/media/光碟 &lt;&amp;&gt;")));
}

TEST_F(RecordPageFile, DeleteRemovesOnlyThePage)
{
    const QString pagePath = recordPagePath(folder);
    ASSERT_TRUE(WriteRecordPage(folder, pagePath, QStringLiteral("fang\\mahuang.htm"), QString()));
    ASSERT_TRUE(QFileInfo::exists(pagePath));
    deleteRecordPage(pagePath);
    EXPECT_FALSE(QFileInfo::exists(pagePath));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/tmp")).isDir());
    deleteRecordPage(pagePath); // nothing there: nothing happens
    deleteRecordPage(folder + QStringLiteral("/tmp"));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/tmp")).isDir());
}

TEST_F(RecordPageFile, NothingIsWrittenThroughALinkInTheTmpFolder)
{
    const QString elsewhere = dir.path() + QStringLiteral("/elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QString tmp = folder + QStringLiteral("/tmp");
    auto filesElsewhere = [&] {
        return QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };

    // tmp itself a link to another folder: no page and no lock go there; the write says so.
    ASSERT_TRUE(QFile::link(elsewhere, tmp));
    {
        const RecordPageClaim claim(folder);
        const auto write = WriteRecordPage(folder, claim.path(), QStringLiteral("fang\\mahuang.htm"), str("發熱"));
        ASSERT_FALSE(write.ok());
        EXPECT_EQ(write.failure().folder, tmp);
    }
    EXPECT_TRUE(filesElsewhere().isEmpty()) << filesElsewhere().join(QLatin1Char(' ')).toStdString();
    ASSERT_TRUE(QFile::remove(tmp));

    // The lock and the page as links to paths outside: neither target is created or written.
    ASSERT_TRUE(QDir().mkdir(tmp));
    const QString lockTarget = elsewhere + QStringLiteral("/made-by-lock");
    const QString pageTarget = elsewhere + QStringLiteral("/made-by-page");
    ASSERT_TRUE(QFile::link(lockTarget, tmp + QStringLiteral("/TmpKELMAR.htm.lock")));
    ASSERT_TRUE(QFile::link(pageTarget, tmp + QStringLiteral("/TmpKELMAR.htm")));
    {
        const RecordPageClaim claim(folder);
        ASSERT_TRUE(WriteRecordPage(folder, claim.path(), QStringLiteral("fang\\mahuang.htm"), str("發熱")).ok());
        EXPECT_TRUE(readFile(claim.path()).contains(marked(str("發熱"))));
    }
    EXPECT_TRUE(filesElsewhere().isEmpty()) << filesElsewhere().join(QLatin1Char(' ')).toStdString();
}

TEST_F(RecordPageFile, WhyAPageCannotBeReadIsTold)
{
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/fang/folder.htm")));
    const QString locked = folder + QStringLiteral("/fang/locked.htm");
    QFile file(locked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(QFile::setPermissions(locked, QFile::WriteOwner));
    const struct {
        QString pageName;
        PageProblem expected;
    } cases[] = {
        {QStringLiteral("fang\\mahuang.htm"), PageProblem::None},
        {QStringLiteral("fang\\gone.htm"), PageProblem::Missing},
        {QString(), PageProblem::Missing},
        {QStringLiteral("fang\\folder.htm"), PageProblem::NotAFile},
        {QStringLiteral("..\\outside.htm"), PageProblem::Outside},
        // root reads every file: the permission case only means something for a user
        {QStringLiteral("fang\\locked.htm"), ::geteuid() == 0 ? PageProblem::None : PageProblem::NoPermission},
    };
    for (const auto &c : cases) {
        PageProblem problem = PageProblem::None;
        const QString path = sourcePagePath(folder, c.pageName, problem);
        EXPECT_EQ(problem, c.expected) << c.pageName.toStdString();
        EXPECT_EQ(path.isEmpty(), c.expected != PageProblem::None) << c.pageName.toStdString();
        EXPECT_EQ(pageProblemText(problem).isEmpty(), c.expected == PageProblem::None);
    }
}
