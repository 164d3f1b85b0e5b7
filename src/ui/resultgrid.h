#pragma once
// The results grid: rows and columns count from 0, row 0 is the header row, data rows
// count from 1; sizes and positions are in twips. A result of any size is shown
// straight from its rows (no item per row).
#include "ui/logic/resultgridmodel.h"

#include <QTableView>

#include <array>
#include <memory>

namespace morvessa {

class VisibleTextDelegate;

class ResultGrid : public QTableView {
    Q_OBJECT
public:
    explicit ResultGrid(QWidget *parent = nullptr);

    // Binds a result: row 0 stays the header, rows 1..n hold the records in order,
    // column widths set earlier stay. Row 1 becomes current. Raises no RowColChange.
    void setDataSource(std::shared_ptr<const ResultRows> rows);
    std::shared_ptr<const ResultRows> DataSource() const { return m_model.rows(); }

    // Outside the grid, a call that sets changes nothing and one that reads gives 0 or an
    // empty text: the window never asks there, and a slip must not end the program.

    // Cell i of the grid counted row by row; only the header row can be written.
    void setTextArray(int index, const QString &text);
    QString TextArray(int index) const;
    QString TextMatrix(int row, int col) const;

    // Width 0 hides the column; widths survive every later binding.
    void setColWidth(int col, int twips);
    int ColWidth(int col) const;

    // The current cell. Setting it raises no RowColChange.
    int Row() const { return m_row; }
    void setRow(int row);
    int Col() const { return m_col; }
    void setCol(int col);

    int Rows() const { return m_model.gridRows(); }
    int Cols() const { return ResultGridModel::kColumns; }

    int RowHeight(int row) const;
    // Distance from the grid's top edge to the top of the row (negative once scrolled past).
    int RowPos(int row) const;

    // The text the cell shows: cut at a whole character, with an ellipsis, where the visible
    // part of the cell ends (a column may run on under the vertical scroll bar).
    QString shownText(int row, int col) const;

    void setToolTipText(const QString &text);
    QString ToolTipText() const { return m_toolTipText; }

    // 0 none, 1 horizontal, 2 vertical, 3 both (as needed).
    void setScrollBars(int scrollBars);
    int ScrollBars() const { return m_scrollBars; }

    int Left() const;
    void setLeft(int twips);
    int Width() const;
    void setWidth(int twips);

    bool Visible() const { return isVisible(); }
    void SetFocus() { setFocus(Qt::OtherFocusReason); }

    ResultGridModel *gridModel() { return &m_model; }

signals:
    // The user moved the current cell (mouse or keys).
    void RowColChange();
    // Button: 1 left, 2 right, 4 middle; Shift: 1 Shift, 2 Ctrl, 4 Alt; X, Y in twips
    // from the grid's top-left corner.
    void MouseMove(int Button, int Shift, float X, float Y);

protected:
    void keyboardSearch(const QString &search) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    void applyColumnWidths();
    void applyRowHeight();
    void showCurrent();
    bool hasRow(int row) const;
    bool hasCol(int col) const;
    int viewColumn(int col) const;

    ResultGridModel m_model;
    VisibleTextDelegate *m_delegate;
    std::array<int, ResultGridModel::kColumns> m_colWidth{};
    int m_row = 1;
    int m_col = 0;
    int m_scrollBars = 3;
    int m_leftTwips = 0;
    int m_widthTwips = 0;
    bool m_settingCurrent = false;
    QString m_toolTipText;
};

} // namespace morvessa
