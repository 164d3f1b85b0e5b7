#pragma once
// The two places where the windows reach out of the program: message boxes and the
// user's web browser. Tests replace them with recorders.
#include <QString>
#include <QUrl>

#include <functional>

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

// Opens a page in the desktop's default web browser (or hands it to the installed opener).
void openInBrowser(const QUrl &url);
void setBrowserOpener(BrowserOpener opener);

// Runs one event handler. A failure stops the handler where it happened and is shown
// as a message; the steps already done keep their effect and the program goes on.
void runHandler(const std::function<void()> &handler);

} // namespace morvessa
