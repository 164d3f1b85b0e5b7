// The condition file window: lists, cascade, load and save through the controls.
#include "tests.h"

#include "ui/drivelist.h"
#include "ui/filelist.h"
#include "ui/folderlist.h"
#include "ui/frmbrowser.h"
#include "ui/logic/folderlisting.h"
#include "ui/uihooks.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItemIterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace morvessa;

namespace {
const QByteArray kFever = QByteArray::fromHex("b56fbcf6");    // 發熱
const QByteArray kHeadache = QByteArray::fromHex("c059b568"); // 頭痛
} // namespace

class TestFrmBrowser : public QObject {
    Q_OBJECT

    QString m_startFolder;
    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_messages;
    QString m_notReady; // a drive that the ready test turns down

    QString tmp(const QString &name = QString()) const
    {
        return name.isEmpty() ? m_dir->path() : m_dir->path() + QLatin1Char('/') + name;
    }
    template <typename T>
    static T *child(frmBrowser *w, const char *name)
    {
        T *c = w->findChild<T *>(QString::fromLatin1(name));
        if (!c)
            qFatal("no control %s", name);
        return c;
    }
    static DriveList *drvList(frmBrowser *w) { return child<DriveList>(w, "drvList"); }
    static FolderList *dirList(frmBrowser *w) { return child<FolderList>(w, "dirList"); }
    static FileList *filList(frmBrowser *w) { return child<FileList>(w, "filList"); }
    static QPlainTextEdit *txtBrowser(frmBrowser *w) { return child<QPlainTextEdit>(w, "txtBrowser"); }

    static QStringList files(frmBrowser *w)
    {
        QStringList names;
        for (int i = 0; i < filList(w)->count(); ++i)
            names << filList(w)->item(i)->text();
        return names;
    }
    static QListWidgetItem *fileItem(frmBrowser *w, const QString &name)
    {
        const auto items = filList(w)->findItems(name, Qt::MatchExactly);
        return items.isEmpty() ? nullptr : items.first();
    }
    // What a double-click delivers: a click, then the double-click event.
    static void doubleClick(QWidget *viewport, QPoint at)
    {
        QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    }
    static void clickFile(frmBrowser *w, const QString &name)
    {
        QListWidgetItem *item = fileItem(w, name);
        QVERIFY2(item, qPrintable(name));
        QTest::mouseClick(filList(w)->viewport(), Qt::LeftButton, {}, filList(w)->visualItemRect(item).center());
    }
    static void loadFile(frmBrowser *w, const QString &name)
    {
        QListWidgetItem *item = fileItem(w, name);
        QVERIFY2(item, qPrintable(name));
        doubleClick(filList(w)->viewport(), filList(w)->visualItemRect(item).center());
    }
    static void save(frmBrowser *w) { QTest::mouseClick(child<QPushButton>(w, "Command1"), Qt::LeftButton); }
    static void openFolder(frmBrowser *w, const QString &name)
    {
        FolderList *list = dirList(w);
        for (QTreeWidgetItemIterator it(list); *it; ++it) {
            if ((*it)->text(0) == name) {
                doubleClick(list->viewport(), list->visualItemRect(*it).center());
                return;
            }
        }
        QFAIL(qPrintable(QStringLiteral("no folder ") + name));
    }
    static void chooseDrive(frmBrowser *w, Qt::Key direction)
    {
        drvList(w)->setFocus();
        QTest::keyClick(drvList(w), direction);
    }
    static void closeBrowser()
    {
        if (frmBrowser *w = frmBrowser::instance())
            w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!frmBrowser::instance());
    }

