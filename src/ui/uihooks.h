#pragma once
// The two places where the windows reach out of the program: message boxes and the
// user's web browser. Tests replace them with recorders.
#include "base/result.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <type_traits>

class QWidget;

namespace morvessa {

enum class MessageKind {
    Plain,   // OK only, no icon (the not-found message)
    Failure, // something went wrong; OK only, warning icon
};

using MessageHandler = std::function<void(const QString &text, MessageKind kind)>;
using BrowserOpener = std::function<void(const QUrl &url)>;

// Shows a modal message box captioned "Morvessa" (or hands it to the installed handler).
void showMessage(const QString &text, MessageKind kind = MessageKind::Plain);
// Replaces the message box; an empty handler restores it.
void setMessageHandler(MessageHandler handler);

// Opens a local page in the desktop's web browser (or hands it to the installed opener).
// Fails, with a message naming the page, where no browser in a window of its own would
// show it (none at all, or only one for a terminal) or the desktop could not start it.
Result<void> openInBrowser(const QUrl &url);
void setBrowserOpener(BrowserOpener opener);

// Runs one event handler. A failure it returns (or an exception it throws, a fault of the
// program) is shown as a message; the steps already done keep their effect and the
// program goes on.
void runHandler(const std::function<Result<void>()> &handler);

// The same for a handler that cannot fail.
template <class Handler>
requires std::is_void_v<std::invoke_result_t<Handler &>>
void runHandler(Handler handler)
{
    runHandler(std::function<Result<void>()>([&handler]() -> Result<void> {
        handler();
        return {};
    }));
}

} // namespace morvessa
