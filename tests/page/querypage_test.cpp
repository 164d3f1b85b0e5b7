// morvessa-query --page: the viewer on one result row, from a terminal.
#include "files.h"
#include "text/big5.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using morvessa::test::copyTree;

namespace {

struct QueryRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QueryRun runQuery(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(MORVESSA_QUERY), args);
    process.waitForFinished(60000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace

TEST(QueryPage, WritesTheRowsPageAndPrintsItsPathLast)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/collection");
    ASSERT_TRUE(copyTree(QStringLiteral(MORVESSA_TEST_DATA "/collection"), folder));
    const QString pagePath = folder + QStringLiteral("/tmp/TmpKELMAR.htm");

    for (const char *query : {"發熱 頭痛", "-發熱 頭痛"}) {
        const QueryRun run = runQuery({QStringLiteral("--folder"), folder, QStringLiteral("--page"),
                                       QStringLiteral("2"), QStringLiteral("--"), QString::fromUtf8(query)});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QList<QByteArray> lines = run.out.trimmed().split('\n');
        ASSERT_GE(lines.size(), 3);
        EXPECT_EQ(lines.last(), pagePath.toUtf8());
        const QByteArray htm = lines.at(1).split('\t').value(1);

        QFile page(pagePath);
        ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << htm.toStdString();
        const QString text = morvessa::big5Decode(page.readAll());
        EXPECT_TRUE(text.contains(QString::fromUtf8("<font color=red>發熱</font>"))) << query;
        EXPECT_TRUE(text.contains(QString::fromUtf8("<font color=red>頭痛</font>"))) << query;
        EXPECT_FALSE(text.contains(QString::fromUtf8("<font color=red>-"))) << query;
    }

    const QueryRun beyond = runQuery({QStringLiteral("--folder"), folder, QStringLiteral("--page"),
                                      QStringLiteral("999"), QString::fromUtf8("發熱")});
    EXPECT_EQ(beyond.exitCode, 2);
    EXPECT_FALSE(beyond.err.isEmpty());
    EXPECT_FALSE(beyond.out.contains(pagePath.toUtf8()));
}

TEST(QueryPage, WritesItsOwnPageWhileAWindowShowsTheFirst)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/collection");
    ASSERT_TRUE(copyTree(QStringLiteral(MORVESSA_TEST_DATA "/collection"), folder));
    const QString windowPage = folder + QStringLiteral("/tmp/TmpKELMAR.htm");

    // A window of the collection holds the first page, which shows its record.
    QProcess window;
    window.start(QStringLiteral(MORVESSA_CLAIM_HOLDER), {folder});
    ASSERT_TRUE(window.waitForReadyRead(30000));
    ASSERT_EQ(window.readLine().trimmed(), "held " + QFile::encodeName(windowPage));
    QFile shown(windowPage);
    ASSERT_TRUE(shown.open(QIODevice::WriteOnly));
    shown.write("the window's record");
    shown.close();

    const QueryRun run = runQuery({QStringLiteral("--folder"), folder, QStringLiteral("--page"),
                                   QStringLiteral("1"), QString::fromUtf8("發熱")});
    window.closeWriteChannel();
    window.waitForFinished(30000);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString ownPage = folder + QStringLiteral("/tmp/TmpKELMAR-2.htm");
    EXPECT_EQ(run.out.trimmed().split('\n').last(), ownPage.toUtf8());
    QFile own(ownPage);
    ASSERT_TRUE(own.open(QIODevice::ReadOnly));
    EXPECT_TRUE(morvessa::big5Decode(own.readAll()).contains(QString::fromUtf8("<font color=red>發熱</font>")));
    QFile first(windowPage);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), "the window's record");
}

TEST(QueryPage, APageThatCannotBeWrittenIsAFailure)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/collection");
    ASSERT_TRUE(copyTree(QStringLiteral(MORVESSA_TEST_DATA "/collection"), folder));
    QFile blocker(folder + QStringLiteral("/tmp")); // where the tmp folder would go
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const QueryRun run = runQuery({QStringLiteral("--folder"), folder, QStringLiteral("--page"),
                                   QStringLiteral("1"), QString::fromUtf8("發熱")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_FALSE(run.out.contains("TmpKELMAR"));
    const QString message = QString::fromUtf8(run.err);
    EXPECT_TRUE(message.contains(QString::fromUtf8("無法寫入資料夾"))) << run.err.toStdString();
    EXPECT_TRUE(message.contains(QDir::toNativeSeparators(folder))) << run.err.toStdString();
}

TEST(QueryPage, APageThatCannotBeReadIsAFailureThatNamesIt)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/collection");
    QDir().mkpath(folder);
    ASSERT_TRUE(QFile::copy(QStringLiteral(MORVESSA_TEST_DATA "/collection/jst.mdb"),
                            folder + QStringLiteral("/jst.mdb")));

    const QueryRun run = runQuery({QStringLiteral("--folder"), folder, QStringLiteral("--page"),
                                   QStringLiteral("1"), QString::fromUtf8("發熱")});
    EXPECT_EQ(run.exitCode, 2);
    const QString message = QString::fromUtf8(run.err);
    EXPECT_TRUE(message.contains(QString::fromUtf8("無法讀取第 1 筆的頁面"))) << run.err.toStdString();
    EXPECT_TRUE(message.contains(QString::fromUtf8("檔案不存在"))) << run.err.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral(".htm"))) << run.err.toStdString();
}
