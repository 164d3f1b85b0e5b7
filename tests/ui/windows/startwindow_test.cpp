#include "fixtures.h"

#include "store/connstring.h"
#include "ui/frmini.h"
#include "ui/logic/webbrowser.h"
#include "ui/picturebutton.h"
#include "ui/pictures.h"
#include "ui/qttranslations.h"
#include "ui/twips.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QTest>

#include <algorithm>

using morvessa::FrmIni;

class StartWindowTest : public QObject {
    Q_OBJECT
private slots:
    void laidOut();
    void pictureFiles_data();
    void pictureFiles();
    void demoPageNeedsTheSecondLogo();
    void tourNeedsABrowserInAWindow_data();
    void tourNeedsABrowserInAWindow();
    void noBrowserIsSaidInAMessage();
    void sampleCollectionShipsItsPictures();
    void loadStepIsRepeatable();
    void unloadingAnUnloadedWindowDoesNothing();
    void qtTextsInTraditionalChinese();
};

namespace {
QByteArray jpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(200, 120, 40));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

QSize sizeOf(const QPixmap &pixmap)
{
    return pixmap.deviceIndependentSize().toSize();
}

QSize scaled(int width, int height)
{
    const double s = morvessa::screenScale();
    return QSize(qRound(width * s), qRound(height * s));
}
} // namespace

void StartWindowTest::laidOut()
{
    TestFolder folder;
    Recorder recorder;
    FrmIni::Show(folder.collection());
    FrmIni *window = FrmIni::loaded();
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(window->windowTitle(), QStringLiteral("Morvessa"));
    QCOMPARE(window->pos(), QPoint(0, 0));
    QCOMPARE(window->size(), scaled(800, 574));
    QCOMPARE(sizeOf(window->Picture()), scaled(800, 580));
    for (auto *button : {window->cmdQuery, window->cmdSet}) {
        QCOMPARE(button->size(), morvessa::twipsRect(0, 0, 2100, 735).size());
        QCOMPARE(button->size(), scaled(140, 49));
        QCOMPARE(sizeOf(button->Picture()), scaled(170, 60));
        QCOMPARE(sizeOf(button->DisabledPicture()), scaled(170, 60));
        QVERIFY(button->isVisible());
        QVERIFY(button->isEnabled());
    }
    QCOMPARE(sizeOf(window->cmdQuery->DownPicture()), scaled(141, 50));
    // Screen readers name the buttons by what their pictures say.
    QCOMPARE(window->cmdQuery->accessibleName(), QStringLiteral("進入檢索"));
    QCOMPARE(window->cmdSet->accessibleName(), QStringLiteral("使用導覽"));
    QCOMPARE(QApplication::focusWidget(), window->cmdQuery);
    QVERIFY(recorder.messages.empty());
}

void StartWindowTest::pictureFiles_data()
{
    QTest::addColumn<QStringList>("pictures");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QSize>("background");
    QTest::addColumn<QSize>("queryPicture");
    QTest::addColumn<QSize>("setPicture");

    const QSize laidBackground = scaled(800, 580);
    const QSize laidButton = scaled(170, 60);
    QTest::newRow("none") << QStringList() << QStringList() << laidBackground << laidButton << laidButton;
    QTest::newRow("all three") << QStringList{QStringLiteral("index.jpg"), QStringLiteral("index-logo1.jpg"),
                                              QStringLiteral("index-logo2.jpg")}
                               << QStringList() << QSize(320, 200) << QSize(100, 30) << QSize(100, 30);
    QTest::newRow("only the second logo") << QStringList{QStringLiteral("index-logo2.jpg")} << QStringList()
                                          << laidBackground << laidButton << QSize(100, 30);
    QTest::newRow("folders of those names")
        << QStringList()
        << QStringList{QStringLiteral("index.jpg"), QStringLiteral("index-logo1.jpg"),
                       QStringLiteral("index-logo2.jpg")}
        << laidBackground << laidButton << laidButton;
}

void StartWindowTest::pictureFiles()
{
    QFETCH(QStringList, pictures);
    QFETCH(QStringList, folders);
    QFETCH(QSize, background);
    QFETCH(QSize, queryPicture);
    QFETCH(QSize, setPicture);

    TestFolder folder;
    Recorder recorder;
    for (const QString &name : pictures)
        folder.writeFile(name, name == QLatin1String("index.jpg") ? jpeg(320, 200) : jpeg(100, 30));
    for (const QString &name : folders)
        QDir(folder.path()).mkdir(name);

    FrmIni::Show(folder.collection());
    FrmIni *window = FrmIni::loaded();
    QCOMPARE(sizeOf(window->Picture()), background);
    QCOMPARE(sizeOf(window->cmdQuery->Picture()), queryPicture);
    QCOMPARE(sizeOf(window->cmdQuery->DisabledPicture()), queryPicture);
    QCOMPARE(sizeOf(window->cmdQuery->DownPicture()), scaled(141, 50));
    QCOMPARE(sizeOf(window->cmdSet->Picture()), setPicture);
    QCOMPARE(sizeOf(window->cmdSet->DisabledPicture()), setPicture);
    QVERIFY(recorder.messages.empty());
}

