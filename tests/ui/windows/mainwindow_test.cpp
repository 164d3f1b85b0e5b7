#include "fixtures.h"

#include "search/queryanalysis.h"
#include "ui/collectionpane.h"
#include "ui/frmini.h"
#include "ui/frmzendrelmain.h"
#include "ui/picturebutton.h"
#include "ui/resultgrid.h"
#include "ui/twips.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

using morvessa::FrmIni;
using morvessa::FrmZendrelMain;
using morvessa::MessageKind;

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void sampleCollectionOpensOnItsNewestRecord();
    void arrowKeysWalkTheList();
    void enterRunsTheQuery();
    void nothingFoundKeepsTheList();
    void failingQueryKeepsTheList();
    void headerRowBringsBackTheStartWindow();
    void operatorModesLeaveTheStartWindowAlone();
    void samePageIsReadAfresh();
    void closingDeletesTheRecordPage();
    void emptyTable();
    void missingDatabase();
    void waitCursorWhileLoadingAndSearching();
    void enterOnTheQueryButtonOpensAtOnceWithThePreparedPane();
};

namespace {
QByteArray sourcePage(const QString &folder, const QString &pageName)
{
    QString relative = pageName;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return readFile(folder + QLatin1Char('/') + relative);
}

QUrl helpPage(const TestFolder &folder)
{
    return QUrl::fromLocalFile(folder.path() + QStringLiteral("/Help.htm"));
}
} // namespace

void MainWindowTest::sampleCollectionOpensOnItsNewestRecord()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    QVERIFY(recorder.messages.empty());
    QVERIFY(main->isVisible());
    QVERIFY(!FrmIni::loaded());

    QCOMPARE(main->windowTitle(), QStringLiteral("Morvessa-目錄瀏覽 & 關鍵字搜尋"));
    QCOMPARE(main->Command1->accessibleName(), QStringLiteral("搜尋"));
    QCOMPARE(main->pos(), QPoint(0, 0));
    QCOMPARE(main->size(), morvessa::clientSizeForOuterTwips(12120, 9100));
    QCOMPARE(main->Grd1->Rows(), 31);
    QCOMPARE(main->Grd1->TextMatrix(0, 0), QStringLiteral(" 內容標題 或 查詢結果"));
    QCOMPARE(main->Grd1->TextMatrix(0, 1), QStringLiteral("位置"));
    QVERIFY(main->Grd1->TextMatrix(1, 0).startsWith(QStringLiteral("補虛藥"))); // 2008-11-27
    QVERIFY(main->Grd1->TextMatrix(30, 0).startsWith(QStringLiteral("白芍")));  // 1996-06-18
    QCOMPARE(main->Grd1->ColWidth(1), 0);
    QVERIFY(main->Grd1->isColumnHidden(1));
    QCOMPARE(main->Grd1->Left(), 200);
    QCOMPARE(main->TxtQuery->x(), main->Grd1->x());
    QCOMPARE(main->SearchMode(), QStringLiteral("mod1"));
    QCOMPARE(main->SqlText, QStringLiteral("select subject,htm from  maindata order by date desc"));
    QCOMPARE(main->TxtQuery->count(), 3);
    QCOMPARE(main->TxtQuery->itemText(1), QStringLiteral("條件存取"));
    QCOMPARE(main->TxtQuery->itemText(2), QStringLiteral("條件清除"));

    QCOMPARE(main->Grd1->Row(), 1);
    QCOMPARE(main->ct->text(), QStringLiteral("第1筆"));
    QCOMPARE(main->PagePath, folder.path() + QStringLiteral("/tmp/TmpKELMAR.htm"));
    // The pane starts by itself once the window with its list is painted, and then shows
    // the page it was asked for before.
    QTRY_VERIFY_WITH_TIMEOUT(main->Reading && main->LblDesc->isVisible(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(main->readyPane()->url(), QUrl::fromLocalFile(main->PagePath), 10000);
    QCOMPARE(readFile(main->PagePath), sourcePage(folder.path(), main->Grd1->TextMatrix(1, 1)));

    // The posted Page Up arrives once the event loop runs: still row 1.
    QTest::qWait(50);
    QCOMPARE(main->Grd1->Row(), 1);
    QCOMPARE(main->ct->text(), QStringLiteral("第1筆"));
    QVERIFY(!FrmIni::loaded());
}

void MainWindowTest::arrowKeysWalkTheList()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    QVERIFY(QTest::qWaitForWindowActive(main));
    main->Grd1->SetFocus();

    QTest::keyClick(main->Grd1, Qt::Key_Down);
    QTest::keyClick(main->Grd1, Qt::Key_Down);
    QCOMPARE(main->Grd1->Row(), 3);
    QCOMPARE(main->ct->text(), QStringLiteral("第3筆"));
    QCOMPARE(readFile(main->PagePath), sourcePage(folder.path(), main->Grd1->TextMatrix(3, 1)));
    QTest::keyClick(main->Grd1, Qt::Key_Up);
    QCOMPARE(main->ct->text(), QStringLiteral("第2筆"));
    QCOMPARE(readFile(main->PagePath), sourcePage(folder.path(), main->Grd1->TextMatrix(2, 1)));
    QTRY_COMPARE_WITH_TIMEOUT(main->readyPane()->url(), QUrl::fromLocalFile(main->PagePath), 10000);
    QVERIFY(recorder.messages.empty());
}

