#include "ui/pictures.h"

#include "ui/twips.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

// Resources of a static library are registered by hand, outside any namespace.
static void registerPictures()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(pictures);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace morvessa::pictures {

QPixmap drawing(const QString &name)
{
    registerPictures();
    QSvgRenderer renderer(QStringLiteral(":/pictures/") + name);
    if (!renderer.isValid())
        return QPixmap();
    // Sharp on high-density displays: drawn in device pixels, shown at the scaled size.
    const double scale = screenScale();
    const double ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    const QSize nominal = renderer.defaultSize();
    QPixmap pixmap(int(std::lround(nominal.width() * scale * ratio)),
                   int(std::lround(nominal.height() * scale * ratio)));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(QPointF(0, 0), pixmap.deviceIndependentSize()));
    return pixmap;
}

QPixmap startBackground()
{
    return drawing(QStringLiteral("start.svg"));
}

QPixmap queryButton()
{
    return drawing(QStringLiteral("query-button.svg"));
}

QPixmap queryButtonDown()
{
    return drawing(QStringLiteral("query-button-down.svg"));
}

QPixmap setButton()
{
    return drawing(QStringLiteral("tour-button.svg"));
}

QPixmap mainPanel()
{
    return drawing(QStringLiteral("panel.svg"));
}

QPixmap searchButton()
{
    return drawing(QStringLiteral("search-button.svg"));
}

QIcon appIcon()
{
    registerPictures();
    return QIcon(QStringLiteral(":/pictures/morvessa.svg"));
}

QPixmap loadPictureFile(const QString &path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull())
        return QPixmap();
    return QPixmap::fromImage(image);
}

} // namespace morvessa::pictures
