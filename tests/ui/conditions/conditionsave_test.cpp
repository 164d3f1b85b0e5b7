// Saving a condition file when the disk, the limits or the file itself stand in the way:
// every byte is written, or the failure is reported and the file keeps its old bytes;
// either way it stays the same file (owner, mode, other names).
#include "tests.h"

#include "base/filereplace.h"
#include "ui/logic/conditionfile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

using namespace morvessa;

namespace {

// The user a save runs as when the test runs as the superuser, for whom permissions
// mean nothing.
constexpr uid_t kNobody = 65534;

struct Saved {
    int exitCode = -1;
    QString message;
};

// Saves text into path from a process of its own.
Saved saveInChild(const QString &path, const QString &text, const QStringList &options = {})
{
    QTemporaryDir textDir;
    const QString textFile = textDir.filePath(QStringLiteral("text"));
    writeBytes(textFile, text.toUtf8());
    if (!options.isEmpty())
        ::chmod(QFile::encodeName(textDir.path()).constData(), 0755);
    QProcess child;
    child.start(QStringLiteral(CONDITIONSAVE), options + QStringList{path, textFile});
    child.waitForFinished(30000);
    return Saved{child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1,
                 QString::fromUtf8(child.readAllStandardOutput())};
}

QStringList asNobody()
{
    return {QStringLiteral("--user"), QStringLiteral("%1:%1").arg(kNobody)};
}

struct stat statOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// A writer that fails once, with ENOSPC, when the bytes written reach budget; the calls
// before and after it write normally.
class FailOnce {
public:
    explicit FailOnce(qsizetype budget) : m_saved(writeAtCall()), m_budget(budget)
    {
        writeAtCall() = [this](int fd, const char *data, size_t size, off_t offset) -> ssize_t {
            if (!m_failed && m_written + qsizetype(size) > m_budget) {
                const size_t part = size_t(m_budget - m_written);
                if (part > 0) {
                    m_written += qsizetype(part);
                    return m_saved(fd, data, part, offset); // a short write, then the failure
                }
                m_failed = true;
                errno = ENOSPC;
                return -1;
            }
            m_written += qsizetype(size);
            return m_saved(fd, data, size, offset);
        };
    }
    ~FailOnce() { writeAtCall() = m_saved; }
    bool failed() const { return m_failed; }

private:
    WriteAtCall m_saved;
    qsizetype m_budget;
    qsizetype m_written = 0;
    bool m_failed = false;
};

} // namespace

