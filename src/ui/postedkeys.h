#pragma once
// Keystrokes posted as keyboard input: each one reaches the widget that has the
// keyboard focus when it is processed, not when it is posted.
class QWidget;

namespace morvessa {

// Posts a press and release of key. When no widget of the program has the focus at
// that time (the program is not the active one), the key goes to the focus widget of
// window, if that window is on screen; otherwise it is dropped.
void postKeyToFocus(int key, QWidget *window);

} // namespace morvessa