void MainWindowTest::enterRunsTheQuery()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    QVERIFY(QTest::qWaitForWindowActive(main));

    pressEnter(main, QStringLiteral("  發熱 "));
    QVERIFY(recorder.messages.empty());
    QCOMPARE(main->TxtQuery->currentText(), QStringLiteral("發熱"));
    QCOMPARE(main->SearchMode(), QStringLiteral("mod3a"));
    QCOMPARE(main->Grd1->Rows(), 17);
    QCOMPARE(main->Grd1->Row(), 1);
    QCOMPARE(main->ct->text(), QStringLiteral("第1筆"));
    QCOMPARE(QApplication::focusWidget(), main->Grd1);
    QVERIFY(readFile(main->PagePath).contains(big5(QStringLiteral("<font color=red>發熱</font>"))));

    // Both terms of an all-terms query are marked; the operator is not.
    pressEnter(main, QStringLiteral("-發熱 頭痛"));
    QCOMPARE(main->SearchMode(), QStringLiteral("mod3"));
    QVERIFY(main->Grd1->Rows() > 1 && main->Grd1->Rows() < 17);
    const QByteArray page = readFile(main->PagePath);
    QVERIFY(page.contains(big5(QStringLiteral("<font color=red>發熱</font>"))));
    QVERIFY(page.contains(big5(QStringLiteral("<font color=red>頭痛</font>"))));

    // An empty query from the shown window lists everything: the grid takes the focus,
    // walks down a page and, once the search has returned, back up to row 1.
    QSignalSpy rowChanges(main->Grd1, &morvessa::ResultGrid::RowColChange);
    pressEnter(main, QStringLiteral("   "));
    QCOMPARE(main->SearchMode(), QStringLiteral("mod1"));
    QCOMPARE(main->Grd1->Rows(), 31);
    QCOMPARE(rowChanges.count(), 1); // the Page Down
    QVERIFY(main->Grd1->Row() > 1);
    QTRY_COMPARE(main->Grd1->Row(), 1);
    QCOMPARE(rowChanges.count(), 2); // the Page Up
    QCOMPARE(main->ct->text(), QStringLiteral("第1筆"));
    QCOMPARE(readFile(main->PagePath), sourcePage(folder.path(), main->Grd1->TextMatrix(1, 1)));

    // Typing is not completed from the list: 條 stays 條, not 條件存取.
    main->TxtQuery->setEditText(QString());
    main->TxtQuery->setFocus();
    QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("條"));
    QCoreApplication::sendEvent(main->TxtQuery, &typed);
    QCOMPARE(main->TxtQuery->currentText(), QStringLiteral("條"));

    // The search button runs the same search.
    main->TxtQuery->setEditText(QStringLiteral("脾胃"));
    main->Command1->click();
    QCOMPARE(main->Grd1->Rows(), 21);
    QVERIFY(recorder.messages.empty());
}

void MainWindowTest::nothingFoundKeepsTheList()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    pressEnter(main, QStringLiteral("發熱"));
    main->Grd1->setRow(4);
    main->Grd1_RowColChange();
    const QByteArray pageBefore = readFile(main->PagePath);

    const struct {
        QString query;
        QString message;
    } cases[] = {
        {QStringLiteral("-無此詞彙"), QStringLiteral(" 全文檢索搜尋　[ 無此詞彙 ]　資料不存在")},
        {QStringLiteral("+"), QStringLiteral(" 全文檢索搜尋　[  ]　資料不存在")},
        {QStringLiteral("a'b"), QStringLiteral(" 全文檢索搜尋　[ a'&chr(39)&'b ]　資料不存在")},
    };
    for (const auto &c : cases) {
        recorder.messages.clear();
        pressEnter(main, c.query);
        QCOMPARE(recorder.messages.size(), size_t(1));
        QCOMPARE(recorder.messages.at(0).text, c.message);
        QCOMPARE(recorder.messages.at(0).kind, MessageKind::Plain);
        QCOMPARE(main->Grd1->Rows(), 17);
        QCOMPARE(main->Grd1->Row(), 4);
        QCOMPARE(main->SearchMode(), QStringLiteral("mod3a"));
        QCOMPARE(main->ct->text(), QStringLiteral("第4筆"));
        QCOMPARE(readFile(main->PagePath), pageBefore);
    }
}

