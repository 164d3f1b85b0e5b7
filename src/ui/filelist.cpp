#include "ui/filelist.h"

#include "ui/logic/filenames.h"
#include "ui/logic/folderlisting.h"

namespace morvessa {

namespace {
constexpr int kNameRole = Qt::UserRole; // the file name's bytes
}

FileList::FileList(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
}

QString FileList::path() const
{
    return shownPath(m_path);
}

void FileList::setPath(const QByteArray &folder)
{
    m_path = cleanFolder(folder);
    list();
}

void FileList::refresh()
{
    const QByteArray selected = nativeFileName();
    list();
    if (selected.isEmpty())
        return;
    for (int i = 0; i < count(); ++i) {
        if (item(i)->data(kNameRole).toByteArray() == selected) {
            setCurrentItem(item(i));
            return;
        }
    }
}

void FileList::list()
{
    clear();
    for (const ListedName &file : conditionFiles(m_path)) {
        auto *entry = new QListWidgetItem(file.shown, this);
        entry->setData(kNameRole, file.name);
    }
}

QString FileList::fileName() const
{
    const QList<QListWidgetItem *> items = selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

QByteArray FileList::nativeFileName() const
{
    const QList<QListWidgetItem *> items = selectedItems();
    return items.isEmpty() ? QByteArray() : items.first()->data(kNameRole).toByteArray();
}

void FileList::mouseDoubleClickEvent(QMouseEvent *event)
{
    QListWidget::mouseDoubleClickEvent(event);
    emit dblClick();
}

} // namespace morvessa
