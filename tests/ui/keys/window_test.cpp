#include "pdftext.h"
#include "registry.h"
#include "windowtest.h"

#include "store/connstring.h"
#include "ui/frmzendrelmain.h"
#include "ui/picturebutton.h"
#include "ui/printing.h"
#include "ui/resultgrid.h"
#include "ui/uihooks.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QTest>

using morvessa::FrmZendrelMain;
using morvessa::test::Recorder;
using morvessa::test::TestFolder;

namespace {

const QString kOpenConditions = QStringLiteral("條件存取");
const QString kClearConditions = QStringLiteral("條件清除");
const QString kBrowserCaption = QStringLiteral("全文檢索條件 瀏覽複製 編輯更新存檔");

QStringList entries(const QComboBox *box)
{
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i);
    return list;
}

QStringList designEntries()
{
    return {QString(), kOpenConditions, kClearConditions};
}

int browserWindows()
{
    int count = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == kBrowserCaption)
            ++count;
    return count;
}

} // namespace

// The main window on a copy of the sample collection, driven by keys that come in through
// the window as the keyboard's do.
class KeysWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void historyRules();
    void conditionCommands();
    void enterInTheBoxMovesToTheGridAndSearches();
    void escapeAndArrows();
    void otherKeysStayWhereTheyAre();
    void closedBoxKeepsTheQuery();
    void focusEnteringTheBoxSelectsItsText();
    void f7PrintsTheCurrentTitle();
    void f7WithoutAPrinter();
    void tooltipFollowsThePointer();

private:
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void clickSearch(const QString &text);
    // Moves the pointer over the grid to a point given in pixels from its top-left corner.
    void hover(QPoint at, Qt::MouseButtons buttons = Qt::NoButton);

    Recorder m_recorder; // declared first: outlives the windows the folder closes
    TestFolder m_folder{QStringLiteral(MORVESSA_SAMPLE)};
    FrmZendrelMain *m_main = nullptr;
};

void KeysWindowTest::initTestCase()
{
    QVERIFY(m_folder.isValid());
    morvessa::ConnString = morvessa::buildConnString(m_folder.path());
    m_main = FrmZendrelMain::Show(m_folder.collection());
    QVERIFY(m_main);
    QVERIFY(QTest::qWaitForWindowActive(m_main));
    QVERIFY(m_main->Grd1->Rows() > 5);
}

void KeysWindowTest::init()
{
    // Each test starts as after load: the list as designed, nothing remembered, the whole
    // collection listed and the focus in the grid.
    m_main->TxtQuery->clear();
    for (const QString &entry : designEntries())
        m_main->TxtQuery->addItem(entry);
    m_main->TxtQuery->setEditText(QString());
    m_main->LastEntry.clear();
    m_main->EntryText.clear();
    QVERIFY(m_main->DoSearch().ok());
    // The list-all search walks a page down and back up through posted keys.
    QCoreApplication::processEvents();
    m_main->Grd1->SetFocus();
    QCOMPARE(m_main->Grd1->Row(), 1);
    m_recorder.messages.clear();
    m_main->setPrintTarget(morvessa::defaultPrinterTarget());
}

void KeysWindowTest::cleanupTestCase()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void KeysWindowTest::press(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(m_main->windowHandle(), key, modifiers);
}

void KeysWindowTest::clickSearch(const QString &text)
{
    m_main->TxtQuery->setEditText(text);
    QTest::mouseClick(m_main->Command1, Qt::LeftButton);
}