class TestConditionSave : public QObject {
    Q_OBJECT

private slots:
    // A write that breaks off at any point leaves the old bytes, under every name of the
    // file, and no stray file in the folder.
    void brokenWriteKeepsOldBytes_data()
    {
        QTest::addColumn<int>("oldSize");
        QTest::addColumn<int>("newSize"); // characters of text, CR LF follows
        QTest::addColumn<bool>("linked");
        QTest::addColumn<int>("budget"); // bytes written before the failure
        QTest::newRow("new file, first byte") << 27 << 12238 << false << 0;
        QTest::newRow("new file, part way") << 27 << 12238 << false << 8192;
        QTest::newRow("new file, last byte") << 12240 << 25 << false << 26;
        QTest::newRow("in place, growing, past the old end") << 27 << 12238 << true << 5000;
        QTest::newRow("in place, growing, over the old bytes") << 27 << 12238 << true << 12225;
        QTest::newRow("in place, shrinking, part way") << 12240 << 25 << true << 10;
        QTest::newRow("in place, same size") << 100 << 98 << true << 50;
    }
    void brokenWriteKeepsOldBytes()
    {
        QFETCH(int, oldSize);
        QFETCH(int, newSize);
        QFETCH(bool, linked);
        QFETCH(int, budget);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("c.txt"));
        const QByteArray before = QByteArray("old\r\n").repeated(oldSize / 5 + 1).left(oldSize);
        writeBytes(file, before);
        const QString other = dir.filePath(QStringLiteral("other.set"));
        if (linked)
            QCOMPARE(::link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()), 0);

        Result<void> r;
        {
            FailOnce failing(budget);
            r = saveConditionFile(QFile::encodeName(file), QString(newSize, QLatin1Char('n')));
            QVERIFY(failing.failed());
        }
        QVERIFY(!r.ok());
        QVERIFY2(r.message().contains(file) && r.message().contains(QStringLiteral("磁碟空間不足")) &&
                     r.message().contains(QStringLiteral("原檔案沒有變更")),
                 qPrintable(r.message()));
        QCOMPARE(readBytes(file), before);
        if (linked) {
            QCOMPARE(readBytes(other), before);
            QCOMPARE(statOf(file).st_nlink, nlink_t(2));
        }
        QCOMPARE(filesIn(dir.path()).size(), linked ? 2 : 1);

        // The next save goes through.
        QVERIFY(saveConditionFile(QFile::encodeName(file), QStringLiteral("ok")).ok());
        QCOMPARE(readBytes(file), QByteArray("ok\r\n"));
        if (linked)
            QCOMPARE(readBytes(other), QByteArray("ok\r\n"));
    }

    // A write the system reports as done but that did not store the bytes (a failing disk,
    // a network file system) is caught by reading the file back: the old bytes return.
    void writeThatStoresOtherBytesIsCaught()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("c.txt"));
        const QString other = dir.filePath(QStringLiteral("other.set"));
        const QByteArray before("old text\r\n");
        writeBytes(file, before);
        QCOMPARE(::link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()), 0);

        const WriteAtCall saved = writeAtCall();
        bool corrupted = false;
        writeAtCall() = [&](int fd, const char *data, size_t size, off_t offset) -> ssize_t {
            if (corrupted || size == 0)
                return saved(fd, data, size, offset);
            corrupted = true;
            QByteArray wrong(data, qsizetype(size));
            wrong[0] = char(wrong[0] ^ 0x20);
            return saved(fd, wrong.constData(), size, offset);
        };
        const Result<void> r = saveConditionFile(QFile::encodeName(file), QStringLiteral("new text"));
        writeAtCall() = saved;
        QVERIFY(corrupted);
        QVERIFY(!r.ok());
        QVERIFY2(r.message().contains(QStringLiteral("原檔案沒有變更")), qPrintable(r.message()));
        QCOMPARE(readBytes(file), before);
        QCOMPARE(readBytes(other), before);
    }

    // The real thing: a process whose file size limit stops the write part way.
    void sizeLimitKeepsOldBytes_data()
    {
        QTest::addColumn<bool>("linked");
        QTest::newRow("replaced through a new file") << false;
        QTest::newRow("written in place") << true;
    }
    void sizeLimitKeepsOldBytes()
    {
        QFETCH(bool, linked);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("c.txt"));
        const QByteArray before = QByteArray("0123456789abcdefghijklmnop\n");
        QCOMPARE(before.size(), 27);
        writeBytes(file, before);
        if (linked)
            QCOMPARE(::link(QFile::encodeName(file).constData(),
                            QFile::encodeName(dir.filePath(QStringLiteral("b.txt"))).constData()),
                     0);

        const Saved saved = saveInChild(file, QString(12238, QLatin1Char('x')),
                                        {QStringLiteral("--fsize"), QStringLiteral("8192")});
        QCOMPARE(saved.exitCode, 1);
        QVERIFY2(saved.message.contains(file) && saved.message.contains(QStringLiteral("上限")),
                 qPrintable(saved.message));
        QCOMPARE(readBytes(file), before);
        QCOMPARE(filesIn(dir.path()).size(), linked ? 2 : 1);

        // Within the limit the same save works.
        QCOMPARE(saveInChild(file, QStringLiteral("short"), {QStringLiteral("--fsize"), QStringLiteral("8192")})
                     .exitCode,
                 0);
        QCOMPARE(readBytes(file), QByteArray("short\r\n"));
    }

    // A full disk: a small memory file system of its own, mounted in a namespace of the
    // test's own where the system lets an ordinary user do that. The file is saved
    // in place while it has a second name, then through a new file.
    void fullDiskKeepsOldBytes()
    {
        QTemporaryDir dir;
        const QString disk = dir.filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(disk));
        const QString textFile = dir.filePath(QStringLiteral("text"));
        writeBytes(textFile, QByteArray(12238, 'x'));
        const QString script =
            QStringLiteral("mount -t tmpfs -o size=64k none \"$1\" 2>/dev/null || exit 77\n"
                           "printf '0123456789abcdefghijklmnop\\n' > \"$1/c.txt\"\n"
                           "ln \"$1/c.txt\" \"$1/link.txt\"\n"
                           "head -c 1000000 /dev/zero > \"$1/fill\" 2>/dev/null\n"
                           "for round in 1 2; do\n"
                           "  \"$2\" \"$1/c.txt\" \"$3\" > \"$4/message$round\"; echo $? > \"$4/exit$round\"\n"
                           "  cp \"$1/c.txt\" \"$4/after$round\"; ls -A \"$1\" > \"$4/files$round\"\n"
                           "  rm -f \"$1/link.txt\"\n"
                           "done\n");
        QProcess child;
        child.start(QStringLiteral("unshare"),
                    {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"), script,
                     QStringLiteral("sh"), disk, QStringLiteral(CONDITIONSAVE), textFile, dir.path()});
        if (!child.waitForFinished(30000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
            QSKIP("no memory file system can be mounted here");

        const QByteArray before("0123456789abcdefghijklmnop\n");
        const QStringList files[] = {{QStringLiteral("c.txt"), QStringLiteral("fill"), QStringLiteral("link.txt")},
                                     {QStringLiteral("c.txt"), QStringLiteral("fill")}};
        for (int round = 1; round <= 2; ++round) {
            const auto result = [&](const char *name) {
                return readBytes(dir.filePath(QString::fromLatin1(name) + QString::number(round)));
            };
            const QString message = QString::fromUtf8(result("message"));
            QCOMPARE(result("exit"), QByteArray("1\n"));
            QVERIFY2(message.contains(QStringLiteral("磁碟空間不足")) &&
                         message.contains(QStringLiteral("原檔案沒有變更")),
                     qPrintable(message));
            QCOMPARE(result("after"), before);
            QCOMPARE(QString::fromUtf8(result("files")).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                     files[round - 1]);
        }
    }

    // Saving keeps what the file is: its other names, its mode, a link stays a link.
    void fileStaysTheSame()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("c.txt"));
        const QString other = dir.filePath(QStringLiteral("copy.set"));
        const QString link = dir.filePath(QStringLiteral("link.txt"));
        writeBytes(file, "old\r\n");
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0640), 0);
        QCOMPARE(::link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()), 0);
        QVERIFY(QFile::link(QStringLiteral("c.txt"), link));
        const ino_t inode = statOf(file).st_ino;

        QVERIFY(saveConditionFile(QFile::encodeName(other), QStringLiteral("新")).ok());
        QCOMPARE(readBytes(file), QByteArray("\xb7\x73\r\n"));
        QVERIFY(saveConditionFile(QFile::encodeName(link), QStringLiteral("via link")).ok());
        QCOMPARE(readBytes(other), QByteArray("via link\r\n"));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(statOf(file).st_ino, inode);
        QCOMPARE(statOf(file).st_nlink, nlink_t(2));
        QCOMPARE(statOf(file).st_mode & 07777, mode_t(0640));

        // With one name the file is replaced, and keeps its mode.
        QVERIFY(QFile::remove(other));
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0604), 0);
        QVERIFY(saveConditionFile(QFile::encodeName(file), QStringLiteral("again")).ok());
        QCOMPARE(readBytes(file), QByteArray("again\r\n"));
        QCOMPARE(statOf(file).st_mode & 07777, mode_t(0604));
        QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("c.txt"), QStringLiteral("link.txt")}));

        // A link to nothing is refused with a word, and stays the link it was.
        const QString dangling = dir.filePath(QStringLiteral("dangling.txt"));
        QVERIFY(QFile::link(QStringLiteral("gone.txt"), dangling));
        const auto refused = saveConditionFile(QFile::encodeName(dangling), QStringLiteral("text"));
        QVERIFY(!refused.ok());
        QVERIFY(refused.message().contains(QStringLiteral("連結")));
        QVERIFY(refused.message().contains(dangling));
        QVERIFY(QFileInfo(dangling).isSymLink());
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("gone.txt"))));
    }

    // A writable file in a folder that takes no new file is written in place; a file of
    // another owner keeps its owner. The superuser runs the save as an ordinary user.
    void folderAndOwnerOfOthers()
    {
        const bool root = ::geteuid() == 0;
        QTemporaryDir dir;
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
        const QString folder = dir.filePath(QStringLiteral("closed"));
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + QStringLiteral("/c.txt");
        writeBytes(file, "old\r\n");
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0664), 0);
        if (root)
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), kNobody, kNobody), 0);
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);

        // The file's owner saves into a folder they cannot write.
        if (root)
            QCOMPARE(::chown(QFile::encodeName(file).constData(), kNobody, kNobody), 0);
        Saved saved = saveInChild(file, QStringLiteral("in place"), root ? asNobody() : QStringList());
        QCOMPARE(saved.exitCode, 0);
        QCOMPARE(readBytes(file), QByteArray("in place\r\n"));
        QCOMPARE(filesIn(folder), QStringList{QStringLiteral("c.txt")});
        QCOMPARE(statOf(file).st_mode & 07777, mode_t(0664));

        if (!root)
            QSKIP("a file of another owner needs the superuser to set up");
        // Another user, allowed to write the file and its folder, leaves the owner as it was.
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
        QCOMPARE(::chown(QFile::encodeName(file).constData(), 4321, 4321), 0);
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0666), 0);
        saved = saveInChild(file, QStringLiteral("another user"), asNobody());
        QCOMPARE(saved.exitCode, 0);
        QCOMPARE(readBytes(file), QByteArray("another user\r\n"));
        QCOMPARE(statOf(file).st_uid, uid_t(4321));
        QCOMPARE(statOf(file).st_gid, gid_t(4321));
        QCOMPARE(filesIn(folder), QStringList{QStringLiteral("c.txt")});

        // The superuser's own save keeps the owner too.
        QVERIFY(saveConditionFile(QFile::encodeName(file), QStringLiteral("root")).ok());
        QCOMPARE(statOf(file).st_uid, uid_t(4321));
        QCOMPARE(statOf(file).st_mode & 07777, mode_t(0666));
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    }
};

REGISTER_TEST(TestConditionSave)

#include "conditionsave_test.moc"
