#include "ui/frmzendrelmain.h"

#include "page/marking.h"
#include "page/pageclaim.h"
#include "page/pagefile.h"
#include "page/pagelookup.h"
#include "search/queryanalysis.h"
#include "search/searchrun.h"
#include "store/connstring.h"
#include "text/variants.h"
#include "ui/busycursor.h"
#include "ui/collectionpane.h"
#include "ui/contrast.h"
#include "ui/fonts.h"
#include "ui/frmbrowser.h"
#include "ui/frmini.h"
#include "ui/keypreview.h"
#include "ui/pagereading.h"
#include "ui/picturebutton.h"
#include "ui/pictures.h"
#include "ui/postedkeys.h"
#include "ui/printing.h"
#include "ui/resultgrid.h"
#include "ui/twips.h"
#include "ui/uihooks.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cstdio>

namespace morvessa {

namespace {
const QString kCaption = QStringLiteral("Morvessa-目錄瀏覽 & 關鍵字搜尋");
const QString kVariantsCaption = QStringLiteral("（異體字）");
const QString kFirstHeader = QStringLiteral("內容標題 或 查詢結果");
const QString kResultHeader = QStringLiteral(" 內容標題 或 查詢結果");
const QString kPageHeader = QStringLiteral("位置");
const QString kOpenConditions = QStringLiteral("條件存取");
const QString kClearConditions = QStringLiteral("條件清除");

// The query box's list as designed: an empty entry and the two condition commands.
void addDesignedEntries(QComboBox *box)
{
    for (const QString &entry : {QString(), kOpenConditions, kClearConditions})
        box->addItem(entry, 0);
}

// The query box as designed, with its list.
QComboBox *newQueryBox(QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QStringLiteral("TxtQuery"));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setDuplicatesEnabled(true);
    // What the user types stays as typed: no completion from the list's entries.
    box->setCompleter(nullptr);
    box->setGeometry(twipsRect(240, 240, 3500, 405));
    box->setFont(mingFont(14.25, true));
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Light));
    palette.setColor(QPalette::Text, QColor(0, 0, 128));
    box->setPalette(palette);
    box->setToolTip(QStringLiteral("輸入搜尋的關鍵字例:發熱  頭痛 "));
    addDesignedEntries(box);
    return box;
}

} // namespace

FrmZendrelMain::FrmZendrelMain(const Collection &collection, std::shared_ptr<const VariantTable> variants)
    : QWidget(nullptr), m_collection(collection), m_variants(std::move(variants))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(pictures::appIcon());
    setFont(arialFont(14.25));
    setAutoFillBackground(true);
    m_panel = pictures::mainPanel();

    TxtQuery = newQueryBox(this);
    // Keys reach the combo box, which hands them to its line edit directly.
    TxtQuery->installEventFilter(this);

    Command1 = new PictureButton(this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAccessibleName(QStringLiteral("搜尋"));
    Command1->setGeometry(twipsRect(2650, 690, 1080, 480));
    Command1->setPicture(pictures::searchButton());

    ct = new QLabel(QStringLiteral("第100000筆"), this);
    ct->setObjectName(QStringLiteral("ct"));
    ct->setGeometry(twipsRect(240, 720, 1695, 375));
    ct->setAlignment(Qt::AlignCenter);
    ct->setToolTip(QStringLiteral("按目錄時可顯示第幾筆"));
    {
        // The selection-highlight colour where it reads on the panel, else darkened until it does.
        const QImage panel = m_panel.toImage();
        const QPoint under = ct->geometry().center() * m_panel.devicePixelRatio();
        QPalette palette = ct->palette();
        palette.setColor(QPalette::WindowText,
                         readableOn(palette.color(QPalette::Highlight), panel.pixelColor(under)));
        ct->setPalette(palette);
    }

    Grd1 = new ResultGrid(this);
    Grd1->setObjectName(QStringLiteral("Grd1"));
    Grd1->setGeometry(twipsRect(240, 1200, 3375, 7125));
    Grd1->setLeft(240);
    Grd1->setWidth(3375);

    LblDesc = new QWebEngineView(this);
    LblDesc->setObjectName(QStringLiteral("LblDesc"));
    LblDesc->setGeometry(twipsRect(3830, 225, 8000, 8115));
    // A window holding a browser view takes a good part of a second more to show its
    // first frame (the view's graphics surface): the view shows once the list has.
    LblDesc->setVisible(false);
    Reading = nullptr; // made with the pane's page (readyPane)

    setTabOrder(Grd1, Command1);
    setTabOrder(Command1, LblDesc);
    setTabOrder(LblDesc, TxtQuery);
    Grd1->setFocus();

    connect(Grd1, &ResultGrid::RowColChange, this, [this] { runHandler([this] { Grd1_RowColChange(); }); });
    connect(Command1, &PictureButton::clicked, this, [this] { runHandler([this] { return Command1_Click(); }); });

    m_printTarget = defaultPrinterTarget();
    new KeyPreview(this, [this](int keyCode, int shift) {
        runHandler([this, keyCode, shift] { Form_KeyDown(keyCode, shift); });
    });
    connect(Grd1, &ResultGrid::MouseMove, this, [this](int button, int shift, float x, float y) {
        runHandler([=, this] { Grd1_MouseMove(button, shift, x, y); });
    });
}

