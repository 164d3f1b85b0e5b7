#pragma once
// A window's key preview: sees every key that goes down while one of the window's controls
// holds the focus, before that control does, and never stops it from going on there.
#include <QObject>

#include <functional>

class QWidget;

namespace morvessa {

// The window-system key code of a Qt key (13 Enter, 27 Esc, 38 Up, 40 Down, 118 F7, ...);
// 0 for keys that have none here.
int virtualKeyCode(int qtKey);
// Shift, Ctrl and Alt as bits 1, 2 and 4.
int shiftState(Qt::KeyboardModifiers modifiers);

class KeyPreview : public QObject {
    Q_OBJECT
public:
    using KeyDown = std::function<void(int keyCode, int shift)>;
    // Previews the keys of window for as long as window lives.
    KeyPreview(QWidget *window, KeyDown keyDown);
    ~KeyPreview() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window_;
    KeyDown keyDown_;
    const QEvent *pending_ = nullptr;
};

} // namespace morvessa