void MainWindowTest::failingQueryKeepsTheList()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    // An unclosed "[" is no pattern the engine accepts.
    pressEnter(main, QStringLiteral("[發熱"));
    QCOMPARE(recorder.messages.size(), size_t(1));
    QCOMPARE(recorder.messages.at(0).kind, MessageKind::Failure);
    QVERIFY(!recorder.messages.at(0).text.isEmpty());
    QCOMPARE(main->Grd1->Rows(), 31);
    QCOMPARE(main->SearchMode(), QStringLiteral("mod1"));
    QCOMPARE(main->ct->text(), QStringLiteral("第1筆"));
    QVERIFY(main->isVisible());

    // The program goes on: the next search works.
    pressEnter(main, QStringLiteral("發熱"));
    QCOMPARE(main->Grd1->Rows(), 17);
    QCOMPARE(recorder.messages.size(), size_t(1));
}

void MainWindowTest::headerRowBringsBackTheStartWindow()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    QVERIFY(!FrmIni::loaded());

    main->Grd1->setRow(0);
    main->Grd1_RowColChange();
    QCOMPARE(main->ct->text(), QStringLiteral("第0筆"));
    QVERIFY(FrmIni::loaded());
    QVERIFY(FrmIni::loaded()->isVisible());
    // "位置" names no page: the pane shows an empty page.
    QCOMPARE(readFile(main->PagePath), QByteArray());

    main->Grd1->setRow(2);
    main->Grd1_RowColChange();
    QVERIFY(!FrmIni::loaded());
    QCOMPARE(main->ct->text(), QStringLiteral("第2筆"));
    QVERIFY(recorder.messages.empty());
}

void MainWindowTest::operatorModesLeaveTheStartWindowAlone()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    pressEnter(main, QStringLiteral("+汗出 咳嗽"));
    QCOMPARE(main->SearchMode(), QStringLiteral("mod4"));
    main->Grd1->setRow(0);
    main->Grd1_RowColChange();
    QVERIFY(!FrmIni::loaded());
    QCOMPARE(main->ct->text(), QStringLiteral("第0筆"));

    FrmIni::Show(folder.collection());
    main->Grd1->setRow(1);
    main->Grd1_RowColChange();
    QVERIFY(FrmIni::loaded() && FrmIni::loaded()->isVisible());
    QVERIFY(readFile(main->PagePath).contains(big5(QStringLiteral("<font color=red>"))));
}

void MainWindowTest::samePageIsReadAfresh()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    QTRY_VERIFY_WITH_TIMEOUT(paneText(main).contains(QStringLiteral("補虛藥")), 10000);

    // The record's page changes on disk; showing the same row again shows the change,
    // although the pane is pointed at the same file as before. The new page declares no
    // character set: it is read as Big5.
    folder.writeFile(QStringLiteral("yao/buxu.htm"),
                     big5(QStringLiteral("<html><body>改寫後的頁面</body></html>")));
    main->Grd1_RowColChange();
    QTRY_VERIFY_WITH_TIMEOUT(paneText(main).contains(QStringLiteral("改寫後的頁面")), 10000);
    QCOMPARE(main->ct->text(), QStringLiteral("第1筆"));
}

void MainWindowTest::closingDeletesTheRecordPage()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    const QString page = main->PagePath;
    QVERIFY(QFile::exists(page));
    main->close();
    QVERIFY(!FrmZendrelMain::loaded());
    QVERIFY(!QFile::exists(page));
    QVERIFY(QDir(folder.path() + QStringLiteral("/tmp")).exists());
}