FrmZendrelMain::~FrmZendrelMain() = default;

std::shared_ptr<const VariantTable>
FrmZendrelMain::chooseVariantSearch(const Result<std::shared_ptr<const VariantTable>> &loaded)
{
    if (loaded)
        return *loaded;
    const QString message =
        QStringLiteral("異體字對照表無法讀取，改用一般檢索（只找與查詢相同的字）。\n") + loaded.message();
    // Also for a start from a terminal, and before the box waits for its OK.
    std::fprintf(stderr, "morvessa: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
    showMessage(message, MessageKind::Failure);
    return nullptr;
}

Result<void> FrmZendrelMain::Form_Load()
{
    const QString &folder = m_collection.folder;
    // Claimed with the first record shown (claimRecordPage): started where there is no
    // collection, the program writes nothing there.
    PagePath = recordPagePath(folder);

    move(0, 0);
    // The outer size leaves room for a frame and a title bar, which the window keeps.
    setFixedSize(clientSizeForOuterTwips(12120, 9100));
    if (const std::shared_ptr<const VariantTable> variants = m_variants) {
        // Made once for the window: it decodes every Big5 code.
        m_fold = std::make_unique<const MarkingFold>([variants](char32_t c) { return variants->fold(c); });
        setWindowTitle(kCaption + kVariantsCaption);
    } else {
        setWindowTitle(kCaption);
    }

    Grd1->setLeft(200);
    Grd1->setWidth(3520);
    Grd1->setColWidth(0, 3500);
    Grd1->setColWidth(1, 0);
    Grd1->setScrollBars(2);
    Grd1->setTextArray(0, kFirstHeader);

    TxtQuery->move(twipsToPx(Grd1->Left()), TxtQuery->y());
    TxtQuery->setEditText(QString());

    Navigate(folder + QLatin1Char('/') + QStringLiteral("Help.htm"));
    const Result<void> searched = DoSearch();
    // The list of everything needs no dictionaries; the first search with a term will,
    // and the user's typing gives the time to load them.
    if (searchesVariants())
        prepareVariantSearch();
    return searched;
}

void FrmZendrelMain::Form_Unload()
{
    if (m_pageClaim)
        deleteRecordPage(PagePath);
    m_pageClaim.reset();
}

Result<void> FrmZendrelMain::DoSearch()
{
    const BusyCursor busy; // a message box on the way brings the ordinary cursor back
    const QueryAnalysis analysis = analyseQuery(TxtQuery->currentText());
    TxtQuery->setEditText(analysis.trimmed);
    SqlText = analysis.sqlText;

    const Result<SearchOutcome> searched =
        runSearch(ConnString, analysis, searchesVariants() ? Matching::Variants : Matching::Exact, m_collection);
    if (!searched)
        return searched.failure();
    m_collectionOpened = true;
    const SearchOutcome &outcome = *searched;
    if (!outcome.found()) {
        showMessage(notFoundMessage(analysis.messageText), MessageKind::Plain);
        return {};
    }

    Grd1->setDataSource(outcome.rows);
    Grd1->setTextArray(0, kResultHeader);
    Grd1->setTextArray(1, kPageHeader);
    Grd1->setRow(1);
    Grd1->setCol(1);
    if (analysis.mode == QueryMode::ListAll) {
        if (Grd1->Visible())
            Grd1->SetFocus();
        // Page Down takes effect now; Page Up once the search has returned, which
        // walks the focused grid down a page and back to row 1.
        postKeyToFocus(Qt::Key_PageDown, this);
        QCoreApplication::processEvents();
        postKeyToFocus(Qt::Key_PageUp, this);
    } else {
        Grd1->SetFocus();
    }
    m_searchMode = analysis.mode;
    Grd1_RowColChange();
    return {};
}

bool FrmZendrelMain::claimRecordPage()
{
    if (!m_pageClaim && m_collectionOpened) {
        m_pageClaim = std::make_unique<RecordPageClaim>(m_collection.folder);
        PagePath = m_pageClaim->path();
    }
    return m_pageClaim != nullptr;
}

void FrmZendrelMain::Grd1_RowColChange()
{
    const QString &folder = m_collection.folder;
    const QString pageName = Grd1->TextMatrix(Grd1->Row(), 1);
    // The box is read anew on every row change, in the mode of the last search that found
    // records; before any, nothing is dropped.
    const QueryMode searchMode = m_searchMode.value_or(QueryMode::ListAll);
    const bool mayWrite = claimRecordPage();
    const auto write = mayWrite
                           ? WriteRecordPage(folder, PagePath, pageName,
                                             keywordTextFor(TxtQuery->currentText(), searchMode), m_fold.get())
                           : Result<void, UnwritableFolder>();
    ct->setText(QStringLiteral("第") + QString::number(Grd1->Row()) + QStringLiteral("筆"));
    if (!hasOperator(searchMode)) {
        if (Grd1->Row() != 0)
            FrmIni::Unload();
        else
            FrmIni::Show(m_collection);
    }
    if (!mayWrite) // no collection has been opened: nothing to show, nothing written
        return;
    PageProblem problem = PageProblem::None;
    if (write && Grd1->Row() != 0)
        sourcePagePath(folder, pageName, problem);
    if (write && problem != PageProblem::None) // not a silent white pane: say which page and why
        showInPane([this, notice = unreadablePageNotice(pageName, pageProblemText(problem))] {
            LblDesc->setHtml(notice);
        });
    else if (write)
        Navigate(PagePath);
    else // neither the browser's own error page nor a page written earlier
        showInPane([this, notice = unwritableFolderPage(write.failure().folder)] { LblDesc->setHtml(notice); });
}

Result<void> FrmZendrelMain::TxtQuery_KeyPress(int KeyAscii)
{
    if (KeyAscii == kEnterCharacter)
        return DoSearch();
    return {};
}

Result<void> FrmZendrelMain::Command1_Click()
{
    EntryText = TxtQuery->currentText();
    if (EntryText != kClearConditions && EntryText != kOpenConditions) {
        if (const Result<void> searched = TxtQuery_KeyPress(kEnterCharacter); !searched)
            return searched; // the entry is not remembered
        // Only a repeat of the newest entry is left out; the list gets the trimmed text.
        if (LastEntry != EntryText) {
            TxtQuery->addItem(TxtQuery->currentText(), 0);
            LastEntry = EntryText;
        }
    } else {
        TxtQuery->setEditText(QString());
    }
    if (EntryText == kOpenConditions)
        frmBrowser::showBrowser();
    if (EntryText == kClearConditions) {
        TxtQuery->clear();
        addDesignedEntries(TxtQuery);
    }
    return {};
}

void FrmZendrelMain::Navigate(const QString &path)
{
    // A new navigation, never a history step: the file is read again even when the
    // pane shows it already.
    showInPane([this, path] { LblDesc->load(QUrl::fromLocalFile(path)); });
}

QWebEngineView *FrmZendrelMain::readyPane()
{
    if (m_paneStarted)
        return LblDesc;
    m_paneStarted = true;
    LblDesc->setPage(CollectionPane::take(m_collection.folder, LblDesc));
    // Pages that declare no character set are Big5, like every page of a collection.
    LblDesc->settings()->setDefaultTextEncoding(QStringLiteral("Big5"));
    const QRect pane = LblDesc->geometry();
    const int height = TxtQuery->height();
    Reading = new PageReading(this, LblDesc, QRect(pane.left(), pane.bottom() + 1 - height, pane.width(), height));
    LblDesc->setVisible(true);
    if (m_waitingForPane)
        std::exchange(m_waitingForPane, {})();
    return LblDesc;
}

void FrmZendrelMain::showInPane(std::function<void()> show)
{
    if (m_paneStarted)
        show();
    else
        m_waitingForPane = std::move(show);
}

void FrmZendrelMain::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawPixmap(0, 0, m_panel);
    if (!m_paneStarted) // where the pane will be, an empty page
        p.fillRect(LblDesc->geometry(), palette().color(QPalette::Base));
    // The list is on screen with this frame: the browser engine starts after it.
    if (!m_paneScheduled) {
        m_paneScheduled = true;
        QTimer::singleShot(0, this, [this] { readyPane(); });
    }
}

void FrmZendrelMain::closeEvent(QCloseEvent *event)
{
    runHandler([this] { Form_Unload(); });
    closed();
    event->accept();
}

} // namespace morvessa
