#pragma once
// The start window: a title picture and two picture buttons. Its load step builds the
// connection string; its query button opens the main window.
#include <QPixmap>
#include <QWidget>

namespace morvessa {

class PictureButton;

class FrmIni : public QWidget {
    Q_OBJECT
public:
    // The loaded start window, or null while it is not loaded.
    static FrmIni *loaded();
    // Loads the window when it is not loaded (running Form_Load) and returns it.
    static FrmIni *Load();
    // Loads the window when needed and shows it modeless.
    static void Show();
    // Hides and unloads the window. A window that is not loaded stays so: nothing to do.
    static void Unload();

    PictureButton *cmdQuery;
    PictureButton *cmdSet;

    QPixmap Picture() const { return m_picture; }
    void setPicture(const QPixmap &picture);

    void Form_Load();
    void cmdQuery_Click();
    void cmdSet_Click();

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    FrmIni();
    ~FrmIni() override;

    QPixmap m_picture;
};

} // namespace morvessa
