// morvessa-query end to end on the test collections.
#include "printers.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QStringList lines; // standard output, one per row
    QString error;     // standard error
};

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QString collection(const char *name)
{
    return QStringLiteral(MORVESSA_TEST_DATA "/") + u(name);
}

Outcome runTool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(MORVESSA_QUERY_PROGRAM), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    Outcome o;
    o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    o.lines = out.split(QLatin1Char('\n'));
    if (o.lines.last().isEmpty())
        o.lines.removeLast();
    o.error = QString::fromUtf8(p.readAllStandardError());
    return o;
}

// The program with its cache folder (where it keeps column files) at cache.
Outcome runToolWithCache(const QStringList &args, const QString &cache)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(MORVESSA_QUERY_PROGRAM), args);
    EXPECT_TRUE(p.waitForFinished(30000)) << "the program waited on its cache folder";
    p.kill();
    p.waitForFinished();
    Outcome o;
    o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.lines = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    o.error = QString::fromUtf8(p.readAllStandardError());
    return o;
}

Outcome search(const QString &query, const char *folder = "collection")
{
    return runTool({QStringLiteral("--folder"), collection(folder), QStringLiteral("--"), query});
}

QStringList titles(const Outcome &o)
{
    QStringList out;
    for (const QString &line : o.lines)
        out << line.section(QLatin1Char('\t'), 0, 0);
    return out;
}

QStringList list(std::initializer_list<const char *> items)
{
    QStringList out;
    for (const char *s : items)
        out << u(s);
    return out;
}

const QStringList kNewestFirst =
    list({"資料夾有空白", "全形空白", "無內容", "麻黃湯", "桂枝湯", "人參 Panax Ginseng", "全形字母", "咳嗽一",
          "咳嗽二", "長篇", "特殊符號", "醫者意也", "空白名稱", "檔案不存在", "標記字樣", "許功蓋", "無日期"});

// The test collection's database and one of its pages in dir, where the tool may write.
bool copyWithPage(const QTemporaryDir &dir, const QString &page)
{
    const QString from = collection("collection") + QLatin1Char('/');
    const QString to = dir.path() + QLatin1Char('/');
    return QFile::copy(from + QStringLiteral("jst.mdb"), to + QStringLiteral("jst.mdb")) &&
           QDir().mkpath(QFileInfo(to + page).absolutePath()) && QFile::copy(from + page, to + page);
}

QString notFound(const char *messageText)
{
    return u(" 全文檢索搜尋　[ ") + u(messageText) + u(" ]　資料不存在\n");
}

} // namespace

TEST(QueryToolTest, PrintsTitleTabPageNewestFirst)
{
    const Outcome o = search(u("發熱"));
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.lines, list({"資料夾有空白\tzheng sub\\a b.htm", "全形空白\tzheng\\quankong.htm",
                             "麻黃湯\tfang\\MaHuang.HTM", "桂枝湯\tfang\\guizhi.htm",
                             "標記字樣\tzheng\\markup.htm", "無日期\tzheng\\nodate.htm"}));
    EXPECT_TRUE(o.error.isEmpty());
}

TEST(QueryToolTest, QueriesGiveTheirRows)
{
    const QStringList withContent = [] {
        QStringList l = kNewestFirst;
        l.removeAll(u("無內容"));
        return l;
    }();
    const QStringList fileOrderWithContent =
        list({"桂枝湯", "麻黃湯", "人參 Panax Ginseng", "全形字母", "無日期", "咳嗽一", "咳嗽二", "長篇",
              "特殊符號", "空白名稱", "檔案不存在", "標記字樣", "許功蓋", "資料夾有空白", "全形空白", "醫者意也"});
    const struct {
        const char *query;
        QStringList titles;
    } cases[] = {
        {"", kNewestFirst},
        {"   ", kNewestFirst},
        {"發熱 頭痛", list({"全形空白", "麻黃湯", "無日期"})},
        {"-發熱 頭痛", list({"全形空白", "麻黃湯", "無日期"})},
        {"+發熱 頭痛",
         list({"桂枝湯", "麻黃湯", "無日期", "空白名稱", "檔案不存在", "標記字樣", "資料夾有空白", "全形空白"})},
        {"   發熱  ", list({"資料夾有空白", "全形空白", "麻黃湯", "桂枝湯", "標記字樣", "無日期"})},
        {"  -發熱", list({"資料夾有空白", "全形空白", "麻黃湯", "桂枝湯", "標記字樣", "無日期"})},
        {"-", kNewestFirst},
        {"- 發熱", list({"資料夾有空白", "全形空白", "麻黃湯", "桂枝湯", "標記字樣", "無日期"})},
        {"+發熱  頭痛", fileOrderWithContent},
        {"發熱　頭痛", list({"全形空白"})},
        {"尾端標記", list({"長篇"})},
        {"Hahnemann's", list({"人參 Panax Ginseng"})},
        {"醫者'意也'", list({"醫者意也"})},
        {"panax ginseng", list({"人參 Panax Ginseng"})},
        {"咳嗽", list({"咳嗽一", "咳嗽二"})},
        {"-%", withContent},
    };
    for (const auto &c : cases) {
        const Outcome o = search(u(c.query));
        EXPECT_EQ(o.exitCode, 0) << c.query << ": " << o.error.toStdString();
        EXPECT_EQ(titles(o), c.titles) << c.query;
    }
}

