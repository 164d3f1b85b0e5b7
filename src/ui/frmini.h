#pragma once
// The start window: a title picture and two picture buttons. Its load step builds the
// connection string; its query button opens the main window.
#include "store/collection.h"
#include "ui/singlewindow.h"

#include <QPixmap>
#include <QWidget>

#include <memory>

namespace morvessa {

class PictureButton;
class VariantTable;

// Loaded, shown and unloaded through SingleWindow: loaded(), Load(collection[, variants]),
// Show(collection[, variants]), Unload().
class FrmIni : public QWidget, public SingleWindow<FrmIni> {
    Q_OBJECT
public:
    PictureButton *cmdQuery; // 進入檢索: opens the main window
    PictureButton *cmdSet;   // 使用導覽: opens the tour page in the web browser

    QPixmap Picture() const { return m_picture; }
    void setPicture(const QPixmap &picture);

    void Form_Load();
    void cmdQuery_Click();
    void cmdSet_Click();

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    friend class SingleWindow<FrmIni>;
    // variants: the main window's variant search (FrmZendrelMain::chooseVariantSearch).
    explicit FrmIni(const Collection &collection, std::shared_ptr<const VariantTable> variants = nullptr);
    // Loads a picture file of the collection folder when it exists and can be read.
    QPixmap pictureOf(const QString &literal) const;

    Collection m_collection;                        // handed on to the main window
    std::shared_ptr<const VariantTable> m_variants; // and this
    QPixmap m_picture;
};

} // namespace morvessa
