#include "fixtures.h"

#include "store/connstring.h"
#include "ui/frmini.h"
#include "ui/picturebutton.h"
#include "ui/pictures.h"
#include "ui/qttranslations.h"
#include "ui/twips.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
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
    FrmIni::Show();
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

    FrmIni::Show();
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
    FrmIni::Show();
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

void StartWindowTest::sampleCollectionShipsItsPictures()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmIni::Show();
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
    FrmIni::Show();
    const QString first = morvessa::ConnString;
    QCOMPARE(first, morvessa::buildConnString(folder.path()));

    FrmIni::Unload();
    QVERIFY(!FrmIni::loaded());
    morvessa::ConnString = QStringLiteral("stale");
    FrmIni::Show();
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
