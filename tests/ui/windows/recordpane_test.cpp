// The browser pane of the main window: what it shows where the record page cannot be
// written, and that it shows the collection's static pages and nothing else.
#include "fixtures.h"

#include "ui/frmini.h"
#include "ui/frmzendrelmain.h"
#include "ui/pagereading.h"
#include "ui/picturebutton.h"
#include "ui/resultgrid.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

using morvessa::FrmIni;
using morvessa::FrmZendrelMain;

class RecordPaneTest : public QObject {
    Q_OBJECT
private slots:
    void unwritableFolderIsNamedInThePane();
    void pagesRunNoScriptsAndReachNothingOutside();
    void aPageThatCannotBeReadIsNamedInThePane();
    void readingKeysWorkOnAPage();
    void contextMenuItemsAllDoSomething();
};

namespace {
// The main window, active, with the record page of the query 發熱 showing its marks.
FrmZendrelMain *openOnMarkedPage(const TestFolder &folder)
{
    FrmZendrelMain *main = openMainWindow(folder);
    if (!main)
        return nullptr;
    main->activateWindow();
    if (!QTest::qWaitForWindowActive(main))
        return nullptr;
    main->TxtQuery->setEditText(QStringLiteral("發熱"));
    if (!main->DoSearch() ||
        !QTest::qWaitFor([main] { return paneText(main).contains(QStringLiteral("發熱")); }, 10000))
        return nullptr;
    return main;
}

QString selectedText(FrmZendrelMain *main)
{
    return main->readyPane()->page()->selectedText();
}
} // namespace

void RecordPaneTest::unwritableFolderIsNamedInThePane()
{
    TestFolder folder(sampleCollection());
    folder.writeFile(QStringLiteral("tmp"), QByteArray()); // no tmp folder can be made
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    QCOMPARE(main->ct->text(), QStringLiteral("第1筆"));
    QTRY_VERIFY_WITH_TIMEOUT(paneText(main).contains(QStringLiteral("無法寫入資料夾")), 10000);
    QVERIFY(paneText(main).contains(QDir::toNativeSeparators(folder.path())));
    QVERIFY(!main->readyPane()->url().isLocalFile());

    // Every row says the same; none shows a page written before.
    main->Grd1->setRow(3);
    main->Grd1_RowColChange();
    QCOMPARE(main->ct->text(), QStringLiteral("第3筆"));
    QTest::qWait(200);
    QTRY_VERIFY_WITH_TIMEOUT(paneText(main).contains(QStringLiteral("無法寫入資料夾")), 10000);
    QVERIFY(recorder.messages.empty());
}

void RecordPaneTest::pagesRunNoScriptsAndReachNothingOutside()
{
    QTcpServer web;
    QVERIFY(web.listen(QHostAddress::LocalHost));
    const QString port = QString::number(web.serverPort());
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.path() + QStringLiteral("/outside.htm");
    {
        QFile file(outside);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<html><body>outside secret</body></html>");
    }

    TestFolder folder(sampleCollection());
    // The newest record's page, shown first.
    folder.writeFile(QStringLiteral("yao/buxu.htm"),
                     big5(QStringLiteral("<html><body><p>靜態內容</p>"
                                         "<script>document.body.innerHTML = '腳本執行了';</script>"
                                         "<img src=\"http://127.0.0.1:%1/picture.png\">"
                                         "<link rel=stylesheet href=\"http://127.0.0.1:%1/style.css\">"
                                         "</body></html>")
                              .arg(port)));
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    QTRY_VERIFY_WITH_TIMEOUT(paneText(main).contains(QStringLiteral("靜態內容")), 10000);
    QTest::qWait(500);
    QVERIFY(!paneText(main).contains(QStringLiteral("腳本執行了")));
    QVERIFY(!web.waitForNewConnection(0));
    QVERIFY(!web.hasPendingConnections());

    // Asked to show a file elsewhere on the machine, the pane stays where it was.
    main->Navigate(outside);
    QTest::qWait(500);
    QCOMPARE(main->readyPane()->url(), QUrl::fromLocalFile(main->PagePath));
    QVERIFY(!paneText(main).contains(QStringLiteral("outside secret")));

    // The help page of the collection still shows.
    main->Navigate(folder.path() + QStringLiteral("/Help.htm"));
    QTRY_VERIFY_WITH_TIMEOUT(paneText(main).contains(QStringLiteral("Morvessa 使用說明")), 10000);
}

REGISTER_TEST(RecordPaneTest)

void RecordPaneTest::aPageThatCannotBeReadIsNamedInThePane()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    QTest::qWait(300); // the list-all search's Page Up has come and gone
    const QString pageName = main->Grd1->TextMatrix(2, 1);
    QString relative = pageName;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QVERIFY(QFile::remove(folder.path() + QLatin1Char('/') + relative));

    main->Grd1->setRow(2);
    main->Grd1_RowColChange();
    QCOMPARE(main->ct->text(), QStringLiteral("第2筆"));
    QTRY_VERIFY_WITH_TIMEOUT(paneText(main).contains(QStringLiteral("無法讀取這筆資料的頁面")), 10000);
    QVERIFY(paneText(main).contains(pageName));
    QVERIFY(paneText(main).contains(QStringLiteral("檔案不存在")));

    // A readable page is shown again as usual.
    main->Grd1->setRow(1);
    main->Grd1_RowColChange();
    QTRY_VERIFY_WITH_TIMEOUT(main->readyPane()->url().isLocalFile(), 10000);
    QVERIFY(recorder.messages.empty());
}

