// The main window's keys, the query box's focus and the grid's row tips.
#include "ui/frmzendrelmain.h"

#include "ui/keypreview.h"
#include "ui/logic/rowtip.h"
#include "ui/printing.h"
#include "ui/resultgrid.h"
#include "ui/uihooks.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace morvessa {

namespace {

// Up, Down, Page Up and Page Down: in a closed combo box these step to another entry of
// its list and so replace the text typed into it.
bool stepsThroughList(const QKeyEvent *key)
{
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    case Qt::Key_Down:
        return !(key->modifiers() & Qt::AltModifier);
    default:
        return false;
    }
}

// F4 and Alt+Down open the list.
bool opensListKey(const QKeyEvent *key)
{
    return (key->key() == Qt::Key_F4 && key->modifiers() == Qt::NoModifier) ||
           (key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier));
}

} // namespace

void FrmZendrelMain::TxtQuery_GotFocus()
{
    TxtQuery->lineEdit()->selectAll();
}

void FrmZendrelMain::Form_KeyDown(int KeyCode, int Shift)
{
    Q_UNUSED(Shift); // every key acts the same with Shift, Ctrl or Alt
    switch (KeyCode) {
    case vk::Enter:
    case vk::Up:
    case vk::Down:
        Grd1->SetFocus();
        break;
    case vk::Escape:
        TxtQuery->setFocus(Qt::OtherFocusReason);
        break;
    case vk::F7: { // the current row's title, below two empty lines
        const QString message =
            m_printTarget->printLines({QString(), QString(), Grd1->TextMatrix(Grd1->Row(), 0)});
        if (!message.isEmpty())
            showMessage(message, MessageKind::Failure);
        break;
    }
    default:
        break;
    }
}

void FrmZendrelMain::setPrintTarget(std::unique_ptr<PrintTarget> target)
{
    m_printTarget = std::move(target);
}

void FrmZendrelMain::Grd1_MouseMove(int Button, int Shift, float X, float Y)
{
    Q_UNUSED(Button);
    Q_UNUSED(Shift);
    ShowRowTip(X, Y);
}

void FrmZendrelMain::ShowRowTip(float X, float Y)
{
    Q_UNUSED(X); // only the height counts
    const int rows = Grd1->Rows();
    if (rows < 2)
        return;
    const int height = Grd1->RowHeight(1);
    int pos = Grd1->RowPos(1);
    double y = Y;
    // Scrolled down, row 1 has moved up out of sight and the rows with it. The rows are
    // then counted in the whole list, where row 1 still starts below the header row, so
    // the tooltip names the row under the pointer; the header row itself does not move.
    const int listTop = Grd1->RowPos(0) + Grd1->RowHeight(0);
    if (pos < listTop) {
        if (Y >= listTop)
            y += listTop - pos;
        pos = listTop;
    }
    if (const auto row = rowTipRow(height, pos, y, rows))
        Grd1->setToolTipText(Grd1->TextMatrix(*row, 0));
}

bool FrmZendrelMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == TxtQuery && event->type() == QEvent::FocusIn) {
        // Not when the window comes back to the front or the drop-down list closes:
        // the focus never left the box then.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            runHandler([this] { TxtQuery_GotFocus(); });
    }
    if (watched == TxtQuery && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!TxtQuery->view()->isVisible() && stepsThroughList(key))
            return true; // the typed query stays; Up and Down have moved the focus already
        if (opensListKey(key))
            TxtQuery->setFocus(Qt::OtherFocusReason); // the list is for the box, not the grid
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            runHandler([this] { return TxtQuery_KeyPress(kEnterCharacter); });
            return true;
        }
        if (!key->text().isEmpty())
            runHandler([this, code = int(key->text().at(0).unicode())] { return TxtQuery_KeyPress(code); });
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace morvessa