TEST(QueryToolTest, NothingFoundIsAMessageAndExitOne)
{
    const struct {
        const char *query;
        const char *folder;
        const char *messageText;
    } cases[] = {
        {"+", "collection", ""},
        {"", "empty", ""},
        {"-發熱不存在", "collection", "發熱不存在"},
        {"a'b", "collection", "a'&chr(39)&'b"},
        {"－發熱", "collection", "－發熱"},
    };
    for (const auto &c : cases) {
        const Outcome o = search(u(c.query), c.folder);
        EXPECT_EQ(o.exitCode, 1) << c.query;
        EXPECT_TRUE(o.lines.isEmpty()) << c.query;
        EXPECT_EQ(o.error, notFound(c.messageText)) << c.query;
    }
}

TEST(QueryToolTest, FailuresAreReportedWithExitTwo)
{
    QTemporaryDir nothing;
    const struct {
        QString folder;
        const char *query;
    } cases[] = {
        {nothing.path(), ""},
        {collection("no-table"), ""},
        {collection("no-content"), "發熱"},
        {collection("collection"), "[發熱"},
    };
    for (const auto &c : cases) {
        const Outcome o = runTool({QStringLiteral("--folder"), c.folder, u(c.query)});
        EXPECT_EQ(o.exitCode, 2) << c.query << " in " << c.folder.toStdString();
        EXPECT_TRUE(o.lines.isEmpty());
        EXPECT_TRUE(o.error.contains(c.folder + QStringLiteral("/jst.mdb"))) << o.error.toStdString();
    }
    EXPECT_EQ(runTool({QStringLiteral("--unknown")}).exitCode, 2);
    EXPECT_EQ(runTool({QStringLiteral("-i"), u("發熱")}).exitCode, 2);
}

TEST(QueryToolTest, ExplainPrintsModeAndStatementOnly)
{
    QTemporaryDir nothing; // no database: explain runs nothing
    const Outcome o = runTool({QStringLiteral("--folder"), nothing.path(), QStringLiteral("--explain"),
                               QStringLiteral("--"), u("+發熱 頭痛")});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.lines, QStringList({QStringLiteral("mod4"),
                                    u("select subject,htm from  maindata where 1=2  or content like '%發熱%'   or "
                                      "content like '%頭痛%' ")}));
    const Outcome all = runTool({QStringLiteral("--explain")});
    EXPECT_EQ(all.lines, QStringList({QStringLiteral("mod1"),
                                      QStringLiteral("select subject,htm from  maindata order by date desc")}));
}

// Without --folder the program's own folder is the collection.
TEST(QueryToolTest, DefaultFolderIsTheProgramsFolder)
{
    QTemporaryDir dir;
    const QString program = dir.path() + QStringLiteral("/morvessa-query");
    ASSERT_TRUE(QFile::copy(QStringLiteral(MORVESSA_QUERY_PROGRAM), program));
    ASSERT_TRUE(QFile::copy(collection("collection") + QStringLiteral("/jst.mdb"),
                            dir.path() + QStringLiteral("/jst.mdb")));
    QProcess p;
    p.start(program, {u("咳嗽")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()),
              u("咳嗽一\tzheng\\kesou1.htm\n咳嗽二\tzheng\\kesou2.htm\n"));
}

