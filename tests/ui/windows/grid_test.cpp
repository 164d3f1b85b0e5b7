#include "fixtures.h"
#include "ui/fonts.h"
#include "ui/resultgrid.h"
#include "ui/twips.h"

#include <QFontDatabase>
#include <QGlyphRun>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextLayout>

#include <stdexcept>

using morvessa::ResultGrid;

class GridTest : public QObject {
    Q_OBJECT
private slots:
    void laidOut();
    void bindingKeepsWidthsAndHeader();
    void hugeResultBindsWithoutCopying();
    void keysMoveTheCurrentRow();
    void settingTheCurrentCellRaisesNothing();
    void rowZeroStaysWhenTheGridTakesTheFocus();
    void outsideTheGridChangesNothing();
    void geometryInTwips();
    void mouseMoveInTwips();
    void titlesEndWhereTheyCanBeSeen();
    void chineseTextHasItsGlyphs();
};

namespace {
std::shared_ptr<GeneratedRows> rows(int count)
{
    return std::make_shared<GeneratedRows>(count);
}

// A grid shown on screen with the main window's settings.
struct ShownGrid {
    ShownGrid()
    {
        grid.setGeometry(morvessa::twipsRect(200, 1200, 3520, 7125));
        grid.setColWidth(0, 3500);
        grid.setColWidth(1, 0);
        grid.setScrollBars(2);
        grid.show();
        grid.activateWindow();
        grid.SetFocus();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
    }
    ResultGrid grid;
};
} // namespace

void GridTest::laidOut()
{
    ResultGrid grid;
    QCOMPARE(grid.Rows(), 2);
    QCOMPARE(grid.Cols(), 2);
    QCOMPARE(grid.Row(), 1);
    QCOMPARE(grid.Col(), 0);
    QCOMPARE(grid.TextMatrix(1, 0), QString());
    grid.setTextArray(0, QStringLiteral("內容標題 或 查詢結果"));
    QCOMPARE(grid.TextMatrix(0, 0), QStringLiteral("內容標題 或 查詢結果"));
    QCOMPARE(grid.TextArray(0), QStringLiteral("內容標題 或 查詢結果"));
    QCOMPARE(grid.TextArray(2), QString()); // row 1, column 0
}

void GridTest::bindingKeepsWidthsAndHeader()
{
    ResultGrid grid;
    grid.setColWidth(0, 3500);
    grid.setColWidth(1, 0);
    grid.setTextArray(1, QStringLiteral("位置"));
    for (int i = 0; i < 3; ++i) {
        grid.setDataSource(rows(5 + i));
        QCOMPARE(grid.Rows(), 6 + i);
        QVERIFY(grid.isColumnHidden(1));
        QCOMPARE(grid.ColWidth(1), 0);
        QCOMPARE(grid.columnWidth(0), morvessa::twipsToPx(3500));
        QCOMPARE(grid.TextMatrix(0, 1), QStringLiteral("位置"));
    }
    QCOMPARE(grid.TextMatrix(1, 0), QStringLiteral("第1篇"));
    QCOMPARE(grid.TextMatrix(7, 1), QStringLiteral("p\\7.htm"));
    // The rows stay with the grid after the caller lets go of them.
    grid.setDataSource(rows(2));
    QCOMPARE(grid.TextMatrix(2, 0), QStringLiteral("第2篇"));
    QCOMPARE(grid.Row(), 1);
}

void GridTest::hugeResultBindsWithoutCopying()
{
    ShownGrid shown;
    ResultGrid &grid = shown.grid;
    const int childrenBefore = int(grid.findChildren<QObject *>().size());
    auto result = rows(300000);
    grid.setDataSource(result);
    grid.setRow(1);
    grid.setCol(1);
    QCoreApplication::processEvents();
    QCOMPARE(grid.Rows(), 300001);
    QCOMPARE(grid.TextMatrix(300000, 0), QStringLiteral("第300000篇"));
    // Only what is on screen is read, and no object is made per row.
    QVERIFY2(result->cellsRead < 2000, qPrintable(QString::number(result->cellsRead)));
    QVERIFY(grid.findChildren<QObject *>().size() <= childrenBefore + 5);

    QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(grid.Row(), 300000);
    QVERIFY(result->cellsRead < 4000);
}

