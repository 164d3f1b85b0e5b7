#include "pagetest.h"

#include "page/pageclaim.h"
#include "page/pagefile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

using namespace morvessa;
using namespace morvessa::pagetest;

namespace {

// Another program on the collection, holding its page until it is told to end.
class OtherProgram {
public:
    explicit OtherProgram(const QString &folder)
    {
        m_process.start(QStringLiteral(MORVESSA_CLAIM_HOLDER), {folder});
        if (m_process.waitForReadyRead(30000)) {
            const QList<QByteArray> answer = m_process.readLine().trimmed().split(' ');
            held = answer.value(0) == "held";
            path = QFile::decodeName(answer.value(1));
        }
    }
    ~OtherProgram() { end(); }

    void end()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(30000);
    }
    void die()
    {
        m_process.kill(); // SIGKILL: nothing of the program's own runs any more
        m_process.waitForFinished(30000);
    }

    bool held = false;
    QString path;

private:
    QProcess m_process;
};

QString tmpPage(const QString &folder, const char *name)
{
    return folder + QStringLiteral("/tmp/") + QString::fromUtf8(name);
}

QStringList tmpEntries(const QString &folder)
{
    return QDir(folder + QStringLiteral("/tmp")).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

TEST(RecordPageClaim, EachProgramOnACollectionWritesItsOwnPage)
{
    QTemporaryDir dir;
    const QString folder = dir.path();

    OtherProgram first(folder);
    EXPECT_TRUE(first.held);
    EXPECT_EQ(first.path, recordPagePath(folder));

    // This program comes second; owners within one program are kept apart as well.
    auto second = std::make_unique<RecordPageClaim>(folder);
    EXPECT_TRUE(second->held());
    EXPECT_EQ(second->path(), tmpPage(folder, "TmpKELMAR-2.htm"));
    auto third = std::make_unique<RecordPageClaim>(folder);
    EXPECT_EQ(third->path(), tmpPage(folder, "TmpKELMAR-3.htm"));
    OtherProgram fourth(folder);
    EXPECT_EQ(fourth.path, tmpPage(folder, "TmpKELMAR-4.htm"));

    // A name let go is the next one given; lock files go with their owners.
    second.reset();
    first.end();
    EXPECT_EQ(RecordPageClaim(folder).path(), recordPagePath(folder));
    EXPECT_EQ(tmpEntries(folder),
              (QStringList{QStringLiteral("TmpKELMAR-3.htm.lock"), QStringLiteral("TmpKELMAR-4.htm.lock")}));
    third.reset();
    fourth.end();
    EXPECT_EQ(tmpEntries(folder), QStringList());
}

TEST(RecordPageClaim, ThePageOfAProgramThatDiedIsTakenOver)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    OtherProgram crashed(folder);
    ASSERT_EQ(crashed.path, recordPagePath(folder));
    crashed.die();
    ASSERT_TRUE(QFileInfo::exists(recordPagePath(folder) + QStringLiteral(".lock")));

    {
        const RecordPageClaim claim(folder);
        EXPECT_TRUE(claim.held());
        EXPECT_EQ(claim.path(), recordPagePath(folder));
        OtherProgram next(folder);
        EXPECT_EQ(next.path, tmpPage(folder, "TmpKELMAR-2.htm"));
    }
    EXPECT_EQ(tmpEntries(folder), QStringList());
}

TEST(RecordPageClaim, AFolderWithoutLocksGivesTheFirstName)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    QFile blocker(folder + QStringLiteral("/tmp")); // tmp cannot be made
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const RecordPageClaim claim(folder);
    EXPECT_FALSE(claim.held());
    EXPECT_EQ(claim.path(), recordPagePath(folder));
}
