#pragma once
// A window that exists at most once per run. The class derives from SingleWindow<itself>
// and befriends it; the one instance is "loaded" from its creation until it is unloaded
// or closed.
#include "ui/uihooks.h"

#include <QPointer>
#include <QWidget>

#include <utility>

namespace morvessa {

template <class Window>
class SingleWindow {
public:
    // The loaded window, or null while it is not loaded.
    static Window *loaded() { return slot().data(); }

    // Loads the window when it is not loaded, made from arguments, running its load step
    // Form_Load if it has one (a failure there is reported and the window stays loaded),
    // and returns it. A loaded window is returned as it is.
    template <class... Arguments>
    static Window *Load(Arguments &&...arguments)
    {
        if (!slot()) {
            Window *window = new Window(std::forward<Arguments>(arguments)...);
            slot() = window;
            if constexpr (requires { window->Form_Load(); })
                runHandler([window] { return window->Form_Load(); });
        }
        return slot();
    }

    // Loads the window when needed and shows it modeless, without an owner, in front.
    template <class... Arguments>
    static Window *Show(Arguments &&...arguments)
    {
        Window *window = Load(std::forward<Arguments>(arguments)...);
        window->show();
        if (window->isMinimized())
            window->showNormal();
        window->raise();
        window->activateWindow();
        return window;
    }

    // Hides and unloads the window. A window that is not loaded stays so: nothing to do.
    static void Unload()
    {
        Window *window = slot();
        if (!window)
            return;
        slot() = nullptr;
        window->hide();
        // Unloading may happen inside one of the window's own handlers.
        window->deleteLater();
    }

protected:
    // For the window's close event, once the close is accepted: it is unloaded from now on
    // (the window deletes itself on close).
    void closed()
    {
        if (slot() == static_cast<Window *>(this))
            slot() = nullptr;
    }

private:
    static QPointer<Window> &slot()
    {
        static QPointer<Window> window;
        return window;
    }
};

} // namespace morvessa