void RecordPaneTest::readingKeysWorkOnAPage()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmZendrelMain *main = openOnMarkedPage(folder);
    QVERIFY(main);

    // F3 and Shift+F3 select the marked terms in turn, wherever the focus is.
    main->Grd1->SetFocus();
    QTest::keyClick(main->Grd1, Qt::Key_F3);
    QTRY_COMPARE_WITH_TIMEOUT(selectedText(main), QStringLiteral("發熱"), 5000);
    // A new page, with nothing selected. Until it has loaded, the old one may still answer.
    QSignalSpy loaded(main->readyPane(), &QWebEngineView::loadFinished);
    main->Navigate(main->PagePath);
    QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 10000);
    QVERIFY(selectedText(main).isEmpty());
    QVERIFY(paneText(main).contains(QStringLiteral("發熱")));
    QTest::keyClick(main->Grd1, Qt::Key_F3, Qt::ShiftModifier);
    QTRY_COMPARE_WITH_TIMEOUT(selectedText(main), QStringLiteral("發熱"), 5000);

    // Ctrl+F opens the find bar on its text field; typing finds and counts.
    QTest::keyClick(main->Grd1, Qt::Key_F, Qt::ControlModifier);
    QWidget *bar = main->Reading->findBar();
    QVERIFY(bar->isVisible());
    QTRY_VERIFY(main->Reading->findField()->hasFocus());
    // Where the first match is depends on what was selected when the search began; the
    // count and the step to the next one do not.
    const QRegularExpression counted(QStringLiteral("^第(\\d+)處，共(\\d+)處$"));
    main->Reading->findField()->setText(QStringLiteral("發熱"));
    QTRY_VERIFY_WITH_TIMEOUT(counted.match(main->Reading->findCount()->text()).hasMatch(), 5000);
    const QRegularExpressionMatch first = counted.match(main->Reading->findCount()->text());
    const int active = first.captured(1).toInt(), matches = first.captured(2).toInt();
    main->Reading->find(true);
    QTRY_COMPARE_WITH_TIMEOUT(main->Reading->findCount()->text(),
                              QStringLiteral("第%1處，共%2處").arg(active % matches + 1).arg(matches), 5000);
    main->Reading->findField()->setText(QStringLiteral("沒有這段文字"));
    QTRY_COMPARE_WITH_TIMEOUT(main->Reading->findCount()->text(), QStringLiteral("找不到"), 5000);
    // Another page with the bar open: the count is that page's, not the one before.
    main->Reading->findField()->setText(QStringLiteral("發熱"));
    QTRY_VERIFY_WITH_TIMEOUT(counted.match(main->Reading->findCount()->text()).hasMatch(), 5000);
    folder.writeFile(QStringLiteral("other.htm"), QByteArrayLiteral("<p>other page</p>"));
    loaded.clear();
    main->Navigate(folder.path() + QStringLiteral("/other.htm"));
    QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(main->Reading->findCount()->text(), QStringLiteral("找不到"), 5000);
    // Esc still goes back to the query box, from the find bar too.
    QTest::keyClick(main->windowHandle(), Qt::Key_Escape); // the find field has the focus
    QTRY_VERIFY(main->TxtQuery->hasFocus());

    // Zoom keys, kept when another page is shown.
    const struct {
        Qt::Key key;
        double zoom;
    } steps[] = {{Qt::Key_Equal, 1.1}, {Qt::Key_Equal, 1.25}, {Qt::Key_Minus, 1.1},
                 {Qt::Key_0, 1.0},     {Qt::Key_Minus, 0.9},  {Qt::Key_Minus, 0.8}};
    for (const auto &step : steps) {
        QTest::keyClick(main->Grd1, step.key, Qt::ControlModifier);
        QCOMPARE(main->readyPane()->zoomFactor(), step.zoom);
    }
    main->Grd1->setRow(2);
    main->Grd1_RowColChange();
    QTest::qWait(500);
    QCOMPARE(main->readyPane()->zoomFactor(), 0.8);
    main->Reading->zoom(0);
    QVERIFY(recorder.messages.empty());
}

void RecordPaneTest::contextMenuItemsAllDoSomething()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmZendrelMain *main = openOnMarkedPage(folder);
    QVERIFY(main);
    main->readyPane();
    const auto actionNamed = [main](const QString &text) -> QAction * {
        QMenu *menu = main->Reading->makeContextMenu(main);
        for (QAction *action : menu->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    };
    {
        std::unique_ptr<QMenu> menu(main->Reading->makeContextMenu(nullptr));
        QStringList texts;
        for (const QAction *action : menu->actions())
            if (!action->isSeparator())
                texts << action->text();
        QCOMPARE(texts, (QStringList{QStringLiteral("複製"), QStringLiteral("全選"), QStringLiteral("尋找…"),
                                     QStringLiteral("放大"), QStringLiteral("縮小"), QStringLiteral("原始大小")}));
        QVERIFY(!menu->actions().constFirst()->isEnabled()); // nothing selected: nothing to copy
    }

    actionNamed(QStringLiteral("全選"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(selectedText(main).contains(QStringLiteral("發熱")), 5000);
    QGuiApplication::clipboard()->clear();
    QAction *copy = actionNamed(QStringLiteral("複製"));
    QVERIFY(copy->isEnabled());
    copy->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::clipboard()->text().contains(QStringLiteral("發熱")), 5000);

    actionNamed(QStringLiteral("尋找…"))->trigger();
    QVERIFY(main->Reading->findBar()->isVisible());
    const struct {
        const char *item;
        double zoom;
    } zooms[] = {{"放大", 1.1}, {"原始大小", 1.0}, {"縮小", 0.9}, {"原始大小", 1.0}};
    for (const auto &step : zooms) {
        actionNamed(QString::fromUtf8(step.item))->trigger();
        QCOMPARE(main->readyPane()->zoomFactor(), step.zoom);
    }
    QVERIFY(recorder.messages.empty());
}

#include "recordpane_test.moc"
