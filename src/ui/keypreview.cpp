#include "ui/keypreview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

namespace morvessa {

int virtualKeyCode(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey; // the same codes in both
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return vk::F1 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Backspace:
        return vk::Backspace;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return vk::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return vk::Enter;
    case Qt::Key_Escape:
        return vk::Escape;
    case Qt::Key_Space:
        return vk::Space;
    case Qt::Key_PageUp:
        return vk::PageUp;
    case Qt::Key_PageDown:
        return vk::PageDown;
    case Qt::Key_End:
        return vk::End;
    case Qt::Key_Home:
        return vk::Home;
    case Qt::Key_Left:
        return vk::Left;
    case Qt::Key_Up:
        return vk::Up;
    case Qt::Key_Right:
        return vk::Right;
    case Qt::Key_Down:
        return vk::Down;
    case Qt::Key_Insert:
        return vk::Insert;
    case Qt::Key_Delete:
        return vk::Delete;
    default:
        return 0;
    }
}

int shiftState(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

KeyPreview::KeyPreview(QWidget *window, KeyDown keyDown)
    : QObject(window), window_(window), keyDown_(std::move(keyDown))
{
    qApp->installEventFilter(this);
}

KeyPreview::~KeyPreview()
{
    qApp->removeEventFilter(this);
}

bool KeyPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease && watched == window_->windowHandle())
        pending_ = nullptr; // a key no control of this window took
    if (event->type() != QEvent::KeyPress)
        return false;
    // A key comes to the window's top-level QWindow once; the window then picks the
    // control that has the focus and hands the same event to it, and from there it may
    // travel up to each parent that ignores it. The preview runs at the hand-over, once
    // per key: after the control has been picked, so a focus move made here does not take
    // the key away from it, and before the control has seen the key.
    if (watched == window_->windowHandle()) {
        pending_ = event;
        return false;
    }
    if (event == pending_) {
        pending_ = nullptr;
        const auto *control = qobject_cast<QWidget *>(watched);
        if (control && control->window() == window_) {
            const auto *key = static_cast<const QKeyEvent *>(event);
            keyDown_(virtualKeyCode(key->key()), shiftState(key->modifiers()));
        }
    }
    return false;
}

} // namespace morvessa
