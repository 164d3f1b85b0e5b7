#include "ui/drivelist.h"

#include <algorithm>

namespace morvessa {

DriveList::DriveList(QWidget *parent) : QComboBox(parent)
{
    refresh();
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (index < 0 || index >= m_drives.size() || m_drives[index].root == m_shown)
            return;
        m_shown = m_drives[index].root;
        emit driveChanged();
    });
}

std::function<QList<Drive>()> &DriveList::source()
{
    static std::function<QList<Drive>()> f = mountedDrives;
    return f;
}

std::function<bool(const QString &)> &DriveList::ready()
{
    static std::function<bool(const QString &)> f = driveReady;
    return f;
}

QString DriveList::drive() const
{
    return m_shown;
}

void DriveList::refresh()
{
    QList<Drive> drives = source()();
    // The drive shown stays in the list even while it is away, so the list never lies.
    if (!m_shown.isEmpty() &&
        std::none_of(drives.begin(), drives.end(), [&](const Drive &d) { return d.root == m_shown; }))
        drives.append(Drive{m_shown, QString()});
    const QSignalBlocker block(this);
    clear();
    m_drives = drives;
    for (const Drive &d : m_drives)
        addItem(d.display());
    for (qsizetype i = 0; i < m_drives.size(); ++i)
        if (m_drives[i].root == m_shown)
            setCurrentIndex(int(i));
}

void DriveList::showDriveOf(const QString &path)
{
    qsizetype i = driveOf(m_drives, path);
    if (i < 0) {
        refresh();
        i = driveOf(m_drives, path);
    }
    if (i < 0)
        return;
    m_shown = m_drives[i].root;
    const QSignalBlocker block(this);
    setCurrentIndex(int(i));
}

void DriveList::showPopup()
{
    refresh(); // media come and go
    QComboBox::showPopup();
}

} // namespace morvessa
