#include "ui/uihooks.h"

#include "ui/busycursor.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>

#include <exception>

namespace morvessa {

namespace {
MessageHandler &messageHandler()
{
    static MessageHandler handler;
    return handler;
}

BrowserOpener &browserOpener()
{
    static BrowserOpener opener;
    return opener;
}
} // namespace

void showMessage(const QString &text, MessageKind kind)
{
    const NormalCursor normal; // the box waits for the user, not the user for the program
    if (messageHandler()) {
        messageHandler()(text, kind);
        return;
    }
    QMessageBox box(kind == MessageKind::Failure ? QMessageBox::Warning : QMessageBox::NoIcon,
                    QStringLiteral("Morvessa"), text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void setMessageHandler(MessageHandler handler)
{
    messageHandler() = std::move(handler);
}

void openInBrowser(const QUrl &url)
{
    if (browserOpener()) {
        browserOpener()(url);
        return;
    }
    QDesktopServices::openUrl(url);
}

void setBrowserOpener(BrowserOpener opener)
{
    browserOpener() = std::move(opener);
}

void runHandler(const std::function<Result<void>()> &handler)
{
    try {
        if (const Result<void> done = handler(); !done)
            showMessage(done.message(), MessageKind::Failure);
    } catch (const std::exception &e) {
        showMessage(QString::fromLocal8Bit(e.what()), MessageKind::Failure);
    }
}

} // namespace morvessa
