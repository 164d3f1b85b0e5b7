#pragma once
// The condition file window: browse drives and folders for condition files (*.txt, *.set),
// load one into the text box, read, copy and edit it, and save it back.
#include "ui/logic/drives.h"

#include <QComboBox>
#include <QListWidget>
#include <QPointer>
#include <QTreeWidget>
#include <QWidget>

#include <functional>

class QGroupBox;
class QPlainTextEdit;
class QPushButton;

namespace morvessa {

// Drive list: the mounted volumes. drive() is the mount point of the chosen one.
class DriveList : public QComboBox
{
    Q_OBJECT
public:
    explicit DriveList(QWidget *parent = nullptr);
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

// Folder list: the current folder's ancestors down from the root, the folder itself and
// its subfolders, each indented below the one above. A double-click opens a folder.
class FolderList : public QTreeWidget
{
    Q_OBJECT
public:
    explicit FolderList(QWidget *parent = nullptr);
    QString path() const { return m_path; }
    // Moves to folder and raises pathChanged when it is another one. Returns false and
    // stays where it is when the folder cannot be opened.
    bool setPath(const QString &folder);
    static bool canOpen(const QString &folder);

signals:
    void pathChanged();
    void openFailed(const QString &folder);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;

private:
    void open(QTreeWidgetItem *item);
    void list();
    QString m_path;
};

// File list: the ordinary, not hidden files of its folder whose names end in .txt or
// .set in any letter case. fileName() is the selected name alone, empty when none is.
class FileList : public QListWidget
{
    Q_OBJECT
public:
    explicit FileList(QWidget *parent = nullptr);
    QString path() const { return m_path; }
    // Lists another folder with nothing selected: a name chosen in one folder never
    // chooses the file of the same name in the next.
    void setPath(const QString &folder);
    // Lists the folder again, keeping the selected file while it is there.
    void refresh();
    QString fileName() const;

signals:
    void dblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void list();
    QString m_path;
};

class frmBrowser : public QWidget
{
    Q_OBJECT
public:
    // The one window: created on first use, otherwise brought to the front as it is.
    static frmBrowser *showBrowser();
    // The open window, or nullptr.
    static frmBrowser *instance();

    static const QString &designedCaption();

    // The text box's text: each line followed by CR LF.
    QString text() const;
    void setText(const QString &text);

private slots:
    void drvList_Change();
    void dirList_Change();
    void filList_DblClick();
    void Command1_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    frmBrowser();
    void message(const QString &text);
    void folderFailed(const QString &folder);
    QString composedPath();

    QGroupBox *fraFrame;
    DriveList *drvList;
    FolderList *dirList;
    FileList *filList;
    QPlainTextEdit *txtBrowser;
    QPushButton *Command1;

    static QPointer<frmBrowser> s_instance;
};

} // namespace morvessa