void KeysWindowTest::hover(QPoint at, Qt::MouseButtons buttons)
{
    QWidget *viewport = m_main->Grd1->viewport();
    const QPoint local = viewport->mapFrom(m_main->Grd1, at);
    QMouseEvent move(QEvent::MouseMove, local, viewport->mapToGlobal(local), Qt::NoButton, buttons,
                     Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
}

void KeysWindowTest::historyRules()
{
    QComboBox *box = m_main->TxtQuery;
    // An empty box before anything was added equals the empty LastEntry: nothing is added.
    clickSearch(QString());
    QCOMPARE(entries(box), designEntries());

    // The same query twice adds it once; A, B, A adds A twice.
    clickSearch(QStringLiteral("桂枝"));
    clickSearch(QStringLiteral("桂枝"));
    clickSearch(QStringLiteral("麻黃"));
    clickSearch(QStringLiteral("桂枝"));
    QCOMPARE(entries(box), designEntries()
                               << QStringLiteral("桂枝") << QStringLiteral("麻黃") << QStringLiteral("桂枝"));
    QCOMPARE(m_main->LastEntry, QStringLiteral("桂枝"));

    // Blanks around a query: the list gets it trimmed, LastEntry keeps the blanks, so the
    // trimmed text run again is added once more.
    clickSearch(QStringLiteral("  麻黃 "));
    QCOMPARE(box->currentText(), QStringLiteral("麻黃"));
    QCOMPARE(m_main->LastEntry, QStringLiteral("  麻黃 "));
    QCOMPARE(m_main->EntryText, QStringLiteral("  麻黃 "));
    clickSearch(QStringLiteral("麻黃"));
    QCOMPARE(entries(box).mid(3),
             (QStringList{QStringLiteral("桂枝"), QStringLiteral("麻黃"), QStringLiteral("桂枝"),
                          QStringLiteral("麻黃"), QStringLiteral("麻黃")}));

    // A query that finds nothing is still added; Enter alone never adds.
    clickSearch(QStringLiteral("無此字樣"));
    QCOMPARE(m_recorder.messages.size(), size_t(1));
    QCOMPARE(entries(box).last(), QStringLiteral("無此字樣"));
    const int before = box->count();
    box->setFocus();
    box->setEditText(QStringLiteral("人參"));
    press(Qt::Key_Return);
    QCOMPARE(box->count(), before);

    // After an entry was added, an empty box is added as an empty entry.
    clickSearch(QString());
    QCOMPARE(box->count(), before + 1);
    QCOMPARE(entries(box).last(), QString());
}

void KeysWindowTest::conditionCommands()
{
    QComboBox *box = m_main->TxtQuery;
    clickSearch(QStringLiteral("桂枝"));
    QCOMPARE(box->count(), 4);

    // Clearing brings back the designed list and keeps LastEntry, so running the last
    // query again does not add it back.
    clickSearch(kClearConditions);
    QCOMPARE(entries(box), designEntries());
    QCOMPARE(box->currentText(), QString());
    QCOMPARE(m_main->LastEntry, QStringLiteral("桂枝"));
    clickSearch(QStringLiteral("桂枝"));
    QCOMPARE(entries(box), designEntries());

    // The button opens the condition window, empties the box and searches nothing; a
    // second press shows the same window again.
    m_main->SqlText = QStringLiteral("untouched");
    clickSearch(kOpenConditions);
    QTRY_COMPARE(browserWindows(), 1);
    QCOMPARE(box->currentText(), QString());
    QCOMPARE(m_main->SqlText, QStringLiteral("untouched"));
    QCOMPARE(entries(box), designEntries());
    clickSearch(kOpenConditions);
    QCOMPARE(browserWindows(), 1);
    QVERIFY(m_recorder.messages.empty());

    // With a blank around it, or through Enter, the same text is an ordinary query.
    m_main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_main));
    box->setFocus();
    box->setEditText(kOpenConditions);
    press(Qt::Key_Return);
    QCOMPARE(m_recorder.messages.size(), size_t(1));
    QVERIFY(m_recorder.messages.back().text.contains(kOpenConditions));
    QCOMPARE(box->currentText(), kOpenConditions);
    QCOMPARE(entries(box), designEntries());
    clickSearch(kClearConditions + QLatin1Char(' '));
    QCOMPARE(m_recorder.messages.size(), size_t(2));
    QCOMPARE(entries(box), designEntries() << kClearConditions);
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->windowTitle() == kBrowserCaption)
            w->close();
    m_main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_main));
}

void KeysWindowTest::enterInTheBoxMovesToTheGridAndSearches()
{
    QComboBox *box = m_main->TxtQuery;
    box->setFocus();
    QCOMPARE(QApplication::focusWidget(), box);
    box->setEditText(QStringLiteral(" 桂枝 "));
    press(Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), m_main->Grd1);
    QCOMPARE(box->currentText(), QStringLiteral("桂枝")); // the search trimmed it
    QVERIFY(m_main->SqlText.contains(QStringLiteral("桂枝")));
    QVERIFY(m_main->Grd1->Rows() > 1);
    QVERIFY(m_main->Grd1->TextMatrix(1, 0).size() > 0);
    QCOMPARE(entries(box), designEntries()); // the combo box adds nothing of its own

    // Shift+Enter does the same, keypad Enter too.
    for (auto [key, modifiers] :
         {std::pair{Qt::Key_Return, Qt::ShiftModifier}, std::pair{Qt::Key_Enter, Qt::KeypadModifier}}) {
        box->setFocus();
        box->setEditText(QStringLiteral("麻黃"));
        m_main->SqlText.clear();
        press(key, modifiers);
        QCOMPARE(QApplication::focusWidget(), m_main->Grd1);
        QVERIFY(m_main->SqlText.contains(QStringLiteral("麻黃")));
    }
    QCOMPARE(entries(box), designEntries());
}

