#include "ui/frmbrowser.h"

#include "ui/fonts.h"
#include "ui/logic/conditionfile.h"
#include "ui/twips.h"
#include "ui/uihooks.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

namespace morvessa {

namespace {

const QStringList kConditionPatterns = {QStringLiteral("*.txt"), QStringLiteral("*.set")};

QString cleanFolder(const QString &folder)
{
    return QDir::cleanPath(QDir(folder).absolutePath());
}

} // namespace

// ---------------------------------------------------------------- drive list

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
    if (!m_shown.isEmpty()
        && std::none_of(drives.begin(), drives.end(), [&](const Drive &d) { return d.root == m_shown; }))
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

// ---------------------------------------------------------------- folder list

namespace {
constexpr int kFolderRole = Qt::UserRole;
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
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { open(item); });
}

bool FolderList::canOpen(const QString &folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

bool FolderList::setPath(const QString &folder)
{
    const QString path = cleanFolder(folder);
    if (!canOpen(path))
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
    const QString folder = item->data(0, kFolderRole).toString();
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
    QStringList chain;
    for (QDir dir(m_path);; ) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    QTreeWidgetItem *parent = nullptr;
    for (const QString &folder : chain) {
        const QString name = QDir(folder).isRoot() ? folder : QFileInfo(folder).fileName();
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
        item->setText(0, name);
        item->setIcon(0, openIcon);
        item->setData(0, kFolderRole, folder);
        parent = item;
    }
    QTreeWidgetItem *current = parent;

    const QFileInfoList subfolders = QDir(m_path).entryInfoList(
        QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QFileInfo &sub : subfolders) {
        auto *item = new QTreeWidgetItem(current);
        item->setText(0, sub.fileName());
        item->setIcon(0, closedIcon);
        item->setData(0, kFolderRole, cleanFolder(sub.absoluteFilePath()));
    }
    expandAll();
    setCurrentItem(current);
    scrollToItem(current);
}

// ---------------------------------------------------------------- file list

FileList::FileList(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void FileList::setPath(const QString &folder)
{
    m_path = cleanFolder(folder);
    list();
}

void FileList::refresh()
{
    const QString selected = fileName();
    list();
    if (!selected.isEmpty()) {
        const auto again = findItems(selected, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (!again.isEmpty())
            setCurrentItem(again.first());
    }
}

void FileList::list()
{
    clear();
    // Without QDir::Hidden and QDir::System: no dot files, devices, pipes or broken links.
    const QStringList names = QDir(m_path).entryList(kConditionPatterns, QDir::Files,
                                                     QDir::Name | QDir::IgnoreCase);
    for (const QString &name : names) {
        if (name.startsWith(QLatin1Char('.')))
            continue;
        addItem(name);
    }
}

QString FileList::fileName() const
{
    const QList<QListWidgetItem *> items = selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

void FileList::mouseDoubleClickEvent(QMouseEvent *event)
{
    QListWidget::mouseDoubleClickEvent(event);
    emit dblClick();
}

// ---------------------------------------------------------------- the window

QPointer<frmBrowser> frmBrowser::s_instance;

const QString &frmBrowser::designedCaption()
{
    static const QString caption = QStringLiteral("全文檢索條件 瀏覽複製 編輯更新存檔");
    return caption;
}

frmBrowser *frmBrowser::showBrowser()
{
    if (!s_instance)
        s_instance = new frmBrowser;
    s_instance->show();
    if (s_instance->isMinimized())
        s_instance->showNormal();
    s_instance->raise();
    s_instance->activateWindow();
    return s_instance;
}

frmBrowser *frmBrowser::instance()
{
    return s_instance;
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
    auto paint = [](QWidget *w, const QColor &c, std::initializer_list<QPalette::ColorRole> roles) {
        QPalette p = w->palette();
        for (QPalette::ColorRole role : roles)
            p.setColor(role, c);
        w->setPalette(p);
        w->setAutoFillBackground(true);
    };
    paint(this, background, {QPalette::Window});

    fraFrame = new QGroupBox(QStringLiteral("選擇檔案"), this);
    fraFrame->setObjectName(QStringLiteral("fraFrame"));
    fraFrame->setGeometry(twipsRect(120, 120, 6615, 6255));
    fraFrame->setFont(mingFont(9.75, false));
    paint(fraFrame, background, {QPalette::Window});

    filList = new FileList(fraFrame);
    filList->setObjectName(QStringLiteral("filList"));
    filList->setGeometry(twipsRect(3480, 360, 2895, 2115));
    filList->setFont(mingFont(11.25, false));
    paint(filList, highlight, {QPalette::Base});

    drvList = new DriveList(this);
    drvList->setObjectName(QStringLiteral("drvList"));
    drvList->setGeometry(twipsRect(360, 480, 3015, 345));
    drvList->setFont(mingFont(11.25, false));
    paint(drvList, highlight, {QPalette::Base, QPalette::Button});

    dirList = new FolderList(this);
    dirList->setObjectName(QStringLiteral("dirList"));
    dirList->setGeometry(twipsRect(360, 960, 3015, 1620));
    dirList->setFont(mingFont(11.25, false));
    paint(dirList, highlight, {QPalette::Base});

    txtBrowser = new QPlainTextEdit(this);
    txtBrowser->setObjectName(QStringLiteral("txtBrowser"));
    txtBrowser->setGeometry(twipsRect(120, 2880, 6615, 2895));
    txtBrowser->setFont(mingFont(12.75, false));
    txtBrowser->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtBrowser->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtBrowser->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtBrowser->setTabChangesFocus(true);
    txtBrowser->installEventFilter(this);
    paint(txtBrowser, highlight, {QPalette::Base});

    Command1 = new QPushButton(QStringLiteral("存檔"), fraFrame);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twipsRect(5640, 5760, 855, 375));
    Command1->setFont(mingFont(11.25, false));
    paint(Command1, background, {QPalette::Button, QPalette::Window});

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
    const QString start = QDir::currentPath();
    drvList->showDriveOf(start);
    if (!dirList->setPath(start) && !dirList->setPath(QDir::homePath()))
        dirList->setPath(QDir::rootPath());
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

void frmBrowser::folderFailed(const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        message(QStringLiteral("找不到資料夾「%1」，它可能已被移走或刪除。").arg(folder));
    else
        message(QStringLiteral("沒有開啟資料夾「%1」的權限。").arg(folder));
}

void frmBrowser::drvList_Change()
{
    const QString root = drvList->drive();
    if (!DriveList::ready()(root)) {
        message(QStringLiteral("磁碟「%1」尚未就緒，無法使用。").arg(root));
        drvList->showDriveOf(dirList->path());
        return;
    }
    const QString folder = driveFolder(root);
    if (!dirList->setPath(folder)) {
        folderFailed(folder);
        drvList->showDriveOf(dirList->path());
    }
}

void frmBrowser::dirList_Change()
{
    const QString path = dirList->path();
    filList->setPath(path);
    if (!QDir::setCurrent(path))
        message(QStringLiteral("無法把「%1」設為目前的資料夾。").arg(path));
    drvList->showDriveOf(path);
    if (!drvList->drive().isEmpty())
        rememberDriveFolder(drvList->drive(), path);
}

QString frmBrowser::composedPath()
{
    const QString name = filList->fileName();
    if (name.isEmpty())
        return QString();
    const QString path = conditionFilePath(filList->path(), name);
    setWindowTitle(path);
    return path;
}

void frmBrowser::filList_DblClick()
{
    const QString path = composedPath();
    if (path.isEmpty()) {
        message(QStringLiteral("請先在檔案清單中選擇一個檔案。"));
        return;
    }
    const ConditionFileResult r = loadConditionFile(path);
    if (!r.ok) {
        message(r.message);
        if (!QFileInfo::exists(path))
            filList->refresh();
        return;
    }
    setText(r.text);
    if (!r.message.isEmpty())
        message(r.message);
}

void frmBrowser::Command1_Click()
{
    const QString path = composedPath();
    if (path.isEmpty()) {
        message(QStringLiteral("請先在檔案清單中選擇要存入的檔案。"));
        return;
    }
    const ConditionFileResult r = saveConditionFile(path, text());
    if (!r.ok)
        message(r.message);
}

bool frmBrowser::eventFilter(QObject *watched, QEvent *event)
{
    // Shift+Enter would put a line separator into the text, which is saved as a bare LF;
    // here every Enter ends the line with CR LF.
    if (watched == txtBrowser && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & Qt::ShiftModifier)) {
            txtBrowser->textCursor().insertBlock();
            txtBrowser->ensureCursorVisible();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace morvessa
