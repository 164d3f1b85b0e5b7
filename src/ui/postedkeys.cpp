#include "ui/postedkeys.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace morvessa {

namespace {
const QEvent::Type kPostedKey = QEvent::Type(QEvent::registerEventType());

class PostedKeyEvent : public QEvent {
public:
    PostedKeyEvent(int pressed, QWidget *target) : QEvent(kPostedKey), key(pressed), window(target) {}
    int key;
    QPointer<QWidget> window;
};

class KeyDispatcher : public QObject {
public:
    bool event(QEvent *event) override
    {
        if (event->type() != kPostedKey)
            return QObject::event(event);
        const auto *posted = static_cast<PostedKeyEvent *>(event);
        QWidget *target = QApplication::focusWidget();
        if (!target && posted->window && posted->window->isVisible())
            target = posted->window->focusWidget();
        if (target) {
            QPointer<QWidget> guard(target);
            QKeyEvent press(QEvent::KeyPress, posted->key, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &press);
            if (guard) {
                QKeyEvent release(QEvent::KeyRelease, posted->key, Qt::NoModifier);
                QCoreApplication::sendEvent(guard, &release);
            }
        }
        return true;
    }
};

KeyDispatcher *dispatcher()
{
    // Lives as long as the program; posted keys may still be pending at exit.
    static auto *instance = new KeyDispatcher;
    return instance;
}
} // namespace

void postKeyToFocus(int key, QWidget *window)
{
    QCoreApplication::postEvent(dispatcher(), new PostedKeyEvent(key, window));
}

} // namespace morvessa