void StartWindowTest::demoPageNeedsTheSecondLogo()
{
    TestFolder folder;
    Recorder recorder;
    FrmIni::Show(folder.collection());
    FrmIni *window = FrmIni::loaded();

    window->cmdSet->click();
    QVERIFY(recorder.openedPages.empty());
    QCOMPARE(sizeOf(window->cmdSet->Picture()), scaled(170, 60));

    // The logo may appear while the window is open; the click looks it up anew.
    folder.writeFile(QStringLiteral("index-logo2.jpg"), jpeg(90, 40));
    window->cmdSet->click();
    QCOMPARE(recorder.openedPages.size(), size_t(1));
    QCOMPARE(recorder.openedPages.at(0), QUrl::fromLocalFile(folder.path() + QStringLiteral("/demo.htm")));
    QCOMPARE(sizeOf(window->cmdSet->Picture()), QSize(90, 40));
    QCOMPARE(sizeOf(window->cmdSet->DisabledPicture()), QSize(90, 40));
    QVERIFY(recorder.messages.empty());
}

namespace {
void makeProgram(const QString &folder, const QString &name)
{
    QFile file(folder + QLatin1Char('/') + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

void makeDesktopFile(const QString &folder, const QString &name, const QByteArray &keys)
{
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=Browser\n" + keys +
               "\n[Desktop Action x]\nTerminal=false\n");
}
} // namespace

// The handler the desktop names for HTML decides, unless it names none or one that is not
// there; then the first browser found, as the desktop's opener looks for one.
void StartWindowTest::tourNeedsABrowserInAWindow_data()
{
    QTest::addColumn<QString>("handler");
    QTest::addColumn<QStringList>("programs");
    QTest::addColumn<QString>("browserVariable");
    QTest::addColumn<bool>("graphical");
    QTest::newRow("window handler") << QStringLiteral("firefox-esr.desktop") << QStringList{} << QStringLiteral("")
                                    << true;
    QTest::newRow("terminal handler") << QStringLiteral("w3m.desktop") << QStringList{QStringLiteral("firefox")}
                                      << QStringLiteral("") << false;
    QTest::newRow("handler in a subfolder")
        << QStringLiteral("kde4-konqbrowser.desktop") << QStringList{} << QStringLiteral("") << true;
    QTest::newRow("handler missing, window browser")
        << QStringLiteral("gone.desktop") << QStringList{QStringLiteral("x-www-browser")} << QStringLiteral("")
        << true;
    QTest::newRow("no handler, text browsers only")
        << QStringLiteral("") << QStringList{QStringLiteral("www-browser"), QStringLiteral("w3m")}
        << QStringLiteral("") << false;
    QTest::newRow("no handler, nothing") << QStringLiteral("") << QStringList{} << QStringLiteral("") << false;
    QTest::newRow("BROWSER first") << QStringLiteral("")
                                   << QStringList{QStringLiteral("lynx"), QStringLiteral("firefox")}
                                   << QStringLiteral("lynx") << false;
    QTest::newRow("BROWSER a window one")
        << QStringLiteral("") << QStringList{QStringLiteral("lynx"), QStringLiteral("mybrowser")}
        << QStringLiteral("mybrowser %s") << true;
    QTest::newRow("no opener at all") << QStringLiteral("firefox-esr.desktop")
                                      << QStringList{QStringLiteral("-xdg-open")} << QStringLiteral("") << false;
}

void StartWindowTest::tourNeedsABrowserInAWindow()
{
    QFETCH(QString, handler);
    QFETCH(QStringList, programs);
    QFETCH(QString, browserVariable);
    QFETCH(bool, graphical);
    QTemporaryDir dir;
    const QString bin = dir.path() + QStringLiteral("/bin"), apps = dir.path() + QStringLiteral("/applications");
    QDir().mkpath(bin);
    if (!programs.contains(QStringLiteral("-xdg-open")))
        makeProgram(bin, QStringLiteral("xdg-open"));
    for (const QString &program : programs)
        if (!program.startsWith(QLatin1Char('-')))
            makeProgram(bin, program);
    makeDesktopFile(apps, QStringLiteral("firefox-esr.desktop"), "Exec=firefox-esr %u\nTerminal=false");
    makeDesktopFile(apps, QStringLiteral("w3m.desktop"), "Exec=w3m %u\nTerminal=true");
    makeDesktopFile(apps + QStringLiteral("/kde4"), QStringLiteral("konqbrowser.desktop"), "Exec=konqueror %u");

    morvessa::BrowserEnvironment environment;
    environment.path = {bin};
    environment.canOpenFiles = !programs.contains(QStringLiteral("-xdg-open"));
    environment.htmlHandler = handler;
    environment.applicationFolders = {dir.path() + QStringLiteral("/nowhere"), apps};
    environment.browserVariable = browserVariable;
    QCOMPARE(morvessa::hasGraphicalBrowser(environment), graphical);

    // The same as the program finds it, the handler asked of the desktop.
    if (!environment.canOpenFiles)
        return;
    QFile query(bin + QStringLiteral("/xdg-mime"));
    QVERIFY(query.open(QIODevice::WriteOnly));
    query.write("#!/bin/sh\necho '" + handler.toUtf8() + "'\n");
    query.setPermissions(query.permissions() | QFileDevice::ExeOwner);
    query.close();
    const QByteArray path = qgetenv("PATH"), dirs = qgetenv("XDG_DATA_DIRS"), browser = qgetenv("BROWSER");
    qputenv("PATH", bin.toUtf8());
    qputenv("XDG_DATA_DIRS", dir.path().toUtf8());
    qputenv("BROWSER", browserVariable.toUtf8());
    const morvessa::BrowserEnvironment found = morvessa::currentBrowserEnvironment();
    qputenv("PATH", path);
    qputenv("XDG_DATA_DIRS", dirs);
    qputenv("BROWSER", browser);
    QCOMPARE(found.htmlHandler, handler);
    QVERIFY(found.applicationFolders.contains(apps));
    QCOMPARE(morvessa::hasGraphicalBrowser(found), graphical);
}

// Where nothing could show the tour, the click says so instead of doing nothing.
void StartWindowTest::noBrowserIsSaidInAMessage()
{
    TestFolder folder;
    folder.writeFile(QStringLiteral("index-logo2.jpg"), jpeg(90, 40));
    Recorder recorder;
    morvessa::setBrowserOpener({}); // the desktop's own way, with nothing to start
    QTemporaryDir empty;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", empty.path().toUtf8());
    FrmIni::Show(folder.collection());
    FrmIni::loaded()->cmdSet->click();
    qputenv("PATH", path);
    QCOMPARE(recorder.messages.size(), size_t(1));
    QCOMPARE(recorder.messages.at(0).kind, morvessa::MessageKind::Failure);
    QVERIFY2(recorder.messages.at(0).text.contains(
                 QDir::toNativeSeparators(folder.path() + QStringLiteral("/demo.htm"))),
             qPrintable(recorder.messages.at(0).text));
    QVERIFY(recorder.messages.at(0).text.contains(QStringLiteral("網頁瀏覽器")));
}

void StartWindowTest::sampleCollectionShipsItsPictures()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmIni::Show(folder.collection());
    FrmIni *window = FrmIni::loaded();
    auto fileImage = [&folder](const char *name) {
        return morvessa::pictures::loadPictureFile(folder.path() + QLatin1Char('/') + QLatin1String(name))
            .toImage();
    };
    // The collection's own pictures, at the laid-out sizes, take the drawn ones' places.
    QCOMPARE(fileImage("index.jpg").size(), QSize(800, 580));
    QCOMPARE(fileImage("index-logo1.jpg").size(), QSize(170, 60));
    QCOMPARE(fileImage("index-logo2.jpg").size(), QSize(170, 60));
    QCOMPARE(window->Picture().toImage(), fileImage("index.jpg"));
    QCOMPARE(window->cmdQuery->Picture().toImage(), fileImage("index-logo1.jpg"));
    QCOMPARE(window->cmdSet->Picture().toImage(), fileImage("index-logo2.jpg"));