void GridTest::keysMoveTheCurrentRow()
{
    ShownGrid shown;
    ResultGrid &grid = shown.grid;
    grid.setDataSource(rows(100));
    grid.setRow(1);
    grid.setCol(1);
    QSignalSpy changes(&grid, &ResultGrid::RowColChange);

    QTest::keyClick(&grid, Qt::Key_Down);
    QCOMPARE(grid.Row(), 2);
    QCOMPARE(grid.Col(), 1);
    QCOMPARE(changes.count(), 1);
    QTest::keyClick(&grid, Qt::Key_Up);
    QCOMPARE(grid.Row(), 1);
    QTest::keyClick(&grid, Qt::Key_Up); // already at the first row
    QCOMPARE(grid.Row(), 1);

    QTest::keyClick(&grid, Qt::Key_PageDown);
    const int page = grid.Row() - 1;
    QVERIFY2(page > 5 && page < 40, qPrintable(QString::number(page)));
    QTest::keyClick(&grid, Qt::Key_PageUp);
    QCOMPARE(grid.Row(), 1);

    // Page Down never passes the last row.
    grid.setDataSource(rows(3));
    grid.setRow(1);
    QTest::keyClick(&grid, Qt::Key_PageDown);
    QCOMPARE(grid.Row(), 3);

    // Letters do not move it.
    QTest::keyClick(&grid, Qt::Key_A);
    QCOMPARE(grid.Row(), 3);
}

void GridTest::settingTheCurrentCellRaisesNothing()
{
    ResultGrid grid;
    grid.setDataSource(rows(10));
    QSignalSpy changes(&grid, &ResultGrid::RowColChange);
    grid.setRow(5);
    grid.setCol(1);
    grid.setDataSource(rows(20));
    grid.setRow(1);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(grid.Row(), 1);
}

void GridTest::rowZeroStaysWhenTheGridTakesTheFocus()
{
    ShownGrid shown;
    ResultGrid &grid = shown.grid;
    grid.setDataSource(rows(10));
    shown.grid.clearFocus();
    grid.setRow(0);
    QSignalSpy changes(&grid, &ResultGrid::RowColChange);
    grid.SetFocus();
    QCoreApplication::processEvents();
    QCOMPARE(grid.Row(), 0);
    QCOMPARE(changes.count(), 0);
    // The next key walks into the data rows again.
    QTest::keyClick(&grid, Qt::Key_Down);
    QVERIFY(grid.Row() >= 1);
    QCOMPARE(changes.count(), 1);
}

void GridTest::outsideTheGridChangesNothing()
{
    ResultGrid grid;
    grid.setDataSource(rows(3));
    grid.setTextArray(0, QStringLiteral("標題"));
    grid.setColWidth(0, 1200);
    grid.setRow(2);
    grid.setCol(1);
    QCOMPARE(grid.TextMatrix(4, 0), QString());
    QCOMPARE(grid.TextMatrix(1, 2), QString());
    QCOMPARE(grid.TextMatrix(-1, 0), QString());
    QCOMPARE(grid.TextArray(-1), QString());
    QCOMPARE(grid.ColWidth(2), 0);
    QCOMPARE(grid.RowHeight(4), 0);
    grid.setRow(4);
    grid.setCol(2);
    grid.setTextArray(2, QStringLiteral("x"));
    grid.setColWidth(0, -1);
    grid.setColWidth(2, 500);
    QCOMPARE(grid.Row(), 2);
    QCOMPARE(grid.Col(), 1);
    QCOMPARE(grid.TextMatrix(0, 0), QStringLiteral("標題"));
    QCOMPARE(grid.TextMatrix(0, 1), QString());
    QCOMPARE(grid.ColWidth(0), 1200);
    QCOMPARE(grid.TextMatrix(3, 0), QStringLiteral("第3篇"));
}

void GridTest::geometryInTwips()
{
    ShownGrid shown;
    ResultGrid &grid = shown.grid;
    grid.setLeft(200);
    grid.setWidth(3520);
    QCOMPARE(grid.Left(), 200);
    QCOMPARE(grid.Width(), 3520);
    grid.setDataSource(rows(200));
    const int height = grid.RowHeight(1);
    QVERIFY(height > 150 && height < 900);
    QCOMPARE(grid.RowHeight(2), height);
    // Row 1 starts below the header row; scrolled out of view it lies above the top.
    const int pos = grid.RowPos(1);
    QVERIFY(pos >= grid.RowHeight(0));
    QCOMPARE(grid.RowPos(3), pos + 2 * height);
    grid.setRow(150);
    QVERIFY(grid.RowPos(1) < 0);
}