void KeysWindowTest::escapeAndArrows()
{
    morvessa::ResultGrid *grid = m_main->Grd1;
    QComboBox *box = m_main->TxtQuery;
    QCOMPARE(QApplication::focusWidget(), grid);
    QCOMPARE(grid->Row(), 1);

    // In the grid the arrows keep the focus there and still move the row; the viewer follows.
    press(Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), grid);
    QCOMPARE(grid->Row(), 2);
    press(Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(grid->Row(), 3);
    press(Qt::Key_Up);
    QCOMPARE(grid->Row(), 2);
    QCOMPARE(m_main->ct->text(), QStringLiteral("第2筆"));
    press(Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), grid);
    QCOMPARE(grid->Row(), 2);

    // Esc goes to the box from the grid, and stays there in the box.
    press(Qt::Key_Escape);
    QCOMPARE(QApplication::focusWidget(), box);
    press(Qt::Key_Escape, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), box);

    // Up and Down in the box move the focus to the grid.
    press(Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), grid);
    press(Qt::Key_Escape);
    press(Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), grid);
    QCOMPARE(grid->Row(), 2);
}

void KeysWindowTest::otherKeysStayWhereTheyAre()
{
    QComboBox *box = m_main->TxtQuery;
    box->setFocus();
    for (Qt::Key key : {Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Left, Qt::Key_Right, Qt::Key_F1, Qt::Key_F6,
                        Qt::Key_F8, Qt::Key_F12})
        press(key);
    QCOMPARE(QApplication::focusWidget(), box);
    box->setEditText(QString());
    for (char c : {'a', 'b', '1', '2'})
        QTest::keyClick(m_main->windowHandle(), c);
    QCOMPARE(QApplication::focusWidget(), box);
    QCOMPARE(box->currentText(), QStringLiteral("ab12"));

    // In the grid Page Down still walks the rows and the focus stays.
    m_main->Grd1->SetFocus();
    const int row = m_main->Grd1->Row();
    press(Qt::Key_PageDown);
    QCOMPARE(QApplication::focusWidget(), m_main->Grd1);
    QVERIFY(m_main->Grd1->Row() > row);
}

void KeysWindowTest::closedBoxKeepsTheQuery()
{
    QComboBox *box = m_main->TxtQuery;
    clickSearch(QStringLiteral("桂枝")); // a history entry to step to
    box->setFocus();
    box->setEditText(QStringLiteral("發熱"));
    const int index = box->currentIndex();

    // Down and Up go to the results and take nothing from the list.
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up}) {
        press(key);
        QCOMPARE(QApplication::focusWidget(), m_main->Grd1);
        QCOMPARE(box->currentText(), QStringLiteral("發熱"));
        press(Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), box);
    }
    // Page Up and Page Down, with or without Shift, leave the box as it is.
    for (Qt::Key key : {Qt::Key_PageDown, Qt::Key_PageUp}) {
        for (auto modifiers : {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
            press(key, modifiers);
            QCOMPARE(QApplication::focusWidget(), box);
            QCOMPARE(box->currentText(), QStringLiteral("發熱"));
        }
    }
    QCOMPARE(box->currentIndex(), index);
    // So the search button searches for what was typed.
    QTest::mouseClick(m_main->Command1, Qt::LeftButton);
    QVERIFY(m_main->SqlText.contains(QStringLiteral("發熱")));
    QCOMPARE(box->currentText(), QStringLiteral("發熱"));

    // F4 and Alt+Down open the list for the box, where the arrows choose an entry.
    for (auto [key, modifiers] :
         {std::pair{Qt::Key_F4, Qt::NoModifier}, std::pair{Qt::Key_Down, Qt::AltModifier}}) {
        box->setFocus();
        press(key, modifiers);
        QTRY_VERIFY(box->view()->isVisible());
        box->hidePopup();
        QTRY_VERIFY(!box->view()->isVisible());
        QCOMPARE(QApplication::focusWidget(), box); // the list was the box's, not the grid's
        QCOMPARE(box->currentText(), QStringLiteral("發熱"));
    }
    box->setFocus();
    press(Qt::Key_F4);
    QTRY_VERIFY(box->view()->isVisible());
    const QModelIndex entry = box->model()->index(3, 0); // 桂枝
    box->view()->setCurrentIndex(entry);
    QTest::keyClick(box->view(), Qt::Key_Return);
    QTRY_VERIFY(!box->view()->isVisible());
    QCOMPARE(box->currentText(), QStringLiteral("桂枝"));
}

void KeysWindowTest::focusEnteringTheBoxSelectsItsText()
{
    QComboBox *box = m_main->TxtQuery;
    box->setEditText(QStringLiteral("桂枝 麻黃"));
    box->lineEdit()->deselect();
    press(Qt::Key_Escape);
    QCOMPARE(QApplication::focusWidget(), box);
    QCOMPARE(box->lineEdit()->selectedText(), QStringLiteral("桂枝 麻黃"));
    // The next key replaces the whole text.
    press(Qt::Key_A);
    QCOMPARE(box->currentText(), QStringLiteral("a"));
}