// Help and version answer at once with exit 0, whatever else is on the line; nothing is searched.
TEST(QueryToolTest, HelpAndVersion)
{
    QTemporaryDir nothing; // no database: a search here would fail with exit 2
    for (const QString &option : {QStringLiteral("-h"), QStringLiteral("--help")}) {
        const Outcome o = runTool({QStringLiteral("--folder"), nothing.path(), option, u("發熱")});
        EXPECT_EQ(o.exitCode, 0) << o.error.toStdString();
        EXPECT_TRUE(o.lines.join(QLatin1Char('\n')).contains(QStringLiteral("--format"))) << option.toStdString();
        EXPECT_TRUE(o.error.isEmpty());
    }
    const Outcome version = runTool({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.lines, QStringList({QStringLiteral("morvessa-query " MORVESSA_VERSION)}));
    const Outcome wrong = runTool({QStringLiteral("--format"), QStringLiteral("xml")});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_TRUE(wrong.lines.isEmpty());
    EXPECT_TRUE(wrong.error.contains(QStringLiteral("--help")));
}

// A query beginning with "-" follows "--", as with grep; before it, it is refused with a word
// on how to write it, and nothing is searched.
TEST(QueryToolTest, DashQueriesFollowTheSeparator)
{
    const Outcome after = search(u("-發熱 頭痛"));
    EXPECT_EQ(titles(after), list({"全形空白", "麻黃湯", "無日期"}));
    const Outcome before = runTool({u("-發熱 頭痛"), QStringLiteral("--folder"), collection("collection")});
    EXPECT_EQ(before.exitCode, 2);
    EXPECT_TRUE(before.lines.isEmpty());
    EXPECT_TRUE(before.error.contains(u("morvessa-query -- -發熱 頭痛"))) << before.error.toStdString();
}

TEST(QueryToolTest, JsonRowsAndThePagePath)
{
    QTemporaryDir dir;
    ASSERT_TRUE(copyWithPage(dir, QStringLiteral("zheng/kesou2.htm")));
    const Outcome o = runTool({QStringLiteral("--folder"), dir.path(), QStringLiteral("--format"),
                               QStringLiteral("json"), QStringLiteral("--page"), QStringLiteral("2"), u("咳嗽")});
    EXPECT_EQ(o.exitCode, 0) << o.error.toStdString();
    ASSERT_EQ(o.lines.size(), 2);
    const QJsonObject first = QJsonDocument::fromJson(o.lines[0].toUtf8()).object();
    const QJsonObject second = QJsonDocument::fromJson(o.lines[1].toUtf8()).object();
    EXPECT_EQ(first, QJsonObject({{u("row"), 1}, {u("title"), u("咳嗽一")}, {u("page"), u("zheng\\kesou1.htm")}}));
    const QString path = dir.path() + QStringLiteral("/tmp/TmpKELMAR.htm");
    EXPECT_EQ(
        second,
        QJsonObject(
            {{u("row"), 2}, {u("title"), u("咳嗽二")}, {u("page"), u("zheng\\kesou2.htm")}, {u("path"), path}}));
    EXPECT_TRUE(QFile::exists(path));
}

// tests/data/variants holds 食後 (咳嗽一), 食后 (咳嗽二) and 发热 (無日期) beside the
// collection's 發熱 and 脈.
TEST(QueryToolTest, VariantsContextAndCount)
{
    const QString variants = collection("variants");
    const struct {
        std::initializer_list<const char *> args;
        int exitCode;
        QStringList lines;
    } cases[] = {
        {{"发热"}, 0, {u("無日期\tzheng\\nodate.htm")}},
        {{"--variants", "--", "-发热 头痛"},
         0,
         {u("全形空白\tzheng\\quankong.htm"), u("麻黃湯\tfang\\MaHuang.HTM"), u("無日期\tzheng\\nodate.htm")}},
        {{"脉"}, 1, {}},
        {{"--variants", "--count", "脉"}, 0, {u("1")}},
        {{"--count", "發熱"}, 0, {u("5")}},
        {{"--count", "--variants", "發熱"}, 0, {u("6")}},
        {{"--count", "咖啡"}, 1, {u("0")}},
        // Piped, the hit is set between 【】; offsets count characters of the content as stored.
        {{"--variants", "--context", "1", "后"},
         0,
         {u("咳嗽一\tzheng\\kesou1.htm\t1\t食【後】，"), u("咳嗽二\tzheng\\kesou2.htm\t1\t食【后】，")}},
        {{"--context", "2", "--variants", "脉_"}, 0, {u("桂枝湯\tfang\\guizhi.htm\t14\t風，【脈浮】緩。")}},
        {{"--context", "3", "造字"}, 0, {u("許功蓋\tzheng\\xugonggai.htm\t6\t三字；【造字】：\uE000。")}},
        {{"--context", "20", "--max-hits", "2", "--count", "脾"}, 0, {u("1\t2")}},
        {{"-cC20", "--max-hits=2", "脾"}, 0, {u("1\t2")}},
        {{"-C", "20", "--count", "--variants", "+後 发热"}, 0, {u("8\t8")}},
        // Several words are one query; -m keeps the first records of the result.
        {{"--variants", "发热", "头痛"},
         0,
         {u("全形空白\tzheng\\quankong.htm"), u("麻黃湯\tfang\\MaHuang.HTM"), u("無日期\tzheng\\nodate.htm")}},
        {{"--variants", "-m", "2", "--", "-发热 头痛"},
         0,
         {u("全形空白\tzheng\\quankong.htm"), u("麻黃湯\tfang\\MaHuang.HTM")}},
        {{"--variants", "--max-count=1", "-c", "发热"}, 0, {u("1")}},
        {{"-m1", "-C0", "--variants", "后"}, 0, {u("咳嗽一\tzheng\\kesou1.htm\t1\t【後】")}},
        {{"--context", "0", "--max-hits", "1", "尾端標記"}, 0, {u("長篇\tlong\\long.htm\t148893\t【尾端標記】")}},
    };
    for (const auto &c : cases) {
        QStringList args{QStringLiteral("--folder"), variants};
        for (const char *a : c.args)
            args << u(a);
        const Outcome o = runTool(args);
        EXPECT_EQ(o.exitCode, c.exitCode) << args.join(u(" ")).toStdString() << o.error.toStdString();
        EXPECT_EQ(o.lines, c.lines) << args.join(u(" ")).toStdString();
    }
    // As with grep -c, a count of nothing is a 0 and nothing else.
    const Outcome none = runTool({QStringLiteral("--folder"), variants, QStringLiteral("-c"), u("咖啡")});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.lines, QStringList{u("0")});
    EXPECT_EQ(none.error, QString());
    // With --variants, --explain shows the statement as it runs.
    const Outcome explained = runTool({QStringLiteral("--explain"), QStringLiteral("--variants"), u("發熱 後")});
    EXPECT_EQ(explained.lines.value(1),
              u("select subject,htm from  maindata where 1=1 and content like '%发热%'  and content like '%后%' "
                "order by [date] desc "));
}

