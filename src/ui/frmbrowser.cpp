#include "ui/frmbrowser.h"

#include "ui/drivelist.h"
#include "ui/filelist.h"
#include "ui/folderlist.h"
#include "ui/fonts.h"
#include "ui/logic/conditionfile.h"
#include "ui/logic/filenames.h"
#include "ui/logic/folderlisting.h"
#include "ui/twips.h"
#include "ui/uihooks.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>

namespace morvessa {

namespace {

// Gives a control its colour in the roles named (the system colours of the design).
void paint(QWidget *w, const QColor &c, std::initializer_list<QPalette::ColorRole> roles)
{
    QPalette p = w->palette();
    for (QPalette::ColorRole role : roles)
        p.setColor(role, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// Names a control and gives it its place (in twips), its font size and its colour.
void lay(QWidget *w, const char *name, const QRect &place, double points, const QColor &c,
         std::initializer_list<QPalette::ColorRole> roles)
{
    w->setObjectName(QLatin1String(name));
    w->setGeometry(place);
    w->setFont(mingFont(points, false));
    paint(w, c, roles);
}

} // namespace

const QString &frmBrowser::designedCaption()
{
    static const QString caption = QStringLiteral("全文檢索條件 瀏覽複製 編輯更新存檔");
    return caption;
}

frmBrowser *frmBrowser::showBrowser()
{
    return Show();
}

frmBrowser *frmBrowser::instance()
{
    return loaded();
}

void frmBrowser::closeEvent(QCloseEvent *event)
{
    closed();
    event->accept();
}

frmBrowser::frmBrowser() : QWidget(nullptr, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(designedCaption());
    setWindowIcon(QApplication::windowIcon());
    setFixedSize(twipsToPx(6870), twipsToPx(6465));

    // System colours: the inactive title text colour has no counterpart here, so the
    // window's own background stands for it; the button highlight is the light shade.
    const QColor background = palette().color(QPalette::Window);
    const QColor highlight = palette().color(QPalette::Light);
    paint(this, background, {QPalette::Window});

    fraFrame = new QGroupBox(QStringLiteral("選擇檔案"), this);
    lay(fraFrame, "fraFrame", twipsRect(120, 120, 6615, 6255), 9.75, background, {QPalette::Window});
    filList = new FileList(fraFrame);
    lay(filList, "filList", twipsRect(3480, 360, 2895, 2115), 11.25, highlight, {QPalette::Base});
    drvList = new DriveList(this);
    lay(drvList, "drvList", twipsRect(360, 480, 3015, 345), 11.25, highlight, {QPalette::Base, QPalette::Button});
    dirList = new FolderList(this);
    lay(dirList, "dirList", twipsRect(360, 960, 3015, 1620), 11.25, highlight, {QPalette::Base});

    txtBrowser = new QPlainTextEdit(this);
    lay(txtBrowser, "txtBrowser", twipsRect(120, 2880, 6615, 2895), 12.75, highlight, {QPalette::Base});
    txtBrowser->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtBrowser->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtBrowser->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtBrowser->setTabChangesFocus(true);
    txtBrowser->installEventFilter(this);

    Command1 = new QPushButton(QStringLiteral("存檔"), fraFrame);
    lay(Command1, "Command1", twipsRect(5640, 5760, 855, 375), 11.25, background,
        {QPalette::Button, QPalette::Window});

    // The frame is the backmost control; the lists and the text box lie over it.
    fraFrame->lower();
    setTabOrder(filList, drvList);
    setTabOrder(drvList, dirList);
    setTabOrder(dirList, txtBrowser);
    setTabOrder(txtBrowser, Command1);
    filList->setFocus();

    connect(drvList, &DriveList::driveChanged, this, &frmBrowser::drvList_Change);
    connect(dirList, &FolderList::pathChanged, this, &frmBrowser::dirList_Change);
    connect(dirList, &FolderList::openFailed, this, &frmBrowser::folderFailed);
    connect(filList, &FileList::dblClick, this, &frmBrowser::filList_DblClick);
    connect(Command1, &QPushButton::clicked, this, &frmBrowser::Command1_Click);

    // The lists start on the process's current directory.
    const QByteArray start = currentFolder();
    drvList->showDriveOf(shownPath(start));
    if (!dirList->setPath(start) && !dirList->setPath(nativePath(QDir::homePath())))
        dirList->setPath(QByteArrayLiteral("/"));
}

QString frmBrowser::text() const
{
    return textFromEditor(txtBrowser->document()->toRawText());
}

void frmBrowser::setText(const QString &text)
{
    txtBrowser->setPlainText(editorText(text));
}

void frmBrowser::message(const QString &text)
{
    showMessage(text, MessageKind::Failure);
}

void frmBrowser::folderFailed(const QByteArray &folder)
{
    if (!isFolder(folder))
        message(QStringLiteral("找不到資料夾「%1」，它可能已被移走或刪除。").arg(shownPath(folder)));
    else
        message(QStringLiteral("沒有開啟資料夾「%1」的權限。").arg(shownPath(folder)));
}

void frmBrowser::drvList_Change()
{
    const QString root = drvList->drive();
    if (!DriveList::ready()(root)) {
        message(QStringLiteral("磁碟「%1」尚未就緒，無法使用。").arg(root));
        drvList->showDriveOf(dirList->path());
        return;
    }
    const QByteArray folder = driveFolder(root);
    if (!dirList->setPath(folder)) {
        folderFailed(folder);
        drvList->showDriveOf(dirList->path());
    }
}

void frmBrowser::dirList_Change()
{
    const QByteArray path = dirList->nativePath();
    filList->setPath(path);
    if (!setCurrentFolder(path))
        message(QStringLiteral("無法把「%1」設為目前的資料夾。").arg(shownPath(path)));
    drvList->showDriveOf(shownPath(path));
    if (!drvList->drive().isEmpty())
        rememberDriveFolder(drvList->drive(), path);
}

QByteArray frmBrowser::composedPath()
{
    const QByteArray name = filList->nativeFileName();
    if (name.isEmpty())
        return QByteArray();
    const QByteArray path = childPath(filList->nativePath(), name);
    setWindowTitle(shownPath(path));
    return path;
}

void frmBrowser::filList_DblClick()
{
    const QByteArray path = composedPath();
    if (path.isEmpty()) {
        message(QStringLiteral("請先在檔案清單中選擇一個檔案。"));
        return;
    }
    const Result<LoadedConditions> loaded = loadConditionFile(path);
    if (!loaded) {
        message(loaded.message());
        filList->refresh(); // the file may have gone
        return;
    }
    setText(loaded->text);
    if (!loaded->warning.isEmpty())
        message(loaded->warning);
}

void frmBrowser::Command1_Click()
{
    const QByteArray path = composedPath();
    if (path.isEmpty()) {
        message(QStringLiteral("請先在檔案清單中選擇要存入的檔案。"));
        return;
    }
    const Result<void> saved = saveConditionFile(path, text());
    if (!saved)
        message(saved.message());
}

bool frmBrowser::eventFilter(QObject *watched, QEvent *event)
{
    // Shift+Enter would put a line separator into the text, which is saved as a bare LF;
    // here every Enter ends the line with CR LF.
    if (watched == txtBrowser && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & Qt::ShiftModifier)) {
            txtBrowser->textCursor().insertBlock();
            txtBrowser->ensureCursorVisible();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace morvessa
