// The browser pane of the main window: what it shows where the record page cannot be
// written, and that it shows the collection's static pages and nothing else.
#include "fixtures.h"

#include "ui/frmini.h"
#include "ui/frmzendrelmain.h"
#include "ui/picturebutton.h"
#include "ui/resultgrid.h"

#include <QDir>
#include <QFile>
#include <QLabel>
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
};

namespace {
FrmZendrelMain *openMainWindow()
{
    FrmIni::Show();
    if (!FrmIni::loaded())
        return nullptr;
    FrmIni::loaded()->cmdQuery->click();
    return FrmZendrelMain::loaded();
}
} // namespace

void RecordPaneTest::unwritableFolderIsNamedInThePane()
{
    TestFolder folder(sampleCollection());
    folder.writeFile(QStringLiteral("tmp"), QByteArray()); // no tmp folder can be made
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow();
    QVERIFY(main);
    QCOMPARE(main->ct->text(), QStringLiteral("第1筆"));
    QTRY_VERIFY_WITH_TIMEOUT(paneText(main).contains(QStringLiteral("無法寫入資料夾")), 10000);
    QVERIFY(paneText(main).contains(QDir::toNativeSeparators(folder.path())));
    QVERIFY(!main->LblDesc->url().isLocalFile());

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
    FrmZendrelMain *main = openMainWindow();
    QVERIFY(main);
    QTRY_VERIFY_WITH_TIMEOUT(paneText(main).contains(QStringLiteral("靜態內容")), 10000);
    QTest::qWait(500);
    QVERIFY(!paneText(main).contains(QStringLiteral("腳本執行了")));
    QVERIFY(!web.waitForNewConnection(0));
    QVERIFY(!web.hasPendingConnections());

    // Asked to show a file elsewhere on the machine, the pane stays where it was.
    main->Navigate(outside);
    QTest::qWait(500);
    QCOMPARE(main->LblDesc->url(), QUrl::fromLocalFile(main->PagePath));
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
    FrmZendrelMain *main = openMainWindow();
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
    QTRY_VERIFY_WITH_TIMEOUT(main->LblDesc->url().isLocalFile(), 10000);
    QVERIFY(recorder.messages.empty());
}

#include "recordpane_test.moc"