void GridTest::mouseMoveInTwips()
{
    ShownGrid shown;
    ResultGrid &grid = shown.grid;
    QSignalSpy moves(&grid, &ResultGrid::MouseMove);
    const QPoint inViewport(20, 30);
    QMouseEvent move(QEvent::MouseMove, inViewport, grid.viewport()->mapToGlobal(inViewport), Qt::NoButton,
                     Qt::LeftButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(grid.viewport(), &move);
    QCOMPARE(moves.count(), 1);
    const QPoint inGrid = grid.viewport()->mapTo(&grid, inViewport);
    QCOMPARE(moves.at(0).at(0).toInt(), 1);
    QCOMPARE(moves.at(0).at(1).toInt(), 1);
    QCOMPARE(moves.at(0).at(2).toFloat(), float(morvessa::pxToTwips(inGrid.x())));
    QCOMPARE(moves.at(0).at(3).toFloat(), float(morvessa::pxToTwips(inGrid.y())));

    grid.setToolTipText(QStringLiteral("桂枝湯"));
    QCOMPARE(grid.ToolTipText(), QStringLiteral("桂枝湯"));
}

namespace {
// Titles given in full; page names made up.
class TitleRows : public morvessa::ResultRows {
public:
    explicit TitleRows(QStringList titles) : m_titles(std::move(titles)) {}
    int count() const override { return int(m_titles.size()); }
    QString text(int row, int col) const override
    {
        return col == 0 ? m_titles.at(row) : QStringLiteral("p\\%1.htm").arg(row + 1);
    }

private:
    QStringList m_titles;
};

const QChar kEllipsis(0x2026);
} // namespace

void GridTest::titlesEndWhereTheyCanBeSeen()
{
    ShownGrid shown;
    ResultGrid &grid = shown.grid;
    const QFontMetrics metrics(grid.font());
    // The room a title has: the visible part of the column, less the cell's margins.
    const int column = grid.columnWidth(0);
    grid.setDataSource(std::make_shared<TitleRows>(QStringList(60, QStringLiteral("短"))));
    QTRY_VERIFY(grid.verticalScrollBar()->isVisible());
    const int visible = grid.viewport()->width();
    QVERIFY2(visible < column, qPrintable(QStringLiteral("%1 %2").arg(visible).arg(column)));

    // A title that fits the column but not its visible part, one longer than the column,
    // and a short one.
    QString fitsColumn = QStringLiteral("五苓散 — 化氣行水");
    while (metrics.horizontalAdvance(fitsColumn + QStringLiteral("方")) < column - 8)
        fitsColumn += QStringLiteral("方");
    QVERIFY(metrics.horizontalAdvance(fitsColumn) > visible);
    const QString tooLong = fitsColumn + QStringLiteral("的名方，溫陽化氣，利水滲濕");
    QStringList titles(60, QStringLiteral("短"));
    titles[0] = fitsColumn;
    titles[1] = tooLong;
    titles[2] = QStringLiteral("桂枝湯");
    grid.setDataSource(std::make_shared<TitleRows>(titles));

    for (int row : {1, 2}) {
        const QString text = grid.shownText(row, 0);
        // Cut at a whole character, ending in one ellipsis character, inside the visible part.
        QVERIFY2(text.endsWith(kEllipsis), qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral("..")));
        QVERIFY(titles[row - 1].startsWith(text.chopped(1)));
        QVERIFY2(metrics.horizontalAdvance(text) <= visible, qPrintable(text));
        // One more character would no longer fit.
        const QString longer = titles[row - 1].left(text.size()) + kEllipsis;
        QVERIFY(metrics.horizontalAdvance(longer) > visible - 2 * 3);
    }
    QCOMPARE(grid.shownText(3, 0), QStringLiteral("桂枝湯"));
    QCOMPARE(grid.shownText(0, 0), grid.TextMatrix(0, 0));
}

void GridTest::chineseTextHasItsGlyphs()
{
    // Characters the Ming faces lack, such as 隠, come from the next face in the list.
    for (const QFont &font : {morvessa::arialFont(14.25), morvessa::mingFont(14.25, true)}) {
        QTextLayout layout(QStringLiteral("隠發熱頭痛"), font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        int glyphs = 0;
        for (const QGlyphRun &run : layout.glyphRuns()) {
            for (quint32 glyph : run.glyphIndexes())
                QVERIFY2(glyph != 0, qPrintable(run.rawFont().familyName()));
            glyphs += run.glyphIndexes().size();
        }
        QCOMPARE(glyphs, 5);
    }
}

REGISTER_TEST(GridTest)
#include "grid_test.moc"