void KeysWindowTest::f7PrintsTheCurrentTitle()
{
    QTemporaryDir dir;
    morvessa::ResultGrid *grid = m_main->Grd1;
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    QCOMPARE(grid->Row(), 3);
    const QString title = grid->TextMatrix(3, 0);
    QVERIFY(!title.isEmpty());

    const QString first = dir.filePath(QStringLiteral("f7.pdf"));
    m_main->setPrintTarget(morvessa::pdfFileTarget(first));
    press(Qt::Key_F7);
    QCOMPARE(pdfText(first).trimmed(), title);
    QCOMPARE(QApplication::focusWidget(), grid);

    // With Shift, Ctrl or Alt, and from the query box, it prints just the same.
    m_main->TxtQuery->setFocus();
    for (auto modifier : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
        const QString path = dir.filePath(QStringLiteral("f7-%1.pdf").arg(int(modifier)));
        m_main->setPrintTarget(morvessa::pdfFileTarget(path));
        press(Qt::Key_F7, modifier);
        QCOMPARE(pdfText(path).trimmed(), title);
    }
    QCOMPARE(QApplication::focusWidget(), m_main->TxtQuery);
    QVERIFY(m_recorder.messages.empty());

    // A page that cannot be written is reported, and nothing else happens.
    m_main->setPrintTarget(morvessa::pdfFileTarget(dir.filePath(QStringLiteral("none/f7.pdf"))));
    press(Qt::Key_F7);
    QCOMPARE(m_recorder.messages.size(), size_t(1));
    QVERIFY(m_recorder.messages.front().text.contains(QStringLiteral("列印")));
    QCOMPARE(grid->Row(), 3);
}

void KeysWindowTest::f7WithoutAPrinter()
{
    if (!QPrinterInfo::defaultPrinter().isNull())
        QSKIP("this machine has a default printer");
    press(Qt::Key_F7);
    QCOMPARE(m_recorder.messages.size(), size_t(1));
    QVERIFY(m_recorder.messages.front().text.contains(QStringLiteral("印表機")));
}

void KeysWindowTest::tooltipFollowsThePointer()
{
    morvessa::ResultGrid *grid = m_main->Grd1;
    const int h = grid->RowHeight(1), p = grid->RowPos(1);
    // Row 1 in view: it starts below the header row, which is as high as a record row.
    QVERIFY2(p >= h, qPrintable(QStringLiteral("H %1 P %2").arg(h).arg(p)));
    const int px = h / 15; // one row in pixels
    const int x = 40;

    // The middle of each row shows its title, sideways moves change nothing.
    hover(QPoint(x, px / 2));
    QCOMPARE(grid->ToolTipText(), grid->TextMatrix(0, 0));
    for (int row = 1; row < std::min(grid->Rows(), 8); ++row) {
        hover(QPoint(x, row * px + px / 2));
        QCOMPARE(grid->ToolTipText(), grid->TextMatrix(row, 0));
        hover(QPoint(x + 100, row * px + px / 2));
        QCOMPARE(grid->ToolTipText(), grid->TextMatrix(row, 0));
    }

    // Scrolled down the list, the title is still that of the row under the pointer.
    grid->setFocus();
    for (int i = 0; i < grid->Rows(); ++i)
        press(Qt::Key_Down);
    QVERIFY(grid->RowPos(1) < h);
    QWidget *viewport = grid->viewport();
    for (int y = px + px / 2; y < viewport->height(); y += px) {
        const int row = grid->rowAt(viewport->mapFrom(grid, QPoint(x, y)).y()) + 1;
        hover(QPoint(x, y));
        QCOMPARE(grid->ToolTipText(), grid->TextMatrix(row, 0));
    }
    hover(QPoint(x, px / 2));
    QCOMPARE(grid->ToolTipText(), grid->TextMatrix(0, 0));
    press(Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(grid->RowPos(1), p);

    // With a button held above the grid: three rows above the top edge the quotient is
    // -4.5, which rounds to -4, so row 3's title.
    hover(QPoint(x, -3 * px), Qt::LeftButton);
    QCOMPARE(grid->ToolTipText(), grid->TextMatrix(3, 0));

    // Two records: the row below the last one does not exist, the tooltip keeps its text.
    m_main->TxtQuery->setEditText(QStringLiteral("宣肺平喘"));
    QVERIFY(m_main->DoSearch().ok());
    QCOMPARE(grid->Rows(), 3);
    hover(QPoint(x, 2 * px + px / 2));
    const QString second = grid->TextMatrix(2, 0);
    QCOMPARE(grid->ToolTipText(), second);
    hover(QPoint(x, 3 * px + px / 2));
    QCOMPARE(grid->ToolTipText(), second);
}

REGISTER_TEST(KeysWindowTest)
#include "window_test.moc"