TEST(QueryToolTest, VariantDictionariesMissingIsAFailure)
{
    QTemporaryDir empty;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MORVESSA_VARIANT_DATA"), empty.path());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(MORVESSA_QUERY_PROGRAM),
            {QStringLiteral("--folder"), collection("variants"), QStringLiteral("--variants"), u("發熱")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(
        QString::fromUtf8(p.readAllStandardError()).contains(empty.path() + QStringLiteral("/STCharacters.ocd2")));
}

// Two programs started at once on a collection neither has seen: both read it and both give
// its rows; the copy they keep in the cache folder then serves a third.
TEST(QueryToolTest, TwoProgramsOnOneNewCollectionAtOnce)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + QStringLiteral("/collection");
    QDir().mkpath(folder);
    ASSERT_TRUE(
        QFile::copy(collection("collection") + QStringLiteral("/jst.mdb"), folder + QStringLiteral("/jst.mdb")));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), dir.path() + QStringLiteral("/cache"));
    auto start = [&](QProcess &p) {
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(MORVESSA_QUERY_PROGRAM), {QStringLiteral("--folder"), folder, QString()});
    };
    QThread::msleep(150); // a database changed a moment ago is read but not kept
    QProcess a, b, c;
    start(a);
    start(b);
    ASSERT_TRUE(a.waitForFinished(60000) && b.waitForFinished(60000));
    const QByteArray rowsA = a.readAllStandardOutput(), rowsB = b.readAllStandardOutput();
    EXPECT_EQ(a.exitCode(), 0);
    EXPECT_EQ(rowsA.count('\n'), kNewestFirst.size());
    EXPECT_EQ(rowsB, rowsA);
    const QStringList kept = QDir(dir.path() + QStringLiteral("/cache/morvessa/columns")).entryList(QDir::Files);
    EXPECT_EQ(kept.size(), 1) << kept.join(QLatin1Char(' ')).toStdString();
    start(c);
    ASSERT_TRUE(c.waitForFinished(60000));
    EXPECT_EQ(c.readAllStandardOutput(), rowsA);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("jst.mdb")});
}

