#pragma once
// The main window: query box, search button, record number, results grid and the
// browser pane that shows the selected record's page.
#include <QPixmap>
#include <QString>
#include <QWidget>

class QComboBox;
class QLabel;
class QWebEngineView;

namespace morvessa {

class PictureButton;
class ResultGrid;

class FrmZendrelMain : public QWidget {
    Q_OBJECT
public:
    // The loaded main window, or null while it is not loaded.
    static FrmZendrelMain *loaded();
    // Shows the main window modeless; the first request loads it (Form_Load runs
    // before the window is shown). A failure in the load step is reported and the
    // window is shown all the same.
    static FrmZendrelMain *Show();

    // Controls.
    QComboBox *TxtQuery;
    PictureButton *Command1;
    QLabel *ct;
    ResultGrid *Grd1;
    QWebEngineView *LblDesc;

    // Window variables.
    QString SqlText;
    QString SearchMode;
    QString PagePath;
    QString EntryText;
    QString LastEntry;

    void Form_Load();
    void Form_Unload();
    // Runs the query in TxtQuery and lists what it finds. Database failures are thrown
    // (DbError) and leave the grid, SearchMode and the pane as they were.
    void DoSearch();
    void Grd1_RowColChange();
    void TxtQuery_KeyPress(int KeyAscii);
    void Command1_Click();

    // Points the browser pane at a file and reads it afresh, also when it is the page
    // already shown.
    void Navigate(const QString &path);

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    FrmZendrelMain();
    ~FrmZendrelMain() override;

    QPixmap m_panel;
};

} // namespace morvessa
