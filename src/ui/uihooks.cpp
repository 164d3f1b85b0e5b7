#include "ui/uihooks.h"

#include "ui/busycursor.h"
#include "ui/logic/webbrowser.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
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

Result<void> openInBrowser(const QUrl &url)
{
    if (browserOpener()) {
        browserOpener()(url);
        return {};
    }
    const QString page = QDir::toNativeSeparators(url.toLocalFile());
    if (!hasGraphicalBrowser(currentBrowserEnvironment()))
        return Failure{QStringLiteral("找不到可以顯示「%1」的網頁瀏覽器。\n"
                                      "這個頁面要在有視窗的網頁瀏覽器（例如 Firefox）中閱讀；"
                                      "請安裝一個，或用其他程式開啟這個檔案。")
                           .arg(page)};
    if (!QDesktopServices::openUrl(url))
        return Failure{QStringLiteral("無法開啟網頁瀏覽器來顯示「%1」。").arg(page)};
    return {};
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
