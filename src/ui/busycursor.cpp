#include "ui/busycursor.h"

#include <QGuiApplication>

namespace morvessa {

BusyCursor::BusyCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor()
{
    QGuiApplication::restoreOverrideCursor();
}

NormalCursor::NormalCursor()
{
    while (const QCursor *cursor = QGuiApplication::overrideCursor()) {
        m_taken.prepend(*cursor);
        QGuiApplication::restoreOverrideCursor();
    }
}

NormalCursor::~NormalCursor()
{
    for (const QCursor &cursor : m_taken)
        QGuiApplication::setOverrideCursor(cursor);
}

} // namespace morvessa
