#pragma once
// A push button that shows pictures instead of a caption: the picture is centred on
// the button and cut off at its edges.
#include <QAbstractButton>
#include <QPixmap>

namespace morvessa {

class PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PictureButton(QWidget *parent = nullptr);

    QPixmap Picture() const { return m_picture; }
    void setPicture(const QPixmap &picture);
    // Shown while the button is held down; without one the picture moves by a pixel.
    QPixmap DownPicture() const { return m_downPicture; }
    void setDownPicture(const QPixmap &picture);
    QPixmap DisabledPicture() const { return m_disabledPicture; }
    void setDisabledPicture(const QPixmap &picture);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPixmap m_picture;
    QPixmap m_downPicture;
    QPixmap m_disabledPicture;
};

} // namespace morvessa