void MainWindowTest::emptyTable()
{
    TestFolder folder(testData(QStringLiteral("empty")));
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    QCOMPARE(recorder.messages.size(), size_t(1));
    QCOMPARE(recorder.messages.at(0).text, QStringLiteral(" 全文檢索搜尋　[  ]　資料不存在"));
    QCOMPARE(recorder.messages.at(0).kind, MessageKind::Plain);
    QVERIFY(!recorder.messages.at(0).waitCursor);
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(main->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(main->readyPane()->url(), helpPage(folder), 10000);
    QCOMPARE(main->ct->text(), QStringLiteral("第100000筆"));
    QCOMPARE(main->Grd1->Rows(), 2);
    QCOMPARE(main->Grd1->TextMatrix(0, 0), QStringLiteral("內容標題 或 查詢結果"));
    QCOMPARE(main->SearchMode(), QString());
    QVERIFY(FrmIni::loaded());
    QVERIFY(FrmIni::loaded()->isVisible());

    // The query button again only shows the window: no second load, no second search.
    FrmIni::loaded()->cmdQuery->click();
    QCOMPARE(FrmZendrelMain::loaded(), main);
    QCOMPARE(recorder.messages.size(), size_t(1));
}

void MainWindowTest::missingDatabase()
{
    TestFolder folder;
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    QCOMPARE(recorder.messages.size(), size_t(1));
    QCOMPARE(recorder.messages.at(0).kind, MessageKind::Failure);
    QVERIFY(recorder.messages.at(0).text.contains(QStringLiteral("jst.mdb")));
    QVERIFY(main->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(main->readyPane()->url(), helpPage(folder), 10000);
    QCOMPARE(main->ct->text(), QStringLiteral("第100000筆"));
    QVERIFY(FrmIni::loaded() && FrmIni::loaded()->isVisible());

    // A later search fails the same way and changes nothing.
    pressEnter(main, QStringLiteral("發熱"));
    QCOMPARE(recorder.messages.size(), size_t(2));
    QCOMPARE(main->Grd1->Rows(), 2);

    // Without a collection nothing is written into the folder: no tmp, no lock, no page,
    // not even when a row of the empty grid is clicked.
    main->Grd1->setRow(1);
    main->close();
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

namespace {
// The cursor the program shows over its windows now: the wait cursor or the ordinary one.
bool waitCursorShown()
{
    const QCursor *cursor = QGuiApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor;
}
} // namespace

void MainWindowTest::waitCursorWhileLoadingAndSearching()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmIni::Show(folder.collection());
    FrmIni *start = FrmIni::loaded();
    QVERIFY(start);

    // Opening the main window: the first search hides the start window, inside the load.
    std::vector<bool> cursors;
    struct HideWatch : QObject {
        std::vector<bool> *seen;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Hide)
                seen->push_back(waitCursorShown());
            return false;
        }
    } watch;
    watch.seen = &cursors;
    start->installEventFilter(&watch);
    start->cmdQuery->click();
    FrmZendrelMain *main = FrmZendrelMain::loaded();
    QVERIFY(main);
    QCOMPARE(cursors, std::vector<bool>{true});
    QVERIFY(!QGuiApplication::overrideCursor());

    // A search binds its rows under the wait cursor.
    cursors.clear();
    connect(main->Grd1->gridModel(), &QAbstractItemModel::modelReset, &watch,
            [&cursors] { cursors.push_back(waitCursorShown()); });
    pressEnter(main, QStringLiteral("發熱"));
    QCOMPARE(cursors, std::vector<bool>{true});
    QVERIFY(!QGuiApplication::overrideCursor());

    // A message on the way waits for the user with the ordinary cursor; a failure leaves
    // no wait cursor behind.
    pressEnter(main, QStringLiteral("無此字樣"));
    pressEnter(main, QStringLiteral("[發熱"));
    QCOMPARE(recorder.messages.size(), size_t(2));
    QVERIFY(!recorder.messages.at(0).waitCursor);
    QVERIFY(!recorder.messages.at(1).waitCursor);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void MainWindowTest::enterOnTheQueryButtonOpensAtOnceWithThePreparedPane()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmIni::Show(folder.collection());
    FrmIni *start = FrmIni::loaded();
    QVERIFY(QTest::qWaitForWindowActive(start));
    // While the start window waits, the browser pane is made ready for the main window.
    QTRY_VERIFY(morvessa::CollectionPane::prepared());
    const morvessa::CollectionPane *pane = morvessa::CollectionPane::prepared();

    QTest::keyClick(start->cmdQuery, Qt::Key_Return);
    FrmZendrelMain *main = FrmZendrelMain::loaded(); // no event loop in between
    QVERIFY(main);
    QVERIFY(main->readyPane()->page() == pane);
    QVERIFY(!morvessa::CollectionPane::prepared());
    QCOMPARE(main->Grd1->Rows(), 31);
    QVERIFY(recorder.messages.empty());
}

REGISTER_TEST(MainWindowTest)

#include "mainwindow_test.moc"