private slots:
    void initTestCase()
    {
        m_startFolder = QDir::currentPath();
        setMessageHandler([this](const QString &text, MessageKind) { m_messages << text; });
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(m_dir->path()));
        m_messages.clear();
        m_notReady.clear();
        const QString media = tmp(QStringLiteral("media"));
        DriveList::source() = [media] {
            return QList<Drive>{{QStringLiteral("/"), QString()}, {media, QStringLiteral("USB")}};
        };
        DriveList::ready() = [this](const QString &root) { return root != m_notReady && QFileInfo(root).isDir(); };
    }
    void cleanup()
    {
        closeBrowser();
        QDir::setCurrent(m_startFolder);
        m_dir.reset();
    }
    void cleanupTestCase()
    {
        DriveList::source() = mountedDrives;
        DriveList::ready() = driveReady;
        setMessageHandler({});
    }

    void opensOnCurrentFolder()
    {
        QVERIFY(QDir().mkpath(tmp(QStringLiteral("sub"))));
        QVERIFY(QDir().mkpath(tmp(QStringLiteral("d.txt"))));
        for (const char *name : {"x.txt", "Y.TXT", "z.set", "x.doc", ".h.txt", "set", "a.txt.bak"})
            writeBytes(tmp(QString::fromLatin1(name)), "a");
        QVERIFY(QFile::link(tmp(QStringLiteral("gone")), tmp(QStringLiteral("broken.txt"))));
        QCOMPARE(mkfifo(QFile::encodeName(tmp(QStringLiteral("pipe.txt"))).constData(), 0600), 0);

        frmBrowser *w = frmBrowser::showBrowser();
        QCOMPARE(w->windowTitle(), QStringLiteral("全文檢索條件 瀏覽複製 編輯更新存檔"));
        QCOMPARE(files(w),
                 (QStringList{QStringLiteral("x.txt"), QStringLiteral("Y.TXT"), QStringLiteral("z.set")}));
        QCOMPARE(filList(w)->path(), tmp());
        QCOMPARE(dirList(w)->path(), tmp());
        QCOMPARE(drvList(w)->drive(), QStringLiteral("/"));
        QVERIFY(w->text().isEmpty());
        QCOMPARE(w->focusWidget(), filList(w));

        // Ancestors down to the folder, which is current, then its subfolders one level deeper.
        QTreeWidgetItem *current = dirList(w)->currentItem();
        QCOMPARE(current->text(0), QFileInfo(tmp()).fileName());
        QStringList subfolders;
        for (int i = 0; i < current->childCount(); ++i)
            subfolders << current->child(i)->text(0);
        QCOMPARE(subfolders, (QStringList{QStringLiteral("d.txt"), QStringLiteral("sub")}));
        int depth = 0;
        for (QTreeWidgetItem *up = current; up->parent(); up = up->parent())
            ++depth;
        QCOMPARE(depth, tmp().count(QLatin1Char('/')));
    }

    void singleInstanceKeepsState()
    {
        frmBrowser *w = frmBrowser::showBrowser();
        w->setText(QStringLiteral("條件\r\n"));
        QCOMPARE(frmBrowser::showBrowser(), w);
        QCOMPARE(w->text(), QStringLiteral("條件\r\n"));
        int windows = 0;
        for (QWidget *top : QApplication::topLevelWidgets())
            windows += qobject_cast<frmBrowser *>(top) != nullptr;
        QCOMPARE(windows, 1);
        QVERIFY(w->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(!w->isModal());
    }

    void loadAndSave()
    {
        writeBytes(tmp(QStringLiteral("a.txt")), kFever + "\r\n" + kHeadache);
        writeBytes(tmp(QStringLiteral("b.txt")), "old");
        writeBytes(tmp(QStringLiteral("lf.set")), "a\nb\r\n\r\n");
        frmBrowser *w = frmBrowser::showBrowser();

        loadFile(w, QStringLiteral("a.txt"));
        QCOMPARE(w->windowTitle(), tmp(QStringLiteral("a.txt")));
        QCOMPARE(w->text(), QStringLiteral("發熱\r\n頭痛\r\n"));

        // Load A, select B, save: B gets A's text, the caption names B.
        clickFile(w, QStringLiteral("b.txt"));
        save(w);
        QCOMPARE(readBytes(tmp(QStringLiteral("b.txt"))), kFever + "\r\n" + kHeadache + "\r\n\r\n");
        QCOMPARE(readBytes(tmp(QStringLiteral("a.txt"))), kFever + "\r\n" + kHeadache);
        QCOMPARE(w->windowTitle(), tmp(QStringLiteral("b.txt")));

        // A lone LF stays a character of its line through the text box.
        loadFile(w, QStringLiteral("lf.set"));
        QCOMPARE(w->text(), QStringLiteral("a\nb\r\n\r\n"));
        QCOMPARE(txtBrowser(w)->document()->blockCount(), 3);
        save(w);
        QCOMPARE(readBytes(tmp(QStringLiteral("lf.set"))), QByteArray("a\nb\r\n\r\n\r\n"));

        // Typing: Enter and Shift+Enter both end a line with CR LF.
        loadFile(w, QStringLiteral("a.txt"));
        txtBrowser(w)->moveCursor(QTextCursor::End);
        txtBrowser(w)->setFocus();
        for (const QChar c : QStringLiteral("發熱"))
            QTest::sendKeyEvent(QTest::Click, txtBrowser(w), Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::keyClick(txtBrowser(w), Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(txtBrowser(w), QStringLiteral("z"));
        QTest::keyClick(txtBrowser(w), Qt::Key_Return);
        save(w);
        QCOMPARE(readBytes(tmp(QStringLiteral("a.txt"))),
                 kFever + "\r\n" + kHeadache + "\r\n" + kFever + "\r\nz\r\n\r\n");
        QVERIFY(m_messages.isEmpty());
    }

    void userDefinedCharactersThroughTheWindow()
    {
        writeBytes(tmp(QStringLiteral("u.txt")), userDefinedBig5() + "\r\n" + kFever);
        frmBrowser *w = frmBrowser::showBrowser();
        loadFile(w, QStringLiteral("u.txt"));
        save(w);
        QCOMPARE(readBytes(tmp(QStringLiteral("u.txt"))), userDefinedBig5() + "\r\n" + kFever + "\r\n\r\n");
        QVERIFY(m_messages.isEmpty());
    }

    // A folder and a file with Big5 names (from a Windows zip) are listed by their
    // decoded names and opened, loaded and saved through their own bytes.
    void big5NamesThroughTheWindow()
    {
        const QByteArray folder = QFile::encodeName(tmp()) + '/' + kFever;
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        const QByteArray file = folder + '/' + kHeadache + ".txt";
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, kHeadache.constData(), 4), ssize_t(4));
        ::close(fd);

        frmBrowser *w = frmBrowser::showBrowser();
        openFolder(w, QStringLiteral("發熱"));
        QCOMPARE(dirList(w)->path(), tmp(QStringLiteral("發熱")));
        QCOMPARE(files(w), QStringList{QStringLiteral("頭痛.txt")});
        loadFile(w, QStringLiteral("頭痛.txt"));
        QCOMPARE(w->text(), QStringLiteral("頭痛\r\n"));
        QCOMPARE(w->windowTitle(), tmp(QStringLiteral("發熱/頭痛.txt")));
        save(w);
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char('\n'))));
        QByteArray saved(64, '\0');
        const int in = ::open(file.constData(), O_RDONLY);
        QVERIFY(in >= 0);
        saved.resize(::read(in, saved.data(), size_t(saved.size())));
        ::close(in);
        QCOMPARE(saved, kHeadache + "\r\n\r\n");
        QCOMPARE(currentFolder(), folder);
    }

    void foldersAndDrivesCascade()
    {
        QVERIFY(QDir().mkpath(tmp(QStringLiteral("sub"))));
        QVERIFY(QDir().mkpath(tmp(QStringLiteral("media/m"))));
        writeBytes(tmp(QStringLiteral("sub/c.txt")), "c");
        writeBytes(tmp(QStringLiteral("media/usb.txt")), "u");
        frmBrowser *w = frmBrowser::showBrowser();
        QCOMPARE(drvList(w)->count(), 2);
        QCOMPARE(drvList(w)->itemText(1), tmp(QStringLiteral("media  [USB]")));

        auto agree = [&](const QString &folder, const QString &drive) {
            QCOMPARE(dirList(w)->path(), folder);
            QCOMPARE(filList(w)->path(), folder);
            QCOMPARE(QDir::currentPath(), folder);
            QCOMPARE(drvList(w)->drive(), drive);
        };

        openFolder(w, QStringLiteral("sub"));
        agree(tmp(QStringLiteral("sub")), QStringLiteral("/"));
        QCOMPARE(files(w), QStringList{QStringLiteral("c.txt")});

        // Another drive: its root the first time, then the folder last used on it.
        chooseDrive(w, Qt::Key_Down);
        agree(tmp(QStringLiteral("media")), tmp(QStringLiteral("media")));
        QCOMPARE(files(w), QStringList{QStringLiteral("usb.txt")});
        openFolder(w, QStringLiteral("m"));
        chooseDrive(w, Qt::Key_Up);
        agree(tmp(QStringLiteral("sub")), QStringLiteral("/"));
        chooseDrive(w, Qt::Key_Down);
        agree(tmp(QStringLiteral("media/m")), tmp(QStringLiteral("media")));

        // Going up the folder list out of the drive shows the drive that holds the folder.
        openFolder(w, QFileInfo(tmp()).fileName());
        agree(tmp(), QStringLiteral("/"));

        // A drive that is not ready: a message, and everything stays where it was.
        m_notReady = tmp(QStringLiteral("media"));
        chooseDrive(w, Qt::Key_Down);
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages.first().contains(QStringLiteral("尚未就緒")));
        agree(tmp(), QStringLiteral("/"));
        QCOMPARE(drvList(w)->currentIndex(), 0);
    }

    void reopenStartsEmptyOnLastFolder()
    {
        QVERIFY(QDir().mkpath(tmp(QStringLiteral("sub"))));
        writeBytes(tmp(QStringLiteral("sub/c.txt")), "c");
        frmBrowser *w = frmBrowser::showBrowser();
        openFolder(w, QStringLiteral("sub"));
        loadFile(w, QStringLiteral("c.txt"));
        QCOMPARE(w->text(), QStringLiteral("c\r\n"));
        closeBrowser();

        w = frmBrowser::showBrowser();
        QVERIFY(w->text().isEmpty());
        QCOMPARE(w->windowTitle(), frmBrowser::designedCaption());
        QCOMPARE(dirList(w)->path(), tmp(QStringLiteral("sub")));
        QCOMPARE(files(w), QStringList{QStringLiteral("c.txt")});
        QVERIFY(filList(w)->fileName().isEmpty());
    }

    // A file chosen in one folder chooses nothing in the next, reached through the folder
    // list or a drive: a save there asks for a file instead of writing into the one of
    // the same name.
    void choiceStaysInItsFolder()
    {
        for (const char *folder : {"one", "two", "media"}) {
            QVERIFY(QDir().mkpath(tmp(QString::fromLatin1(folder))));
            writeBytes(tmp(QString::fromLatin1(folder) + QStringLiteral("/z.set")), folder);
        }
        frmBrowser *w = frmBrowser::showBrowser();
        openFolder(w, QStringLiteral("one"));
        loadFile(w, QStringLiteral("z.set"));
        QCOMPARE(w->text(), QStringLiteral("one\r\n"));

        auto saveAsksForAFile = [&](const QString &folder) {
            QCOMPARE(filList(w)->path(), tmp(folder));
            QVERIFY(filList(w)->fileName().isEmpty());
            save(w);
            QCOMPARE(m_messages.size(), 1);
            QVERIFY2(m_messages.takeFirst().contains(QStringLiteral("選擇")), qPrintable(folder));
            QCOMPARE(readBytes(tmp(folder + QStringLiteral("/z.set"))), folder.toLatin1());
        };
        openFolder(w, QFileInfo(tmp()).fileName());
        openFolder(w, QStringLiteral("two"));
        saveAsksForAFile(QStringLiteral("two"));

        clickFile(w, QStringLiteral("z.set"));
        chooseDrive(w, Qt::Key_Down);
        saveAsksForAFile(QStringLiteral("media"));
        QCOMPARE(readBytes(tmp(QStringLiteral("one/z.set"))), QByteArray("one"));
    }

    // Each failure shows a message, leaves every file as it was and the window usable.
    void failuresLeaveFilesAndWindow()
    {
        QVERIFY(QDir().mkpath(tmp(QStringLiteral("sub"))));
        const QByteArray a = kFever + "\r\n";
        const QByteArray b = kHeadache + "\r\n";
        writeBytes(tmp(QStringLiteral("a.txt")), a);
        writeBytes(tmp(QStringLiteral("b.txt")), b);
        writeBytes(tmp(QStringLiteral("gone.txt")), "x");
        frmBrowser *w = frmBrowser::showBrowser();
        auto expectMessage = [&](const QString &part) {
            QCOMPARE(m_messages.size(), 1);
            QVERIFY2(m_messages.first().contains(part), qPrintable(m_messages.first()));
            m_messages.clear();
            QCOMPARE(readBytes(tmp(QStringLiteral("a.txt"))), a);
            QCOMPARE(readBytes(tmp(QStringLiteral("b.txt"))), b);
        };

        // Nothing selected.
        w->setText(QStringLiteral("unsaved\r\n"));
        doubleClick(filList(w)->viewport(), QPoint(5, filList(w)->viewport()->height() - 5));
        expectMessage(QStringLiteral("選擇"));
        save(w);
        expectMessage(QStringLiteral("選擇"));
        QCOMPARE(w->windowTitle(), frmBrowser::designedCaption());
        QCOMPARE(w->text(), QStringLiteral("unsaved\r\n"));

        // The file has gone since it was listed.
        clickFile(w, QStringLiteral("gone.txt"));
        QVERIFY(QFile::remove(tmp(QStringLiteral("gone.txt"))));
        loadFile(w, QStringLiteral("gone.txt"));
        expectMessage(QStringLiteral("找不到"));
        QCOMPARE(w->text(), QStringLiteral("unsaved\r\n"));
        QVERIFY(!files(w).contains(QStringLiteral("gone.txt")));

        // Text Big5 cannot hold.
        w->setText(QStringLiteral("发热\r\n"));
        clickFile(w, QStringLiteral("b.txt"));
        save(w);
        expectMessage(QStringLiteral("「发」"));

        // A read-only file.
        QFile::setPermissions(tmp(QStringLiteral("b.txt")), QFile::ReadOwner | QFile::ReadGroup);
        w->setText(QStringLiteral("發熱\r\n"));
        save(w);
        expectMessage(QStringLiteral("唯讀"));
        QFile::setPermissions(tmp(QStringLiteral("b.txt")), QFile::ReadOwner | QFile::WriteOwner);

        // A folder that has gone since it was listed.
        QVERIFY(QDir().rmdir(tmp(QStringLiteral("sub"))));
        openFolder(w, QStringLiteral("sub"));
        expectMessage(QStringLiteral("找不到資料夾"));
        QCOMPARE(dirList(w)->path(), tmp());
        QCOMPARE(dirList(w)->currentItem()->childCount(), 0);

        // Still usable.
        loadFile(w, QStringLiteral("a.txt"));
        clickFile(w, QStringLiteral("b.txt"));
        save(w);
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(readBytes(tmp(QStringLiteral("b.txt"))), a + "\r\n");
    }

    // Permissions mean nothing to the superuser, so this runs only for ordinary users.
    void withoutPermission()
    {
        if (geteuid() == 0)
            QSKIP("permissions do not apply to root");
        QVERIFY(QDir().mkpath(tmp(QStringLiteral("closed"))));
        writeBytes(tmp(QStringLiteral("secret.txt")), "s");
        writeBytes(tmp(QStringLiteral("b.txt")), "b");
        frmBrowser *w = frmBrowser::showBrowser();
        QFile::setPermissions(tmp(QStringLiteral("closed")), QFileDevice::Permissions());
        QFile::setPermissions(tmp(QStringLiteral("secret.txt")), QFileDevice::Permissions());

        openFolder(w, QStringLiteral("closed"));
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages.takeFirst().contains(QStringLiteral("權限")), "folder");
        QCOMPARE(dirList(w)->path(), tmp());
        QCOMPARE(QDir::currentPath(), tmp());

        w->setText(QStringLiteral("kept\r\n"));
        loadFile(w, QStringLiteral("secret.txt"));
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages.takeFirst().contains(QStringLiteral("權限")), "file");
        QCOMPARE(w->text(), QStringLiteral("kept\r\n"));

        // A folder that cannot be written: the writable file in it is saved all the same.
        QFile::setPermissions(tmp(), QFile::ReadOwner | QFile::ExeOwner);
        clickFile(w, QStringLiteral("b.txt"));
        save(w);
        QFile::setPermissions(tmp(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(readBytes(tmp(QStringLiteral("b.txt"))), QByteArray("kept\r\n\r\n"));
        QFile::setPermissions(tmp(QStringLiteral("closed")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

REGISTER_TEST(TestFrmBrowser)

#include "frmbrowser_test.moc"
