// Condition files without the window: path, reading, writing, refusals.
#include "tests.h"

#include "text/big5.h"
#include "ui/logic/conditionfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace morvessa;

namespace {
const QByteArray kFever = QByteArray::fromHex("b56fbcf6");         // 發熱
const QByteArray kXuGongGai = QByteArray::fromHex("b35ca55cbb5c"); // trail bytes 0x5C
} // namespace

class TestConditionFile : public QObject {
    Q_OBJECT

private slots:
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
        QTest::newRow("Big5") << (kFever + "\r\n" + kXuGongGai) << QStringLiteral("發熱\r\n許功蓋\r\n");
    }
    void reading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("c.txt"));
        writeBytes(file, bytes);
        const auto r = loadConditionFile(QFile::encodeName(file));
        QVERIFY2(r.ok(), qPrintable(r.message()));
        QCOMPARE(r->text, text);
        QVERIFY(r->warning.isEmpty());
    }

    void loadThenSaveAddsOneLineEnd_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("ends in CR LF") << (kFever + "\r\nb\r\n") << (kFever + "\r\nb\r\n\r\n");
        QTest::newRow("no final CR LF") << QByteArray("a\r\nb") << QByteArray("a\r\nb\r\n\r\n");
        QTest::newRow("empty") << QByteArray() << QByteArray("\r\n");
        QTest::newRow("lone LF kept") << QByteArray("a\nb\r\n") << QByteArray("a\nb\r\n\r\n");
        QTest::newRow("user-defined characters")
            << (userDefinedBig5() + "\r\n") << (userDefinedBig5() + "\r\n\r\n");
        QTest::newRow("trail byte 0x5C") << kXuGongGai << (kXuGongGai + "\r\n\r\n");
    }
    void loadThenSaveAddsOneLineEnd()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, saved);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("c.set"));
        writeBytes(file, bytes);
        const auto loaded = loadConditionFile(QFile::encodeName(file));
        QVERIFY(loaded.ok());
        QVERIFY2(loaded->warning.isEmpty(), qPrintable(loaded->warning));
        const Result<void> r = saveConditionFile(QFile::encodeName(file), loaded->text);
        QVERIFY2(r.ok(), qPrintable(r.message()));
        QCOMPARE(readBytes(file), saved);
    }

    void userDefinedCharactersArePrivateUse()
    {
        const QString text = big5Decode(userDefinedBig5());
        QCOMPARE(text.size(), userDefinedBig5().size() / 2);
        for (const QChar c : text)
            QVERIFY2(c.category() == QChar::Other_PrivateUse, qPrintable(QString::number(c.unicode(), 16)));
    }

    // Bytes that are not Big5 load as Big5 reads them, with a message that says so and
    // that they cannot go back into the file unchanged; the save of that text is refused.
    void notBig5Loads_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("said");
        QTest::newRow("UTF-8") << QByteArray("\xe7\x99\xbc\xe7\x86\xb1\r\n\xe9\xa0\xad\xe7\x97\x9b")
                               << QStringLiteral("可能是 UTF-8");
        QTest::newRow("stray bytes") << QByteArray("a\xB5\r\nb") << QStringLiteral("替代字元");
    }
    void notBig5Loads()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("u.txt"));
        writeBytes(file, bytes);
        const auto r = loadConditionFile(QFile::encodeName(file));
        QVERIFY(r.ok());
        QVERIFY2(r->warning.contains(file) && r->warning.contains(said) &&
                     r->warning.contains(QStringLiteral("無法以 Big5 原樣存回")),
                 qPrintable(r->warning));
        QVERIFY(!r->warning.contains(QStringLiteral("會改變")));
        const Result<void> saved = saveConditionFile(QFile::encodeName(file), r->text);
        QVERIFY(!saved.ok());
        QCOMPARE(readBytes(file), bytes);
    }

    // What cannot be read as a condition file is turned down with a message naming it,
    // without waiting on a pipe.
    void unreadable_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said");
        QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("不是檔案");
        QTest::newRow("pipe") << QStringLiteral("pipe") << QStringLiteral("不是檔案");
        QTest::newRow("too large") << QStringLiteral("large") << QStringLiteral("MB");
        QTest::newRow("missing") << QStringLiteral("missing") << QStringLiteral("找不到");
    }
    void unreadable()
    {
        QFETCH(QString, kind);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("c.txt"));
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(file));
        else if (kind == QLatin1String("pipe"))
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        else if (kind == QLatin1String("large")) {
            writeBytes(file, "x");
            QVERIFY(QFile::resize(file, kConditionFileLimit + 1));
        }
        const auto r = loadConditionFile(QFile::encodeName(file));
        QVERIFY(!r.ok());
        QVERIFY2(r.message().contains(file) && r.message().contains(said), qPrintable(r.message()));
    }

    void refusedSaveLeavesFile_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("shown"); // what the message must show
        QTest::newRow("simplified character") << QStringLiteral("发热\r\n") << false << QStringLiteral("发");
        QTest::newRow("emoji on line 2")
            << QStringLiteral("發熱\r\n頭痛😀\r\n") << false << QStringLiteral("第 2 行第 3 個字「😀」（U+1F600）");
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
        const Result<void> r = saveConditionFile(QFile::encodeName(file), text);
        QVERIFY(!r.ok());
        QVERIFY2(r.message().contains(shown), qPrintable(r.message()));
        QCOMPARE(readBytes(file), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("keep.txt")});
    }

    void missingFiles()
    {
        QTemporaryDir dir;
        const auto load = loadConditionFile(QFile::encodeName(dir.filePath(QStringLiteral("gone.txt"))));
        QVERIFY(!load.ok());
        QVERIFY(load.message().contains(QStringLiteral("找不到")));

        // Saving creates a missing file, but not a missing folder.
        const QString created = dir.filePath(QStringLiteral("new.txt"));
        QVERIFY(saveConditionFile(QFile::encodeName(created), QStringLiteral("a")).ok());
        QCOMPARE(readBytes(created), QByteArray("a\r\n"));
        const Result<void> nofolder = saveConditionFile(
            QFile::encodeName(dir.filePath(QStringLiteral("gone/new.txt"))), QStringLiteral("a"));
        QVERIFY(!nofolder.ok());
        QVERIFY(!nofolder.message().isEmpty());
    }

    void editorRepresentation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("editor");
        QTest::newRow("lines") << QStringLiteral("a\r\nb\r\n") << QStringLiteral("a\r\nb\r\n");
        QTest::newRow("lone LF") << QStringLiteral("a\nb\r\n\n\r\n") << QStringLiteral("a\u2028b\r\n\u2028\r\n");
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
};

REGISTER_TEST(TestConditionFile)

#include "conditionfile_test.moc"