// The kept copy is checked as the search reads it: changed where the search looks (the
// found words, the titles it prints), it gives the database's answer and is made again.
TEST(QueryToolTest, AKeptCopyChangedWhereTheSearchReadsGivesTheDatabasesAnswer)
{
    const QStringList args{QStringLiteral("--folder"), collection("collection"), QStringLiteral("--"), u("發熱")};
    const Outcome expected = runTool(args);
    ASSERT_EQ(expected.exitCode, 0);
    ASSERT_FALSE(expected.lines.isEmpty());
    const struct {
        const char *what;
        QByteArray bytes; // every place holding them is changed
    } damages[] = {
        {"the word searched for", u("發熱").toUtf8()},
        {"a title listed", titles(expected).constFirst().toUtf8()},
    };
    for (const auto &d : damages) {
        QTemporaryDir cache;
        ASSERT_TRUE(cache.isValid());
        ASSERT_EQ(runToolWithCache(args, cache.path()).lines, expected.lines);
        const QString folder = cache.path() + QStringLiteral("/morvessa/columns");
        const QStringList kept = QDir(folder).entryList({QStringLiteral("*.columns")}, QDir::Files);
        ASSERT_EQ(kept.size(), 1);
        QFile file(folder + QLatin1Char('/') + kept.constFirst());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        int changed = 0;
        for (qsizetype at = bytes.indexOf(d.bytes); at >= 0; at = bytes.indexOf(d.bytes, at + 1), ++changed)
            bytes[at + d.bytes.size() - 1] = char(bytes[at + d.bytes.size() - 1] ^ 0x01);
        ASSERT_GT(changed, 0) << d.what;
        ASSERT_TRUE(file.seek(0) && file.write(bytes) == bytes.size());
        file.close();

        for (int run = 0; run < 2; ++run) { // the damaged copy, then the one made in its place
            const Outcome o = runToolWithCache(args, cache.path());
            EXPECT_EQ(o.exitCode, 0) << d.what << ": " << o.error.toStdString();
            EXPECT_EQ(o.lines, expected.lines) << d.what;
            EXPECT_TRUE(o.error.isEmpty()) << d.what << ": " << o.error.toStdString();
        }
        const QStringList now = QDir(folder).entryList({QStringLiteral("*.columns")}, QDir::Files);
        ASSERT_EQ(now.size(), 1);
        QFile again(folder + QLatin1Char('/') + now.constFirst());
        ASSERT_TRUE(again.open(QIODevice::ReadOnly));
        EXPECT_NE(again.readAll(), bytes) << d.what << ": the damaged copy stayed";
    }
}

