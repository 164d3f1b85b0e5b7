#pragma once
// A window's key preview: sees every key that goes down while one of the window's controls
// holds the focus, before that control does, and never stops it from going on there.
#include <QObject>

#include <functional>

class QWidget;

namespace morvessa {

// The window system's key codes, as a window's key preview receives them.
namespace vk {
inline constexpr int Backspace = 8;
inline constexpr int Tab = 9;
inline constexpr int Enter = 13;
inline constexpr int Escape = 27;
inline constexpr int Space = 32;
inline constexpr int PageUp = 33;
inline constexpr int PageDown = 34;
inline constexpr int End = 35;
inline constexpr int Home = 36;
inline constexpr int Left = 37;
inline constexpr int Up = 38;
inline constexpr int Right = 39;
inline constexpr int Down = 40;
inline constexpr int Insert = 45;
inline constexpr int Delete = 46;
inline constexpr int F1 = 112; // F1 to F24 follow on
inline constexpr int F7 = 118;
} // namespace vk

// The character code of Enter, as a key-press handler receives it.
inline constexpr int kEnterCharacter = 13;

// The window-system key code of a Qt key; 0 for keys that have none here.
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
