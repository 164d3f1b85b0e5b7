#include "ui/folderlist.h"

#include "ui/logic/filenames.h"
#include "ui/logic/folderlisting.h"

#include <QKeyEvent>
#include <QStyle>

namespace morvessa {

namespace {
constexpr int kFolderRole = Qt::UserRole; // the folder's bytes
}

FolderList::FolderList(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(fontMetrics().horizontalAdvance(QLatin1Char('M')));
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) { open(item); });
}

QString FolderList::path() const
{
    return shownPath(m_path);
}

bool FolderList::setPath(const QByteArray &folder)
{
    const QByteArray path = cleanFolder(folder);
    if (!canOpenFolder(path))
        return false;
    const bool changed = path != m_path;
    m_path = path;
    list();
    if (changed)
        emit pathChanged();
    return true;
}

void FolderList::open(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const QByteArray folder = item->data(0, kFolderRole).toByteArray();
    if (!setPath(folder)) {
        list(); // the folder may have gone: show what is there now
        emit openFailed(folder);
    }
}

void FolderList::drawBranches(QPainter *, const QRect &, const QModelIndex &) const
{
    // Every folder on the way is open; there is nothing to fold, so no branch marks.
}

void FolderList::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        open(currentItem());
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void FolderList::list()
{
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain from the root down to the folder itself.
    QList<QByteArray> chain{m_path};
    while (chain.first() != "/")
        chain.prepend(parentFolder(chain.first()));
    QTreeWidgetItem *parent = nullptr;
    for (const QByteArray &folder : chain) {
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
        item->setText(0, shownName(lastName(folder)));
        item->setIcon(0, openIcon);
        item->setData(0, kFolderRole, folder);
        parent = item;
    }
    QTreeWidgetItem *current = parent;

    for (const ListedName &sub : subfolders(m_path)) {
        auto *item = new QTreeWidgetItem(current);
        item->setText(0, sub.shown);
        item->setIcon(0, closedIcon);
        item->setData(0, kFolderRole, childPath(m_path, sub.name));
    }
    expandAll();
    setCurrentItem(current);
    scrollToItem(current);
}

} // namespace morvessa