// The kept copy is only a speed-up: a cache folder on a full disk, or pipes where its files
// go, change nothing in the answer and never make the program wait.
TEST(QueryToolTest, TheCacheFolderInAnyStateGivesTheSameAnswer)
{
    const QStringList args{QStringLiteral("--folder"), collection("collection"), QStringLiteral("--"), u("發熱")};
    const Outcome expected = runTool(args);
    ASSERT_EQ(expected.exitCode, 0);
    ASSERT_FALSE(expected.lines.isEmpty());

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto runWithCache = [&](const QString &cache) { return runToolWithCache(args, cache); };

    // Pipes in place of every file a first run kept.
    const QString piped = dir.path() + QStringLiteral("/piped");
    ASSERT_EQ(runWithCache(piped).lines, expected.lines);
    QDirIterator kept(piped, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    int pipes = 0;
    while (kept.hasNext()) {
        const QByteArray file = QFile::encodeName(kept.next());
        ASSERT_EQ(::unlink(file.constData()), 0);
        ASSERT_EQ(::mkfifo(file.constData(), 0600), 0);
        ++pipes;
    }
    ASSERT_GT(pipes, 0);
    for (int run = 0; run < 2; ++run) {
        const Outcome o = runWithCache(piped);
        EXPECT_EQ(o.exitCode, 0) << o.error.toStdString();
        EXPECT_EQ(o.lines, expected.lines);
    }

    // A cache folder on a disk with no room: the column file's writes fail part way.
    const QString full = dir.path() + QStringLiteral("/full");
    QDir().mkpath(full);
    const QString out = dir.path() + QStringLiteral("/out");
    QProcess child;
    child.start(
        QStringLiteral("unshare"),
        {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"),
         QStringLiteral("mount -t tmpfs -o size=8k none \"$1\" || exit 99\n"
                        "XDG_CACHE_HOME=\"$1\" \"$2\" --folder \"$3\" -- \"$4\" > \"$5.out\" 2> \"$5.err\"\n"
                        "echo $? > \"$5.exit\""),
         QStringLiteral("sh"), full, QStringLiteral(MORVESSA_QUERY_PROGRAM), collection("collection"), u("發熱"),
         out});
    if (!child.waitForFinished(30000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() == 99)
        GTEST_SKIP() << "no memory file system can be mounted here";
    auto read = [&](const char *suffix) {
        QFile f(out + QString::fromLatin1(suffix));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    EXPECT_EQ(read(".exit").trimmed(), QStringLiteral("0")) << read(".err").toStdString();
    EXPECT_EQ(read(".out").split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected.lines);
    EXPECT_FALSE(read(".err").contains(u("損毀")));
}

// Output that cannot be written is a failure that says so; a reader that went away is not
// worth a word, as with grep.
TEST(QueryToolTest, OutputThatCannotBeWrittenIsSaid)
{
    const struct {
        const char *redirect;
        bool said;
    } cases[] = {{"> /dev/full", true}, {">&-", true}, {"| head -c 0", false}};
    for (const auto &c : cases) {
        QProcess p;
        p.start(QStringLiteral("sh"),
                {QStringLiteral("-c"),
                 QStringLiteral("\"$1\" --folder \"$2\" %1; echo \"exit ${PIPESTATUS:-$?}\" >&2")
                     .arg(QString::fromLatin1(c.redirect)),
                 QStringLiteral("sh"), QStringLiteral(MORVESSA_QUERY_PROGRAM), collection("collection")});
        ASSERT_TRUE(p.waitForFinished(30000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        if (c.said) {
            EXPECT_TRUE(err.contains(u("無法寫出結果"))) << c.redirect << ": " << err.toStdString();
            EXPECT_TRUE(err.contains(QStringLiteral("exit 2"))) << c.redirect << ": " << err.toStdString();
        } else {
            EXPECT_FALSE(err.contains(u("無法寫出結果"))) << c.redirect << ": " << err.toStdString();
        }
    }
}

// With --variants the page shows what was found in the form the page has: "发热" marks 發熱.
TEST(QueryToolTest, VariantFormsAreMarkedInThePage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(copyWithPage(dir, QStringLiteral("zheng/quankong.htm")));
    const Outcome o =
        runTool({QStringLiteral("--folder"), dir.path(), QStringLiteral("--variants"), QStringLiteral("--page"),
                 QStringLiteral("1"), QStringLiteral("--"), u("-发热 头痛")});
    EXPECT_EQ(o.exitCode, 0) << o.error.toStdString();
    ASSERT_FALSE(o.lines.isEmpty());
    EXPECT_EQ(o.lines.first(), u("全形空白\tzheng\\quankong.htm"));
    QFile page(o.lines.last());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << o.lines.last().toStdString();
    const QByteArray marked = page.readAll();
    // 發熱 and 頭痛 in Big5, each between the marks.
    EXPECT_TRUE(marked.contains("<font color=red>\xB5\x6F\xBC\xF6</font>")) << marked.toStdString();
    EXPECT_TRUE(marked.contains("<font color=red>\xC0\x59\xB5\x68</font>")) << marked.toStdString();
}
