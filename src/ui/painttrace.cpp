#include "ui/painttrace.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <ctime>

namespace morvessa {

namespace {

class FirstPaints : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        // A widget window draws and flushes its frame while it handles these events; the
        // zero timer runs once that is done.
        if (event->type() == QEvent::Expose || event->type() == QEvent::UpdateRequest) {
            auto *window = qobject_cast<QWindow *>(object);
            if (window && window->isExposed() && !m_seen.contains(window)) {
                m_seen.insert(window);
                QTimer::singleShot(0, this, [window = QPointer<QWindow>(window)] {
                    if (!window)
                        return;
                    timespec now{};
                    ::clock_gettime(CLOCK_REALTIME, &now);
                    std::fprintf(stderr, "painted %s %lld.%09ld\n", window->title().toUtf8().constData(),
                                 static_cast<long long>(now.tv_sec), now.tv_nsec);
                    std::fflush(stderr);
                });
            }
        }
        return false;
    }

private:
    QSet<QWindow *> m_seen;
};

} // namespace

void traceFirstPaintsIfAsked()
{
    if (qEnvironmentVariableIsEmpty("MORVESSA_TRACE_PAINTS"))
        return;
    QCoreApplication::instance()->installEventFilter(new FirstPaints(QCoreApplication::instance()));
}

} // namespace morvessa
