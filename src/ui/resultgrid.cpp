#include "ui/resultgrid.h"

#include "ui/fonts.h"
#include "ui/twips.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <cmath>

namespace morvessa {

namespace {
int buttonCode(Qt::MouseButtons buttons)
{
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

int shiftCode(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

int roundedTwips(double px)
{
    return int(std::lround(pxToTwips(px)));
}
} // namespace

// Draws each cell's text cut where the cell leaves the visible part of the grid, so that
// no character is sliced by the scroll bar.
class VisibleTextDelegate : public QStyledItemDelegate {
public:
    explicit VisibleTextDelegate(QAbstractItemView *view) : QStyledItemDelegate(view), m_view(view) {}

    // The option as the cell is drawn: its visible part, with the text that fits there.
    QStyleOptionViewItem shownOption(const QStyleOptionViewItem &option, const QModelIndex &index) const
    {
        QStyleOptionViewItem shown(option);
        initStyleOption(&shown, index);
        shown.rect = shown.rect.intersected(m_view->viewport()->rect());
        const QWidget *widget = shown.widget ? shown.widget : m_view;
        const QRect textRect = widget->style()->subElementRect(QStyle::SE_ItemViewItemText, &shown, widget);
        shown.text = QFontMetrics(shown.font).elidedText(shown.text, Qt::ElideRight, textRect.width());
        shown.textElideMode = Qt::ElideNone;
        return shown;
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QStyleOptionViewItem shown = shownOption(option, index);
        const QWidget *widget = shown.widget ? shown.widget : m_view;
        widget->style()->drawControl(QStyle::CE_ItemViewItem, &shown, painter, widget);
    }

private:
    QAbstractItemView *m_view;
};

ResultGrid::ResultGrid(QWidget *parent) : QTableView(parent)
{
    const int defaultWidth = roundedTwips(64);
    m_colWidth.fill(defaultWidth);
    setModel(&m_model);
    m_delegate = new VisibleTextDelegate(this);
    setItemDelegate(m_delegate);
    setFont(arialFont(14.25));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setCornerButtonEnabled(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setStyleSheet(QStringLiteral("QTableView { gridline-color: rgb(192, 192, 192); }"));

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setMouseTracking(true);
    viewport()->setMouseTracking(true);
    viewport()->installEventFilter(this);
    horizontalHeader()->installEventFilter(this);
    horizontalHeader()->viewport()->installEventFilter(this);

    // A binding resets the view's sections; the grid keeps its own widths.
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] {
        applyColumnWidths();
        applyRowHeight();
    });
    applyColumnWidths();
    applyRowHeight();
    setScrollBars(3);
    showCurrent();
}

void ResultGrid::setDataSource(std::shared_ptr<const ResultRows> rows)
{
    m_settingCurrent = true;
    m_model.bind(std::move(rows));
    m_settingCurrent = false;
    m_row = Rows() > 1 ? 1 : 0;
    m_col = 0;
    showCurrent();
}

void ResultGrid::setTextArray(int index, const QString &text)
{
    if (!hasCol(index))
        return;
    m_model.setHeaderText(index, text);
}

QString ResultGrid::TextArray(int index) const
{
    if (index < 0)
        return QString();
    return m_model.cell(index / Cols(), index % Cols());
}

QString ResultGrid::TextMatrix(int row, int col) const
{
    return m_model.cell(row, col);
}

void ResultGrid::setColWidth(int col, int twips)
{
    if (!hasCol(col) || twips < 0)
        return;
    m_colWidth[col] = twips;
    applyColumnWidths();
    showCurrent();
}

int ResultGrid::ColWidth(int col) const
{
    return hasCol(col) ? m_colWidth[col] : 0;
}

void ResultGrid::setRow(int row)
{
    if (!hasRow(row))
        return;
    m_row = row;
    showCurrent();
}

void ResultGrid::setCol(int col)
{
    if (!hasCol(col))
        return;
    m_col = col;
    showCurrent();
}

int ResultGrid::RowHeight(int row) const
{
    if (!hasRow(row))
        return 0;
    const int px = row == 0 ? horizontalHeader()->height() : rowHeight(row - 1);
    return roundedTwips(px);
}

int ResultGrid::RowPos(int row) const
{
    if (!hasRow(row))
        return 0;
    const int top = frameWidth();
    if (row == 0)
        return roundedTwips(top);
    return roundedTwips(top + horizontalHeader()->height() + rowViewportPosition(row - 1));
}

QString ResultGrid::shownText(int row, int col) const
{
    if (!hasRow(row) || !hasCol(col))
        return QString();
    if (row == 0 || isColumnHidden(col))
        return row == 0 ? TextMatrix(0, col) : QString();
    const QModelIndex index = m_model.index(row - 1, col);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return m_delegate->shownOption(option, index).text;
}

void ResultGrid::setToolTipText(const QString &text)
{
    m_toolTipText = text;
    // Follow the pointer while a tooltip is already up.
    if (QToolTip::isVisible() && underMouse())
        QToolTip::showText(QCursor::pos(), text, this);
}

void ResultGrid::setScrollBars(int scrollBars)
{
    if (scrollBars < 0 || scrollBars > 3)
        return;
    m_scrollBars = scrollBars;
    setHorizontalScrollBarPolicy(scrollBars & 1 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(scrollBars & 2 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

int ResultGrid::Left() const
{
    return m_leftTwips;
}

void ResultGrid::setLeft(int twips)
{
    m_leftTwips = twips;
    move(twipsToPx(twips), y());
}

int ResultGrid::Width() const
{
    return m_widthTwips ? m_widthTwips : roundedTwips(width());
}

void ResultGrid::setWidth(int twips)
{
    m_widthTwips = twips;
    resize(twipsToPx(twips), height());
}

void ResultGrid::keyboardSearch(const QString &)
{
    // Typing letters does not jump between rows.
}

bool ResultGrid::eventFilter(QObject *watched, QEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (widget && event->type() == QEvent::MouseMove) {
        const auto *move = static_cast<QMouseEvent *>(event);
        const QPointF at = widget->mapTo(this, move->position().toPoint());
        emit MouseMove(buttonCode(move->buttons()), shiftCode(move->modifiers()), float(pxToTwips(at.x())),
                       float(pxToTwips(at.y())));
    } else if (widget && event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        if (m_toolTipText.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), m_toolTipText, this);
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

void ResultGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_settingCurrent || !current.isValid())
        return;
    m_row = current.row() + 1;
    if (previous.isValid() && current.column() != previous.column())
        m_col = current.column();
    emit RowColChange();
}

void ResultGrid::focusInEvent(QFocusEvent *event)
{
    // Taking the focus does not make a data row current when none is.
    const bool noCurrentRow = m_row == 0;
    m_settingCurrent = m_settingCurrent || noCurrentRow;
    QTableView::focusInEvent(event);
    if (noCurrentRow) {
        selectionModel()->clearCurrentIndex();
        m_settingCurrent = false;
    }
}

void ResultGrid::applyColumnWidths()
{
    for (int c = 0; c < Cols(); ++c) {
        setColumnHidden(c, m_colWidth[c] == 0);
        if (m_colWidth[c] > 0)
            setColumnWidth(c, twipsToPx(m_colWidth[c]));
    }
}

void ResultGrid::applyRowHeight()
{
    const int height = fontMetrics().height() + 6;
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(height);
    horizontalHeader()->setFixedHeight(height);
}

void ResultGrid::showCurrent()
{
    m_settingCurrent = true;
    if (m_row == 0) {
        selectionModel()->clear();
    } else {
        const QModelIndex index = m_model.index(m_row - 1, viewColumn(m_col));
        // The empty row of an unbound grid is current but not highlighted.
        const auto command = m_model.rows() ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                                            : QItemSelectionModel::Clear;
        selectionModel()->setCurrentIndex(index, command);
        scrollTo(index);
    }
    m_settingCurrent = false;
}

bool ResultGrid::hasRow(int row) const
{
    return row >= 0 && row < Rows();
}

bool ResultGrid::hasCol(int col) const
{
    return col >= 0 && col < Cols();
}

int ResultGrid::viewColumn(int col) const
{
    // The view keeps its current cell in a shown column; the grid still reports col.
    if (!isColumnHidden(col))
        return col;
    for (int c = 0; c < Cols(); ++c)
        if (!isColumnHidden(c))
            return c;
    return col;
}

} // namespace morvessa
