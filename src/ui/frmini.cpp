#include "ui/frmini.h"

#include "search/searchrun.h"

#include "store/appfolder.h"
#include "store/connstring.h"
#include "ui/busycursor.h"
#include "ui/collectionpane.h"
#include "ui/frmzendrelmain.h"
#include "ui/picturebutton.h"
#include "ui/pictures.h"
#include "ui/twips.h"
#include "ui/uihooks.h"

#include <QCloseEvent>
#include <QPainter>
#include <QTimer>
#include <QUrl>

namespace morvessa {

namespace {
// Long enough that a user who goes on at once is not kept waiting by it: the browser
// engine's start takes both cores for a while, and the main window paints its list first
// and starts the pane itself after that.
constexpr int kPanePreparationDelayMs = 1000;
} // namespace

FrmIni::FrmIni(const Collection &collection, std::shared_ptr<const VariantTable> variants)
    : QWidget(nullptr), m_collection(collection), m_variants(std::move(variants))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Morvessa"));
    setWindowIcon(pictures::appIcon());
    setAutoFillBackground(true);
    m_picture = pictures::startBackground();

    const QPixmap queryPicture = pictures::queryButton();
    cmdQuery = new PictureButton(this);
    cmdQuery->setObjectName(QStringLiteral("cmdQuery"));
    cmdQuery->setAccessibleName(QStringLiteral("進入檢索"));
    cmdQuery->setGeometry(twipsRect(8400, 3720, 2100, 735));
    cmdQuery->setPicture(queryPicture);
    cmdQuery->setDisabledPicture(queryPicture);
    cmdQuery->setDownPicture(pictures::queryButtonDown());

    const QPixmap setPicture = pictures::setButton();
    cmdSet = new PictureButton(this);
    cmdSet->setObjectName(QStringLiteral("cmdSet"));
    cmdSet->setAccessibleName(QStringLiteral("使用導覽"));
    cmdSet->setGeometry(twipsRect(8400, 5520, 2100, 735));
    cmdSet->setPicture(setPicture);
    cmdSet->setDownPicture(setPicture);
    cmdSet->setDisabledPicture(setPicture);

    setTabOrder(cmdQuery, cmdSet);
    cmdQuery->setFocus();
    setFixedSize(clientSizeForOuterTwips(12000 + 120, 8610 + 405));

    connect(cmdQuery, &PictureButton::clicked, this, [this] { runHandler([this] { cmdQuery_Click(); }); });
    connect(cmdSet, &PictureButton::clicked, this, [this] { runHandler([this] { cmdSet_Click(); }); });
}

QPixmap FrmIni::pictureOf(const QString &literal) const
{
    const QString path = appPath(m_collection.folder, literal);
    if (!fileExists(path))
        return QPixmap();
    return pictures::loadPictureFile(path);
}

void FrmIni::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

void FrmIni::Form_Load()
{
    move(0, 0);
    setFixedSize(clientSizeForOuterTwips(12120, 9015));

    const QString &folder = m_collection.folder;
    ConnString = buildConnString(folder);
    // The collection is read while the user looks at this window: on a large one, the
    // main window's first search would otherwise read and check it after Enter.
    prepareSearch(ConnString, m_collection);

    if (fileExists(appPath(folder, QStringLiteral("\\EditMod"))))
        cmdSet->setVisible(true);

    // A picture file that cannot be read leaves the laid-out picture in place.
    if (const QPixmap background = pictureOf(QStringLiteral("\\index.jpg")); !background.isNull())
        setPicture(background);
    if (const QPixmap logo = pictureOf(QStringLiteral("\\index-logo1.jpg")); !logo.isNull()) {
        cmdQuery->setPicture(logo);
        cmdQuery->setDisabledPicture(logo);
    }
    if (const QPixmap logo = pictureOf(QStringLiteral("\\index-logo2.jpg")); !logo.isNull()) {
        cmdSet->setPicture(logo);
        cmdSet->setDisabledPicture(logo);
    }
    // Once the start window has been on screen a moment, the main window's browser pane is
    // made ready.
    QTimer::singleShot(kPanePreparationDelayMs, this, [folder = m_collection.folder] {
        if (!FrmZendrelMain::loaded())
            CollectionPane::prepare(folder);
    });
}

void FrmIni::cmdQuery_Click()
{
    // The first time, the main window loads: the browser pane starts and the first search runs.
    const BusyCursor busy;
    FrmZendrelMain::Show(m_collection, m_variants);
}

void FrmIni::cmdSet_Click()
{
    const QString &folder = m_collection.folder;
    const QString logoPath = appPath(folder, QStringLiteral("\\index-logo2.jpg"));
    if (!fileExists(logoPath))
        return;
    if (const QPixmap logo = pictures::loadPictureFile(logoPath); !logo.isNull()) {
        cmdSet->setPicture(logo);
        cmdSet->setDisabledPicture(logo);
    }
    if (const Result<void> opened =
            openInBrowser(QUrl::fromLocalFile(appPath(folder, QStringLiteral("\\demo.htm"))));
        !opened)
        showMessage(opened.message(), MessageKind::Failure);
}

void FrmIni::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawPixmap(0, 0, m_picture);
}

void FrmIni::closeEvent(QCloseEvent *event)
{
    closed();
    event->accept();
}

} // namespace morvessa
