#pragma once
// The condition file window: browse drives and folders for condition files (*.txt, *.set),
// load one into the text box, read, copy and edit it, and save it back.
#include "ui/singlewindow.h"

#include <QWidget>

class QGroupBox;
class QPlainTextEdit;
class QPushButton;

namespace morvessa {

class DriveList;
class FileList;
class FolderList;

class frmBrowser : public QWidget, public SingleWindow<frmBrowser> {
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
    void closeEvent(QCloseEvent *event) override;

private:
    friend class SingleWindow<frmBrowser>;
    frmBrowser();
    void message(const QString &text);
    void folderFailed(const QByteArray &folder);
    // The selected file in the file list's folder, by its bytes; empty when no file is
    // selected. Shows the path in the caption.
    QByteArray composedPath();

    QGroupBox *fraFrame;        // the frame "選擇檔案" around everything
    DriveList *drvList;         // drive list
    FolderList *dirList;        // folder list
    FileList *filList;          // file list
    QPlainTextEdit *txtBrowser; // the condition text being worked on
    QPushButton *Command1;      // 存檔
};

} // namespace morvessa