    // So the tour opens on the sample.
    window->cmdSet->click();
    QCOMPARE(recorder.openedPages.size(), size_t(1));
    QCOMPARE(recorder.openedPages.at(0), QUrl::fromLocalFile(folder.path() + QStringLiteral("/demo.htm")));
    QVERIFY(recorder.messages.empty());
}

void StartWindowTest::loadStepIsRepeatable()
{
    TestFolder folder;
    Recorder recorder;
    morvessa::ConnString = QStringLiteral("stale");
    FrmIni::Show(folder.collection());
    const QString first = morvessa::ConnString;
    QCOMPARE(first, morvessa::buildConnString(folder.path()));

    FrmIni::Unload();
    QVERIFY(!FrmIni::loaded());
    morvessa::ConnString = QStringLiteral("stale");
    FrmIni::Show(folder.collection());
    QVERIFY(FrmIni::loaded());
    QVERIFY(FrmIni::loaded()->isVisible());
    QCOMPARE(morvessa::ConnString, first);
}

void StartWindowTest::unloadingAnUnloadedWindowDoesNothing()
{
    TestFolder folder;
    Recorder recorder;
    QVERIFY(!FrmIni::loaded());
    morvessa::ConnString = QStringLiteral("untouched");
    FrmIni::Unload();
    QVERIFY(!FrmIni::loaded());
    QCOMPARE(morvessa::ConnString, QStringLiteral("untouched"));
    QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
            std::none_of(QApplication::topLevelWidgets().cbegin(), QApplication::topLevelWidgets().cend(),
                         [](QWidget *w) { return w->isVisible(); }));
}

void StartWindowTest::qtTextsInTraditionalChinese()
{
    QVERIFY(morvessa::installTraditionalChinese(*qApp));
    // The standard buttons of the message boxes and the text fields' context menu.
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    QVERIFY(QCoreApplication::translate("QLineEdit", "&Copy").contains(QStringLiteral("複製")));
    QCOMPARE(QLocale().name(), QStringLiteral("zh_TW"));
}

REGISTER_TEST(StartWindowTest)
#include "startwindow_test.moc"
