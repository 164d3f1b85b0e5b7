#include "ui/picturebutton.h"

#include <QKeyEvent>
#include <QPainter>

namespace morvessa {

PictureButton::PictureButton(QWidget *parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void PictureButton::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

void PictureButton::setDownPicture(const QPixmap &picture)
{
    m_downPicture = picture;
    update();
}

void PictureButton::setDisabledPicture(const QPixmap &picture)
{
    m_disabledPicture = picture;
    update();
}

QSize PictureButton::sizeHint() const
{
    return m_picture.isNull() ? QSize(75, 23) : m_picture.deviceIndependentSize().toSize();
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    QPixmap picture = m_picture;
    QPointF shift(0, 0);
    if (!isEnabled() && !m_disabledPicture.isNull()) {
        picture = m_disabledPicture;
    } else if (isDown()) {
        if (!m_downPicture.isNull())
            picture = m_downPicture;
        else
            shift = QPointF(1, 1);
    }
    if (!picture.isNull()) {
        const QSizeF size = picture.deviceIndependentSize();
        const QPointF topLeft((width() - size.width()) / 2.0, (height() - size.height()) / 2.0);
        p.setClipRect(rect());
        p.drawPixmap(topLeft + shift, picture);
    }
    if (hasFocus()) {
        // A quiet focus mark under the picture's face, not over it.
        p.setRenderHint(QPainter::Antialiasing);
        QPen pen(QColor(40, 40, 40, 120), 1, Qt::DotLine);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), 6, 6);
    }
}

void PictureButton::keyPressEvent(QKeyEvent *event)
{
    // Enter on a focused button clicks it at once (an animated click would hold the work
    // back a tenth of a second); the button is drawn pressed while the work runs.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
        setDown(true);
        repaint();
        click();
        update();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

} // namespace morvessa
