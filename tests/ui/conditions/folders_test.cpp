// What the condition window lists, without the window: names by their bytes, the
// condition files and subfolders of a folder, the drives.
#include "tests.h"

#include "ui/logic/conditionfile.h"
#include "ui/logic/drives.h"
#include "ui/logic/filenames.h"
#include "ui/logic/folderlisting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace morvessa;

namespace {
const QByteArray kFeverBig5 = QByteArray::fromHex("b56fbcf6"); // 發熱
const QByteArray kFeverUtf8 = QStringLiteral("發熱").toUtf8();

// Creates a file whose name is the given bytes, which Qt's paths cannot spell.
void createFile(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    ::close(fd);
}

QStringList shown(const QList<ListedName> &names)
{
    QStringList out;
    for (const ListedName &n : names)
        out << n.shown;
    return out;
}
} // namespace

class TestFolders : public QObject {
    Q_OBJECT

private slots:
    void names_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ASCII") << QByteArray("a b.set") << QStringLiteral("a b.set");
        QTest::newRow("UTF-8") << (kFeverUtf8 + ".txt") << QStringLiteral("發熱.txt");
        QTest::newRow("Big5") << (kFeverBig5 + ".txt") << QStringLiteral("發熱.txt");
        QTest::newRow("Big5, trail byte 0x5C") << QByteArray::fromHex("b35ca55c") << QStringLiteral("許功");
        QTest::newRow("neither") << QByteArray("a\xff\xfe.txt") << QStringLiteral("a\uFFFD\uFFFD.txt");
    }
    void names()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, shown);
        QCOMPARE(shownName(name), shown);
        QCOMPARE(shownPath("/tmp/" + name + "/" + kFeverBig5),
                 QStringLiteral("/tmp/") + shown + QStringLiteral("/發熱"));
    }

    void paths()
    {
        QCOMPARE(childPath("/home/cond", "a.txt"), QByteArray("/home/cond/a.txt"));
        QCOMPARE(childPath("/", "a.txt"), QByteArray("/a.txt"));
        QCOMPARE(cleanFolder("/a//b/./c/../" + kFeverBig5 + "/"), "/a/b/" + kFeverBig5);
        QCOMPARE(parentFolder("/a/b"), QByteArray("/a"));
        QCOMPARE(parentFolder("/a"), QByteArray("/"));
        QCOMPARE(lastName("/a/" + kFeverBig5), kFeverBig5);
        QCOMPARE(lastName("/"), QByteArray("/"));
    }

    // Names from a Windows zip are Big5: they are listed decoded, and the file opens
    // and saves through its own bytes.
    void big5NamesListedAndOpened()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        const QByteArray sub = childPath(folder, kFeverBig5);
        QCOMPARE(::mkdir(sub.constData(), 0755), 0);
        const QByteArray file = childPath(sub, kFeverBig5 + ".TXT");
        createFile(file, kFeverBig5 + "\r\n");
        createFile(childPath(sub, "a.txt"), "a");
        createFile(childPath(sub, "z.set"), "z");
        createFile(childPath(sub, ".hidden.txt"), "h");
        createFile(childPath(sub, "x.doc"), "x");
        QCOMPARE(::mkfifo(childPath(sub, "pipe.txt").constData(), 0600), 0);
        QCOMPARE(::symlink("gone", childPath(sub, "broken.txt").constData()), 0);
        QCOMPARE(::symlink("a.txt", childPath(sub, "link.set").constData()), 0);
        QCOMPARE(::mkdir(childPath(sub, "d.txt").constData(), 0755), 0);
        QCOMPARE(::mkdir(childPath(sub, ".git").constData(), 0755), 0);

        QCOMPARE(shown(subfolders(folder)), QStringList{QStringLiteral("發熱")});
        QCOMPARE(shown(subfolders(sub)), QStringList{QStringLiteral("d.txt")});
        const QList<ListedName> files = conditionFiles(sub);
        QCOMPARE(shown(files), (QStringList{QStringLiteral("a.txt"), QStringLiteral("link.set"),
                                            QStringLiteral("z.set"), QStringLiteral("發熱.TXT")}));
        QCOMPARE(files.last().name, kFeverBig5 + ".TXT");

        const auto loaded = loadConditionFile(childPath(sub, files.last().name));
        QVERIFY2(loaded.ok(), qPrintable(loaded.message()));
        QCOMPARE(loaded->text, QStringLiteral("發熱\r\n"));
        QVERIFY(saveConditionFile(file, loaded->text).ok());
        const auto again = loadConditionFile(file);
        QVERIFY2(again.ok(), qPrintable(again.message()));
        QCOMPARE(again->text, QStringLiteral("發熱\r\n\r\n"));

        // A failure names the file as the list shows it.
        const auto gone = loadConditionFile(childPath(sub, kFeverBig5 + ".set"));
        QVERIFY2(gone.message().contains(QStringLiteral("/發熱/發熱.set")), qPrintable(gone.message()));

        // The process's current folder may be one of them too.
        const QByteArray start = currentFolder();
        QVERIFY(setCurrentFolder(sub));
        QCOMPARE(currentFolder(), sub);
        QVERIFY(setCurrentFolder(start));
    }

    // The drive list: the root, the home folder, then the mounts that hold the user's
    // files and that the user can read, by mount point; never the system's own.
    void drivesFromMounts()
    {
        const QList<Mount> mounts = {
            {QStringLiteral("/"), "ext4", QString(), "/dev/sda1"},
            {QStringLiteral("/srv/jail/tmp/.hidden"), "ext4", QString(), "/dev/sdb1"},
            {QStringLiteral("/srv/bound"), "ext4", QString(), "/dev/sda1"},
            {QStringLiteral("/proc"), "proc", QString(), "proc"},
            {QStringLiteral("/sys/fs/cgroup/cpu"), "cgroup", QString(), "cgroup"},
            {QStringLiteral("/dev/shm"), "tmpfs", QString(), "tmpfs"},
            {QStringLiteral("/mnt/scratch/tools"), "tmpfs", QString(), "tmpfs"},
            {QStringLiteral("/mnt/ramdisk"), "tmpfs", QString(), "tmpfs"},
            {QStringLiteral("/usr/share/drivers"), "9p", QString(), "drivers"},
            {QStringLiteral("/boot/efi"), "vfat", QString(), "/dev/sda2"},
            {QStringLiteral("/snap/core/123"), "squashfs", QString(), "/dev/loop0"},
            {QStringLiteral("/etc/hosts"), "ext4", QString(), "/dev/sdc1"},
            {QStringLiteral("/var/lib/docker/overlay2/x/merged"), "overlay", QString(), "overlay"},
            {QStringLiteral("/run/user/1000"), "tmpfs", QString(), "tmpfs"},
            {QStringLiteral("/run/media/u/CARD"), "exfat", QStringLiteral("CARD"), "/dev/mmcblk0p1"},
            {QStringLiteral("/mnt/share"), "9p", QString(), "share"},
            {QStringLiteral("/media/u/USB"), "vfat", QStringLiteral("USB"), "/dev/sdd1"},
            {QStringLiteral("/media/u/USB"), "vfat", QStringLiteral("USB"), "/dev/sdd1"},
            {QStringLiteral("/media/u/LOCKED"), "ext4", QString(), "/dev/sde1"},
            {QStringLiteral("/data"), "ext4", QString(), "/dev/sdf1"},
            {QStringLiteral("/home/u/share"), "cifs", QString(), "//server/share"},
        };
        const auto readable = [](const QString &root) { return !root.endsWith(QLatin1String("LOCKED")); };
        const QList<Drive> drives = drivesOf(mounts, QStringLiteral("/home/u"), readable);
        QStringList roots;
        for (const Drive &d : drives)
            roots << d.root;
        QCOMPARE(roots, (QStringList{QStringLiteral("/"), QStringLiteral("/home/u"), QStringLiteral("/data"),
                                     QStringLiteral("/home/u/share"), QStringLiteral("/media/u/USB"),
                                     QStringLiteral("/mnt/share"), QStringLiteral("/run/media/u/CARD")}));
        QCOMPARE(drives[4].display(), QStringLiteral("/media/u/USB  [USB]"));
        QCOMPARE(drives[0].display(), QStringLiteral("/"));
        // The order does not depend on the mount table's.
        QList<Mount> reversed(mounts.rbegin(), mounts.rend());
        QCOMPARE(drivesOf(reversed, QStringLiteral("/home/u"), readable).size(), drives.size());
        QCOMPARE(drivesOf(reversed, QStringLiteral("/home/u"), readable)[2].root, QStringLiteral("/data"));

        QCOMPARE(driveOf(drives, QStringLiteral("/")), 0);
        QCOMPARE(driveOf(drives, QStringLiteral("/home/u/x")), 1);
        QCOMPARE(driveOf(drives, QStringLiteral("/home/u/share/cond")), 3);
        QCOMPARE(driveOf(drives, QStringLiteral("/media/u/USB2")), 0);
        QCOMPARE(driveOf(drives, QStringLiteral("/media/u/USB")), 4);
    }

    void systemDrives()
    {
        const QList<Drive> drives = mountedDrives();
        QVERIFY(!drives.isEmpty());
        QCOMPARE(drives.first().root, QStringLiteral("/"));
        QVERIFY(driveOf(drives, QDir::homePath()) >= 0);
        for (const Drive &d : drives)
            QVERIFY2(driveReady(d.root), qPrintable(d.root));
    }

    void driveKeepsItsFolder()
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        const QByteArray nativeRoot = QFile::encodeName(root);
        QVERIFY(QDir(root).mkpath(QStringLiteral("a/b")));
        QCOMPARE(driveFolder(root), nativeRoot);
        rememberDriveFolder(root, nativeRoot + "/a/b");
        QCOMPARE(driveFolder(root), nativeRoot + "/a/b");
        QVERIFY(QDir(root + QStringLiteral("/a/b")).removeRecursively());
        QCOMPARE(driveFolder(root), nativeRoot + "/a");
    }
};

REGISTER_TEST(TestFolders)

#include "folders_test.moc"
