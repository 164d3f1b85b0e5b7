#pragma once
// The main window: query box, search button, record number, results grid and the
// browser pane that shows the selected record's page.
#include "base/result.h"
#include "search/queryanalysis.h"
#include "store/collection.h"
#include "ui/singlewindow.h"

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QWebEngineView;

namespace morvessa {

class MarkingFold;
class PageReading;
class PictureButton;
class PrintTarget;
class RecordPageClaim;
class ResultGrid;
class VariantTable;

// Loaded and shown through SingleWindow: Show() loads it the first time (Form_Load runs
// before the window is shown; a failure there is reported and the window is shown all
// the same), loaded() is the window while it is open.
class FrmZendrelMain : public QWidget, public SingleWindow<FrmZendrelMain> {
    Q_OBJECT
public:
    // Controls.
    QComboBox *TxtQuery;     // the query box, with the history and the two condition commands
    PictureButton *Command1; // 搜尋: the search button
    QLabel *ct;              // the record number of the shown record, 第n筆
    ResultGrid *Grd1;        // the results grid: titles, and the hidden page names
    QWebEngineView *LblDesc; // the browser pane that shows the record's page
    PageReading *Reading;    // the pane's context menu, find bar, marked-term steps and zoom

    // Window variables.
    QString SqlText;
    // The mode of the last search that found records, in its printed form; empty before.
    QString SearchMode() const { return m_searchMode ? modeName(*m_searchMode) : QString(); }
    QString PagePath;
    QString EntryText;
    QString LastEntry;

    // Variant search for this run (morvessa --variants), handed to the window when it is
    // made: simplified, traditional and variant forms match alike and every form found is
    // marked. Where the dictionaries could not be loaded, says so (message box and standard
    // error) and gives null: exact search.
    static std::shared_ptr<const VariantTable>
    chooseVariantSearch(const Result<std::shared_ptr<const VariantTable>> &loaded);
    bool searchesVariants() const { return m_fold != nullptr; }

    Result<void> Form_Load();
    void Form_Unload();
    // Runs the query in TxtQuery and lists what it finds. A database failure comes back
    // for the handler to show, and leaves the grid, SearchMode and the pane as they were.
    Result<void> DoSearch();
    void Grd1_RowColChange();
    Result<void> TxtQuery_KeyPress(int KeyAscii);
    Result<void> Command1_Click();

    // Query box focus, window-wide keys (seen before the focused control) and row tooltips.
    void TxtQuery_GotFocus();
    void Form_KeyDown(int KeyCode, int Shift);
    void Grd1_MouseMove(int Button, int Shift, float X, float Y);
    // Where F7 prints: the default printer unless a test puts another target in place.
    void setPrintTarget(std::unique_ptr<PrintTarget> target);

    // Points the browser pane at a file and reads it afresh, also when it is the page
    // already shown.
    void Navigate(const QString &path);

    // The browser pane with its page. The pane starts (the browser engine, and the view's
    // graphics surface) only once the window with its list has been painted: each takes a
    // good part of a second the first time. What the pane is asked to show before then is
    // shown as soon as it has started. This starts it at once.
    QWebEngineView *readyPane();

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class SingleWindow<FrmZendrelMain>;
    // With variants, the window searches variant forms alike (chooseVariantSearch).
    explicit FrmZendrelMain(const Collection &collection, std::shared_ptr<const VariantTable> variants = nullptr);
    ~FrmZendrelMain() override;

    void ShowRowTip(float X, float Y);
    // Shows in the pane now, or as soon as it has started (the last request wins).
    void showInPane(std::function<void()> show);

    QPixmap m_panel;
    std::unique_ptr<PrintTarget> m_printTarget;
    std::unique_ptr<RecordPageClaim> m_pageClaim;   // holds PagePath for this program
    bool m_collectionOpened = false;                // a search has opened the database
    std::optional<QueryMode> m_searchMode;          // see SearchMode()
    Collection m_collection;                        // the one the program was started on, for every search
    std::shared_ptr<const VariantTable> m_variants; // variant search: its dictionaries, else null
    std::unique_ptr<const MarkingFold> m_fold;      // variant search: how the pages are marked
    bool m_paneStarted = false;                     // LblDesc shows, has its page, and Reading exists
    bool m_paneScheduled = false;                   // the first paint has asked for it
    std::function<void()> m_waitingForPane;         // what to show once it has
    // Claims the temporary page once a collection has been opened; false before.
    bool claimRecordPage();
};

} // namespace morvessa
