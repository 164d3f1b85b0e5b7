#pragma once
// The condition file window's drive list: the drives of ui/logic/drives.h.
#include "ui/logic/drives.h"

#include <QComboBox>

#include <functional>

namespace morvessa {

class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget *parent = nullptr);
    // The mount point of the chosen drive.
    QString drive() const;
    // Shows the drive that holds path, without raising driveChanged.
    void showDriveOf(const QString &path);
    void refresh();

    // Where the drives come from; tests put their own in place.
    static std::function<QList<Drive>()> &source();
    static std::function<bool(const QString &root)> &ready();

signals:
    // The user chose another drive.
    void driveChanged();

protected:
    void showPopup() override;

private:
    QList<Drive> m_drives;
    QString m_shown;
};

} // namespace morvessa
