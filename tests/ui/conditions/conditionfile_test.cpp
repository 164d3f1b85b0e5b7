// Condition files without the window: path, reading, writing, refusals.
#include "tests.h"

#include "ui/logic/conditionfile.h"
#include "ui/logic/drives.h"
#include "text/big5.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace morvessa;

namespace {
const QByteArray kFever = QByteArray::fromHex("b56fbcf6");    // 發熱
const QByteArray kXuGongGai = QByteArray::fromHex("b35ca55cbb5c"); // trail bytes 0x5C
} // namespace

class TestConditionFile : public QObject
{
    Q_OBJECT

private slots:
    void path_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::newRow("below the root") << "/home/cond" << "a.txt" << "/home/cond/a.txt";
        QTest::newRow("root") << "/" << "a.txt" << "/a.txt";
        QTest::newRow("blank in names") << "/zheng sub" << "a b.set" << "/zheng sub/a b.set";
    }
    void path()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QString, path);
        QCOMPARE(conditionFilePath(folder, name), path);
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty file") << QByteArray() << QString();
        QTest::newRow("last line without CR LF") << QByteArray("a\r\nb") << QStringLiteral("a\r\nb\r\n");
        QTest::newRow("last line with CR LF") << QByteArray("a\r\nb\r\n") << QStringLiteral("a\r\nb\r\n");
        QTest::newRow("empty lines kept") << QByteArray("a\r\n\r\nb") << QStringLiteral("a\r\n\r\nb\r\n");
        QTest::newRow("only a line end") << QByteArray("\r\n") << QStringLiteral("\r\n");
        QTest::newRow("lone LF is a character") << QByteArray("a\nb\r\n\n") << QStringLiteral("a\nb\r\n\n\r\n");
        QTest::newRow("lone CR ends a line") << QByteArray("a\rb\r\r\n") << QStringLiteral("a\r\nb\r\n\r\n");
        QTest::newRow("Big5") << (kFever + "\r\n" + kXuGongGai)
                              << QStringLiteral("發熱\r\n許功蓋\r\n");
    }
    void reading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("c.txt"));
        writeBytes(file, bytes);
        const ConditionFileResult r = loadConditionFile(file);
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(r.text, text);
        QVERIFY(r.message.isEmpty());
    }

    void loadThenSaveAddsOneLineEnd_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("ends in CR LF") << (kFever + "\r\nb\r\n") << (kFever + "\r\nb\r\n\r\n");
        QTest::newRow("no final CR LF") << QByteArray("a\r\nb") << QByteArray("a\r\nb\r\n\r\n");
        QTest::newRow("empty") << QByteArray() << QByteArray("\r\n");
        QTest::newRow("lone LF kept") << QByteArray("a\nb\r\n") << QByteArray("a\nb\r\n\r\n");
        QTest::newRow("user-defined characters") << (userDefinedBig5() + "\r\n")
                                                 << (userDefinedBig5() + "\r\n\r\n");
        QTest::newRow("trail byte 0x5C") << kXuGongGai << (kXuGongGai + "\r\n\r\n");
    }
    void loadThenSaveAddsOneLineEnd()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, saved);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("c.set"));
        writeBytes(file, bytes);
        const ConditionFileResult loaded = loadConditionFile(file);
        QVERIFY(loaded.ok);
        QVERIFY2(loaded.message.isEmpty(), qPrintable(loaded.message));
        const ConditionFileResult r = saveConditionFile(file, loaded.text);
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(readBytes(file), saved);
    }

    void userDefinedCharactersArePrivateUse()
    {
        const QString text = big5Decode(userDefinedBig5());
        QCOMPARE(text.size(), userDefinedBig5().size() / 2);
        for (const QChar c : text)
            QVERIFY2(c.category() == QChar::Other_PrivateUse,
                     qPrintable(QString::number(c.unicode(), 16)));
    }

    // Bytes that are not Big5 load with a warning, so the user knows a save changes them.
    void notBig5Warns()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("u.txt"));
        writeBytes(file, QByteArray("a\xB5\r\nb"));
        const ConditionFileResult r = loadConditionFile(file);
        QVERIFY(r.ok);
        QVERIFY(!r.message.isEmpty());
    }

    void refusedSaveLeavesFile_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("shown"); // what the message must show
        QTest::newRow("simplified character") << QStringLiteral("发热\r\n") << false << QStringLiteral("发");
        QTest::newRow("emoji on line 2") << QStringLiteral("發熱\r\n頭痛😀\r\n") << false
                                         << QStringLiteral("第 2 行第 3 個字「😀」（U+1F600）");
        QTest::newRow("read-only file") << QStringLiteral("發熱\r\n") << true << QStringLiteral("唯讀");
    }
    void refusedSaveLeavesFile()
    {
        QFETCH(QString, text);
        QFETCH(bool, readOnly);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("keep.txt"));
        const QByteArray before = kFever + "\r\n";
        writeBytes(file, before);
        if (readOnly)
            QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        const ConditionFileResult r = saveConditionFile(file, text);
        QVERIFY(!r.ok);
        QVERIFY2(r.message.contains(shown), qPrintable(r.message));
        QCOMPARE(readBytes(file), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("keep.txt")});
    }

    void missingFiles()
    {
        QTemporaryDir dir;
        const ConditionFileResult load = loadConditionFile(dir.filePath(QStringLiteral("gone.txt")));
        QVERIFY(!load.ok);
        QVERIFY(load.message.contains(QStringLiteral("找不到")));

        // Saving creates a missing file, but not a missing folder.
        const QString created = dir.filePath(QStringLiteral("new.txt"));
        QVERIFY(saveConditionFile(created, QStringLiteral("a")).ok);
        QCOMPARE(readBytes(created), QByteArray("a\r\n"));
        const ConditionFileResult nofolder =
            saveConditionFile(dir.filePath(QStringLiteral("gone/new.txt")), QStringLiteral("a"));
        QVERIFY(!nofolder.ok);
        QVERIFY(!nofolder.message.isEmpty());
    }

    void editorRepresentation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("editor");
        QTest::newRow("lines") << QStringLiteral("a\r\nb\r\n") << QStringLiteral("a\r\nb\r\n");
        QTest::newRow("lone LF") << QStringLiteral("a\nb\r\n\n\r\n")
                                 << QStringLiteral("a\u2028b\r\n\u2028\r\n");
    }
    void editorRepresentation()
    {
        QFETCH(QString, text);
        QFETCH(QString, editor);
        QCOMPARE(editorText(text), editor);
        QString raw = editor;
        raw.replace(QStringLiteral("\r\n"), QString(QChar(QChar::ParagraphSeparator)));
        QCOMPARE(textFromEditor(raw), text);
    }

    void drivesOfPaths()
    {
        const QList<Drive> drives = {{QStringLiteral("/"), QString()},
                                     {QStringLiteral("/media/u/USB"), QStringLiteral("USB")},
                                     {QStringLiteral("/home"), QString()}};
        QCOMPARE(driveOf(drives, QStringLiteral("/")), 0);
        QCOMPARE(driveOf(drives, QStringLiteral("/media/u")), 0);
        QCOMPARE(driveOf(drives, QStringLiteral("/media/u/USB")), 1);
        QCOMPARE(driveOf(drives, QStringLiteral("/media/u/USB/cond")), 1);
        QCOMPARE(driveOf(drives, QStringLiteral("/media/u/USB2")), 0);
        QCOMPARE(driveOf(drives, QStringLiteral("/home/a")), 2);
        QCOMPARE(drives[1].display(), QStringLiteral("/media/u/USB  [USB]"));
        QCOMPARE(drives[0].display(), QStringLiteral("/"));
    }

    void driveKeepsItsFolder()
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        QVERIFY(QDir(root).mkpath(QStringLiteral("a/b")));
        QCOMPARE(driveFolder(root), root);
        rememberDriveFolder(root, root + QStringLiteral("/a/b"));
        QCOMPARE(driveFolder(root), root + QStringLiteral("/a/b"));
        QVERIFY(QDir(root + QStringLiteral("/a/b")).removeRecursively());
        QCOMPARE(driveFolder(root), root + QStringLiteral("/a"));
    }

    void mountedDrivesStartAtRoot()
    {
        const QList<Drive> drives = mountedDrives();
        QVERIFY(!drives.isEmpty());
        QCOMPARE(drives.first().root, QStringLiteral("/"));
        QVERIFY(driveOf(drives, QDir::homePath()) >= 0);
    }
};

REGISTER_TEST(TestConditionFile)

#include "conditionfile_test.moc"
