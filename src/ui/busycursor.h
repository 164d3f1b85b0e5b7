#pragma once
// The wait cursor over the program's windows while a long step runs.
#include <QCursor>
#include <QList>

namespace morvessa {

// Shows the wait cursor for as long as it lives; nested ones stack.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// Brings the ordinary cursor back for as long as it lives, and then the cursors it took
// away: for a message box that a long step shows, which waits for the user.
class NormalCursor {
public:
    NormalCursor();
    ~NormalCursor();
    NormalCursor(const NormalCursor &) = delete;
    NormalCursor &operator=(const NormalCursor &) = delete;

private:
    QList<QCursor> m_taken;
};

} // namespace morvessa
