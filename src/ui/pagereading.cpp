#include "ui/pagereading.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <algorithm>
#include <array>
#include <functional>

namespace morvessa {

namespace {

// The zoom of every page for the rest of the run; a new window starts where the last left off.
double &keptZoom()
{
    static double zoom = 1.0;
    return zoom;
}

constexpr std::array kZoomLevels{0.5, 0.67, 0.75, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};

// The next marked term, selected and brought into view. The page's own scripts are off;
// this runs in the program's own world. The marker writes <font color=red>.
QString stepScript(int step)
{
    return QStringLiteral("(function (step) {"
                          "  const marks = Array.from(document.querySelectorAll('font')).filter("
                          "    (e) => (e.getAttribute('color') || '').toLowerCase() === 'red');"
                          "  if (marks.length === 0) return 0;"
                          "  let i = typeof window.morvessaMark === 'number' ? window.morvessaMark + step"
                          "                                                  : (step > 0 ? 0 : marks.length - 1);"
                          "  i = ((i % marks.length) + marks.length) % marks.length;"
                          "  window.morvessaMark = i;"
                          "  const range = document.createRange();"
                          "  range.selectNodeContents(marks[i]);"
                          "  const selection = window.getSelection();"
                          "  selection.removeAllRanges();"
                          "  selection.addRange(range);"
                          "  marks[i].scrollIntoView({block: 'center'});"
                          "  return marks.length;"
                          "})(%1)")
        .arg(step);
}

void addShortcut(QWidget *window, const QKeySequence &keys, const std::function<void()> &act)
{
    auto *shortcut = new QShortcut(keys, window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, window, act);
}

} // namespace

PageReading::PageReading(QWidget *window, QWebEngineView *pane, const QRect &barGeometry)
    : QObject(window), m_pane(pane)
{
    m_pane->setZoomFactor(keptZoom());
    // A new page starts at the run's zoom, whatever the engine keeps per address.
    connect(m_pane, &QWebEngineView::loadFinished, this, [this] {
        if (!qFuzzyCompare(m_pane->zoomFactor(), keptZoom()))
            m_pane->setZoomFactor(keptZoom());
    });
    m_pane->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pane, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QMenu *menu = makeContextMenu(m_pane);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_pane->mapToGlobal(at));
    });

    m_bar = new QWidget(window);
    m_bar->setObjectName(QStringLiteral("FindBar"));
    m_bar->setAutoFillBackground(true);
    m_bar->setGeometry(barGeometry);
    auto *layout = new QHBoxLayout(m_bar);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(new QLabel(QStringLiteral("尋找"), m_bar));
    m_field = new QLineEdit(m_bar);
    m_field->setObjectName(QStringLiteral("FindText"));
    layout->addWidget(m_field, 1);
    auto *previous = new QPushButton(QStringLiteral("上一個"), m_bar);
    auto *next = new QPushButton(QStringLiteral("下一個"), m_bar);
    m_count = new QLabel(m_bar);
    auto *close = new QPushButton(QStringLiteral("關閉"), m_bar);
    for (QPushButton *button : {previous, next, close}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::NoFocus); // the typed text keeps the focus
    }
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(m_count);
    layout->addWidget(close);
    m_bar->hide();
    // Enter stays the window's (to the result list): the bar finds as the text is typed.
    connect(m_field, &QLineEdit::textChanged, this, [this] { find(true); });
    connect(previous, &QPushButton::clicked, this, [this] { find(false); });
    connect(next, &QPushButton::clicked, this, [this] { find(true); });
    connect(close, &QPushButton::clicked, this, &PageReading::closeFind);
    // A page that comes while the bar is open (another record, or one still loading when
    // the text was typed) gets the bar's search anew: the count is never an earlier page's.
    connect(m_pane, &QWebEngineView::loadFinished, this, [this] {
        if (m_bar->isVisible() && !m_field->text().isEmpty()) {
            m_pane->page()->findText(QString()); // from the top, not a step from the last match
            find(true);
        }
    });

    addShortcut(window, QKeySequence::Find, [this] { openFind(); });
    addShortcut(window, QKeySequence(Qt::Key_F3), [this] { stepMarks(1); });
    addShortcut(window, QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { stepMarks(-1); });
    for (const QKeySequence &in : {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus),
                                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Plus)})
        addShortcut(window, in, [this] { zoom(1); });
    addShortcut(window, QKeySequence(Qt::CTRL | Qt::Key_Minus), [this] { zoom(-1); });
    addShortcut(window, QKeySequence(Qt::CTRL | Qt::Key_0), [this] { zoom(0); });
}

QMenu *PageReading::makeContextMenu(QWidget *parent) const
{
    auto *menu = new QMenu(parent);
    QWebEnginePage *page = m_pane->page();
    QAction *copy =
        menu->addAction(QStringLiteral("複製"), page, [page] { page->triggerAction(QWebEnginePage::Copy); });
    copy->setEnabled(page->hasSelection());
    // Editing commands act on the focused page.
    menu->addAction(QStringLiteral("全選"), page, [this, page] {
        m_pane->setFocus(Qt::OtherFocusReason);
        page->triggerAction(QWebEnginePage::SelectAll);
    });
    menu->addSeparator();
    auto *self = const_cast<PageReading *>(this);
    menu->addAction(QStringLiteral("尋找…"), self, [self] { self->openFind(); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("放大"), self, [self] { self->zoom(1); });
    menu->addAction(QStringLiteral("縮小"), self, [self] { self->zoom(-1); });
    menu->addAction(QStringLiteral("原始大小"), self, [self] { self->zoom(0); });
    return menu;
}

void PageReading::openFind()
{
    m_bar->show();
    m_bar->raise();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

void PageReading::closeFind()
{
    m_pane->page()->findText(QString()); // takes the highlights away
    m_count->clear();
    m_bar->hide();
}

void PageReading::find(bool forward)
{
    const QString text = m_field->text();
    const QWebEnginePage::FindFlags flags = forward ? QWebEnginePage::FindFlags() : QWebEnginePage::FindBackward;
    m_pane->page()->findText(text, flags, [this, text](const QWebEngineFindTextResult &result) {
        if (text != m_field->text())
            return; // a later search answers for the text now typed
        if (text.isEmpty())
            m_count->clear();
        else if (result.numberOfMatches() == 0)
            m_count->setText(QStringLiteral("找不到"));
        else
            m_count->setText(
                QStringLiteral("第%1處，共%2處").arg(result.activeMatch()).arg(result.numberOfMatches()));
    });
}

void PageReading::stepMarks(int step)
{
    m_pane->page()->runJavaScript(stepScript(step), QWebEngineScript::ApplicationWorld);
}

void PageReading::zoom(int step)
{
    double &zoom = keptZoom();
    if (step == 0) {
        zoom = 1.0;
    } else if (step > 0) {
        const auto larger = std::upper_bound(kZoomLevels.begin(), kZoomLevels.end(), zoom + 0.001);
        zoom = larger == kZoomLevels.end() ? kZoomLevels.back() : *larger;
    } else {
        const auto smaller = std::lower_bound(kZoomLevels.begin(), kZoomLevels.end(), zoom - 0.001);
        zoom = smaller == kZoomLevels.begin() ? kZoomLevels.front() : *(smaller - 1);
    }
    m_pane->setZoomFactor(zoom);
}

} // namespace morvessa
