#include "engine/recordstore.h"
#include "search/queryanalysis.h"
#include "search/searchrun.h"
#include "store/isolatedread.h"
#include "store/keptcolumns.h"
#include "store/mdbreader.h"
#include "testdata.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <random>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace morvessa;
using morvessa::test::u;

namespace {

const QString kListAll = QStringLiteral("select subject,htm from  maindata order by date desc");

QByteArray fixtureBytes()
{
    QFile f(test::dataFolder("collection") + QStringLiteral("/jst.mdb"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile::remove(path);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Opens the folder's database and runs list-all; the error message when that fails.
QString failureOf(const QString &folder, const QString &sql = kListAll)
{
    Connection c;
    if (const Result<void> opened = c.open(buildConnString(folder)); !opened)
        return opened.message();
    Recordset r;
    return r.open(sql, c).message();
}

} // namespace

TEST(FailureTest, EachFailureIsAnErrorThatNamesTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray good = fixtureBytes();
    std::mt19937 random(7);
    QByteArray noise(3 * 4096, '\0');
    for (auto &b : noise)
        b = char(random());

    struct Case {
        const char *name;
        QString folder;
        QString expectedPart;
    };
    auto folderWith = [&](const char *name, const QByteArray &bytes) {
        const QString folder = dir.path() + QLatin1Char('/') + QString::fromUtf8(name);
        QDir().mkpath(folder);
        writeFile(folder + QStringLiteral("/jst.mdb"), bytes);
        return folder;
    };
    const QString folderAsFile = dir.path() + QStringLiteral("/folder-named-jst");
    QDir().mkpath(folderAsFile + QStringLiteral("/jst.mdb"));
    const Case cases[] = {
        {"no file", dir.path() + QStringLiteral("/nothing here"), u("找不到資料庫檔案")},
        {"a folder named jst.mdb", folderAsFile, u("是一個資料夾")},
        {"empty file", folderWith("empty-file", QByteArray()), u("無法開啟")},
        {"random bytes", folderWith("noise", noise), u("")},
        {"first page only", folderWith("one-page", good.left(4096)), u("")},
        {"no table maindata", test::dataFolder("no-table"), u("沒有資料表 maindata")},
        {"no column content", test::dataFolder("no-content"), u("缺少欄位 content")},
    };
    for (const Case &c : cases) {
        const QString message = failureOf(c.folder);
        EXPECT_TRUE(message.contains(c.folder + QStringLiteral("/jst.mdb")))
            << c.name << ": " << message.toStdString();
        EXPECT_TRUE(message.contains(c.expectedPart)) << c.name << ": " << message.toStdString();
    }
}

namespace {

// Root may read any file, so the permission cases run with this thread's file-system
// identity changed to an ordinary user's (setfsuid); for any other user the modes alone
// keep the files out of reach.
class AsOrdinaryUser {
public:
    AsOrdinaryUser() : m_groupBefore(::setfsgid(65534)), m_before(::setfsuid(65534)) {}
    ~AsOrdinaryUser()
    {
        ::setfsuid(m_before);
        ::setfsgid(m_groupBefore);
    }

private:
    int m_groupBefore;
    int m_before;
};

} // namespace

// Each message says what really stands in the way, and names the file.
TEST(FailureTest, MessagesSayWhatIsWrong)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                          QFile::ExeOther);
    const auto folder = [&](const char *name) {
        const QString f = dir.path() + QLatin1Char('/') + QString::fromUtf8(name);
        QDir().mkpath(f);
        QFile::setPermissions(f, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                     QFile::ExeOther);
        return f;
    };
    const QString unreadable = test::copyDatabase(dir, "collection", QStringLiteral("unreadable"));
    QFile::setPermissions(unreadable, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                          QFile::ExeOther);
    QFile::setPermissions(unreadable + QStringLiteral("/jst.mdb"), QFile::Permissions());
    const QString closed = test::copyDatabase(dir, "collection", QStringLiteral("closed"));
    QFile::setPermissions(closed, QFile::Permissions());
    const QString folderAsFile = folder("folder");
    QDir().mkpath(folderAsFile + QStringLiteral("/jst.mdb"));
    const QString pipe = folder("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe + QStringLiteral("/jst.mdb")).constData(), 0644), 0);

    const struct {
        const char *what;
        QString folder;
        QString expected;
    } cases[] = {
        {"a file without read permission", unreadable, u("沒有權限讀取")},
        {"a folder without permission", closed, u("沒有權限讀取")},
        {"a folder named jst.mdb", folderAsFile, u("是一個資料夾，不是檔案")},
        {"a pipe named jst.mdb", pipe, u("不是一般檔案")},
        {"nothing there", folder("nothing"), u("找不到資料庫檔案")},
    };
    for (const auto &c : cases) {
        QString message;
        {
            const AsOrdinaryUser user;
            message = failureOf(c.folder);
        }
        EXPECT_TRUE(message.contains(c.expected)) << c.what << ": " << message.toStdString();
        EXPECT_TRUE(message.contains(c.folder + QStringLiteral("/jst.mdb"))) << c.what;
        EXPECT_FALSE(message.contains(u("損毀"))) << c.what;
    }
    // The same files read as soon as permission is there.
    QFile::setPermissions(closed, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(unreadable + QStringLiteral("/jst.mdb"), QFile::ReadOwner);
    EXPECT_EQ(failureOf(closed), QString());
    EXPECT_EQ(failureOf(unreadable), QString());
}

namespace {

// A stand-in for the reading program: a shell script in dir.
QString readerScript(const QTemporaryDir &dir, const char *name, const char *body)
{
    const QString path = dir.path() + QLatin1Char('/') + QString::fromUtf8(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("#!/bin/sh\n") + body + '\n');
    f.close();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QString readFailure(const QString &path, const ReadSettings &settings)
{
    return readMaindata(path, ContentForm::AsWritten, settings).message();
}

} // namespace

TEST(FailureTest, AStalledReaderIsReportedAsNotReadInTimeAndNotAsDamage)
{
    QTemporaryDir dir;
    const QString path = test::dataFolder("collection") + QStringLiteral("/jst.mdb");
    ReadSettings settings;
    settings.keptFolder.clear();
    settings.stallLimit = std::chrono::milliseconds(300);
    settings.readerProgram = readerScript(dir, "stalls", "exec sleep 60");
    const QString message = readFailure(path, settings);
    EXPECT_TRUE(message.contains(u("無法在時限內讀取"))) << message.toStdString();
    EXPECT_TRUE(message.contains(path));
    EXPECT_FALSE(message.contains(u("損毀")));
    EXPECT_EQ((*readMaindata(path))->rowCount(), 17u);
}

TEST(FailureTest, AReaderThatDiesOrIsMissingIsAnError)
{
    QTemporaryDir dir;
    const QString path = test::dataFolder("collection") + QStringLiteral("/jst.mdb");
    ReadSettings settings;
    settings.keptFolder.clear();
    const struct {
        QString program;
        QString expected;
    } cases[] = {
        {readerScript(dir, "aborts", "kill -ABRT $$"), u("讀取程式意外結束")},
        {readerScript(dir, "crashes", "kill -SEGV $$"), u("讀取程式意外結束")},
        {readerScript(dir, "is-stopped", "kill -KILL $$"), u("讀取程式意外結束")},
        {readerScript(dir, "says-nothing", "exit 0"), u("已損毀")},
        {readerScript(dir, "fails", "exit 3"), u("已損毀")},
        {dir.path() + QStringLiteral("/no-such-program"), u("找不到讀取資料庫的程式")},
    };
    for (const auto &c : cases) {
        settings.readerProgram = c.program;
        const QString message = readFailure(path, settings);
        EXPECT_TRUE(message.contains(path)) << message.toStdString();
        EXPECT_TRUE(message.contains(c.expected)) << message.toStdString();
    }
    EXPECT_EQ((*readMaindata(path))->rowCount(), 17u);
}

TEST(FailureTest, StatementsTheEngineRejects)
{
    const QString folder = test::dataFolder("collection");
    const QString invalidPattern = failureOf(
        folder,
        QStringLiteral(
            "select subject,htm from  maindata where 1=1 and content like '%[發熱%' order by [date] desc "));
    EXPECT_FALSE(invalidPattern.isEmpty());
    EXPECT_TRUE(invalidPattern.contains(folder)) << invalidPattern.toStdString();
    EXPECT_FALSE(failureOf(folder, QStringLiteral("select nothing from nowhere")).isEmpty());
}

TEST(FailureTest, AFailedSearchLeavesEarlierResultsAndTheNextSearchWorks)
{
    const Result<SearchOutcome> before = runSearch(test::connFor("collection"), analyseQuery(u("咳嗽")));
    ASSERT_TRUE(before.ok() && before->found());
    const Result<SearchOutcome> noTable = runSearch(test::connFor("no-table"), analyseQuery(u("咳嗽")));
    ASSERT_FALSE(noTable.ok());
    EXPECT_TRUE(noTable.message().contains(test::dataFolder("no-table") + QStringLiteral("/jst.mdb")))
        << noTable.message().toStdString();
    const Result<SearchOutcome> badPattern = runSearch(test::connFor("collection"), analyseQuery(u("[咳嗽")));
    ASSERT_FALSE(badPattern.ok());
    EXPECT_TRUE(badPattern.message().contains(test::dataFolder("collection") + QStringLiteral("/jst.mdb")))
        << badPattern.message().toStdString();
    ASSERT_EQ(before->rows->count(), 2);
    EXPECT_EQ(before->rows->text(1, 0), u("咳嗽二"));
    const Result<SearchOutcome> after = runSearch(test::connFor("collection"), analyseQuery(QString()));
    ASSERT_TRUE(after.ok()) << after.message().toStdString();
    EXPECT_EQ(after->rows->count(), 17);
}

// Damaged copies of the collection: cut short at many points, bytes overwritten at
// random. Every one either reads or fails with an error; none may take the process down.
TEST(FailureTest, DamagedFilesNeverBringTheProcessDown)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray good = fixtureBytes();
    const QString path = dir.path() + QStringLiteral("/jst.mdb");
    int read = 0;
    int failed = 0;
    auto attempt = [&](const QByteArray &bytes, const std::string &what) {
        writeFile(path, bytes);
        const QString message = failureOf(dir.path());
        if (message.isEmpty()) {
            ++read;
            // What was read must be usable.
            Connection c;
            ASSERT_TRUE(c.open(buildConnString(dir.path())).ok()) << what;
            Recordset r;
            ASSERT_TRUE(
                r.open(QStringLiteral("select subject,htm from  maindata where 1=2  or content like '%熱%' "), c)
                    .ok())
                << what;
            (void)r.eof();
        } else {
            ++failed;
            EXPECT_TRUE(message.contains(path)) << what << ": " << message.toStdString();
        }
    };
    // A file cut short is an error, never a part of the table.
    std::vector<qsizetype> cuts{1, 17, 4095, 4097, 8191, 12289};
    for (qsizetype cut = 0; cut < good.size(); cut += 2048)
        cuts.push_back(cut);
    for (qsizetype cut : cuts) {
        attempt(good.left(cut), "cut at " + std::to_string(cut));
        EXPECT_EQ(read, 0) << "cut at " << cut;
    }

    std::mt19937 random(20240611);
    for (int round = 0; round < 240; ++round) {
        QByteArray bytes = good;
        // Half the rounds hit the first pages, where the catalog and the table's rows live.
        const qsizetype span = round % 2 ? bytes.size() : std::min<qsizetype>(bytes.size(), 16 * 4096);
        const int flips = 1 + int(random() % 8);
        for (int i = 0; i < flips; ++i)
            bytes[qsizetype(random() % std::uint32_t(span))] = char(random());
        attempt(bytes, "round " + std::to_string(round));
    }
    EXPECT_GT(read, 0);
    EXPECT_GT(failed, 0);
}
