#pragma once
// What a reader does with the page pane beside the window's own keys: the pane's context
// menu (only what works, in the program's language), a find bar (Ctrl+F), stepping
// through the page's marked terms (F3, Shift+F3) and zoom (Ctrl+=, Ctrl+-, Ctrl+0), kept
// for the rest of the run. Enter, Up, Down, Esc and F7 stay the window's.
#include <QObject>
#include <QRect>

class QLabel;
class QLineEdit;
class QMenu;
class QWebEngineView;
class QWidget;

namespace morvessa {

class PageReading : public QObject {
    Q_OBJECT
public:
    // Adds the keys to window and the find bar at barGeometry (over the pane's foot).
    PageReading(QWidget *window, QWebEngineView *pane, const QRect &barGeometry);

    // The context menu as it is for the pane's current selection; the caller owns it.
    QMenu *makeContextMenu(QWidget *parent) const;

    void openFind();
    void closeFind();
    // Finds the find bar's text forward (backward when false) and says how many there are.
    void find(bool forward);
    // Selects the next (step 1) or previous (step -1) marked term and scrolls it into view.
    void stepMarks(int step);
    // One step in (1) or out (-1) of the zoom levels, or back to actual size (0).
    void zoom(int step);

    QWidget *findBar() const { return m_bar; }
    QLineEdit *findField() const { return m_field; }
    QLabel *findCount() const { return m_count; }

private:
    QWebEngineView *m_pane;
    QWidget *m_bar;
    QLineEdit *m_field;
    QLabel *m_count;
};

} // namespace morvessa
