#include "ui/pictures.h"

#include "ui/fonts.h"
#include "ui/twips.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace morvessa::pictures {

namespace {

// Ink, paper and jade: the colours of the start window and its buttons.
const QColor kInk(0x35, 0x2a, 0x24);
const QColor kCinnabar(0xa8, 0x32, 0x1e);
const QColor kJade(0x2b, 0x6e, 0x60);
const QColor kJadeDark(0x1b, 0x4d, 0x43);
const QColor kPaperLight(0xfa, 0xf4, 0xe4);
const QColor kPaperDark(0xe9, 0xdb, 0xb9);

// A transparent canvas of the given size in pixels at 96 dpi, scaled to the screen
// and sharp on high-density displays. Painters on it draw in the nominal pixels.
class Canvas {
public:
    explicit Canvas(QSize nominal)
        : m_scale(screenScale()), m_ratio(qApp ? qApp->devicePixelRatio() : 1.0)
    {
        const double f = m_scale * m_ratio;
        m_pixmap = QPixmap(int(std::lround(nominal.width() * f)), int(std::lround(nominal.height() * f)));
        m_pixmap.setDevicePixelRatio(m_ratio);
        m_pixmap.fill(Qt::transparent);
    }

    void begin(QPainter &p)
    {
        p.begin(&m_pixmap);
        p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
        p.scale(m_scale, m_scale);
    }

    QPixmap pixmap() const { return m_pixmap; }

private:
    double m_scale;
    double m_ratio;
    QPixmap m_pixmap;
};

QFont titleFont(double pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Georgia"), QStringLiteral("DejaVu Serif"), QStringLiteral("serif")});
    font.setPixelSize(int(pixelSize));
    font.setLetterSpacing(QFont::PercentageSpacing, 104);
    return font;
}

QFont mingPixels(double pixelSize, bool bold, double spacing = 100)
{
    QFont font = mingFont(12, bold);
    font.setPixelSize(int(pixelSize));
    font.setLetterSpacing(QFont::PercentageSpacing, spacing);
    return font;
}

QColor withAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

// One willow-like leaf from base to tip, bulging to one side and the other.
QPainterPath leaf(QPointF base, double angleDegrees, double length, double width)
{
    QPainterPath path;
    path.moveTo(0, 0);
    path.cubicTo(length * 0.30, -width, length * 0.75, -width * 0.8, length, 0);
    path.cubicTo(length * 0.75, width * 0.7, length * 0.30, width * 0.9, 0, 0);
    QTransform t;
    t.translate(base.x(), base.y());
    t.rotate(angleDegrees);
    return t.map(path);
}

// A herb sprig: a curved stem with leaves in pairs and a few small buds.
void drawSprig(QPainter &p, QPointF root, double angle, double length, const QColor &colour, double scale = 1.0)
{
    p.save();
    p.translate(root);
    p.rotate(angle);
    p.scale(scale, scale);
    QPainterPath stem;
    stem.moveTo(0, 0);
    stem.cubicTo(length * 0.3, -length * 0.05, length * 0.65, -length * 0.18, length, -length * 0.12);
    p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(stem);
    p.setPen(Qt::NoPen);
    for (int i = 1; i <= 6; ++i) {
        const double t = i / 7.0;
        const QPointF at = stem.pointAtPercent(t);
        const double tangent = -stem.angleAtPercent(t);
        const double size = length * (0.26 - 0.025 * i);
        QColor c = colour;
        c.setAlpha(int(colour.alpha() * (0.75 + 0.05 * (i % 2))));
        p.setBrush(c);
        p.drawPath(leaf(at, tangent - 42, size, size * 0.22));
        p.drawPath(leaf(at, tangent + 38, size * 0.92, size * 0.2));
    }
    p.setBrush(colour);
    p.drawPath(leaf(stem.pointAtPercent(1.0), -stem.angleAtPercent(1.0), length * 0.14, length * 0.035));
    p.restore();
}

// A few soft hills of ink wash along the bottom edge.
void drawHills(QPainter &p, double width, double baseY)
{
    const struct {
        double offset, amplitude, period, phase;
        int alpha;
    } layers[] = {
        {-70, 38, 420, 0.6, 26},
        {-38, 30, 300, 2.1, 34},
        {-8, 22, 240, 4.0, 44},
    };
    for (const auto &layer : layers) {
        QPainterPath hill;
        hill.moveTo(0, baseY + 40);
        for (double x = 0; x <= width; x += 8) {
            const double y = baseY + layer.offset -
                             layer.amplitude * std::pow(std::sin(x / layer.period * 3.14159 + layer.phase) * 0.5 + 0.5, 2.2);
            hill.lineTo(x, y);
        }
        hill.lineTo(width, baseY + 40);
        hill.closeSubpath();
        QLinearGradient g(0, baseY + layer.offset - layer.amplitude, 0, baseY + 40);
        g.setColorAt(0, withAlpha(QColor(0x4d, 0x6b, 0x63), layer.alpha));
        g.setColorAt(1, withAlpha(QColor(0x4d, 0x6b, 0x63), layer.alpha / 3));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPath(hill);
    }
}

// A hand scroll lying open behind the title: paper, two rollers, faint column rules.
void drawScroll(QPainter &p, const QRectF &paper)
{
    p.save();
    QLinearGradient g(paper.topLeft(), paper.bottomLeft());
    g.setColorAt(0, QColor(0xff, 0xfb, 0xf0, 215));
    g.setColorAt(1, QColor(0xf6, 0xec, 0xd4, 215));
    p.setPen(QPen(QColor(0xc8, 0xb0, 0x80, 160), 1));
    p.setBrush(g);
    p.drawRect(paper);
    // A border band like a mounted scroll's silk edging.
    p.setPen(QPen(QColor(0xb8, 0x97, 0x5e, 110), 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(paper.adjusted(9, 9, -9, -9));
    // Faint vertical rules, as on the paper of an old book.
    p.setPen(QPen(QColor(0xa0, 0x3a, 0x25, 26), 1));
    for (double x = paper.left() + 34; x < paper.right() - 20; x += 26)
        p.drawLine(QPointF(x, paper.top() + 16), QPointF(x, paper.bottom() - 16));
    // Rollers at both ends.
    for (const double x : {paper.left() - 9.0, paper.right() + 1.0}) {
        const QRectF roller(x, paper.top() - 10, 8, paper.height() + 20);
        QLinearGradient rg(roller.topLeft(), roller.topRight());
        rg.setColorAt(0, QColor(0x5a, 0x35, 0x22));
        rg.setColorAt(0.45, QColor(0x9a, 0x68, 0x42));
        rg.setColorAt(1, QColor(0x4a, 0x2a, 0x1a));
        p.setPen(Qt::NoPen);
        p.setBrush(rg);
        p.drawRoundedRect(roller, 3, 3);
        p.setBrush(QColor(0xc9, 0xa2, 0x4a));
        p.drawRoundedRect(QRectF(x - 1.5, roller.top() - 5, 11, 7), 2, 2);
        p.drawRoundedRect(QRectF(x - 1.5, roller.bottom() - 2, 11, 7), 2, 2);
    }
    p.restore();
}

// A square seal in cinnabar with one character cut in white.
void drawSeal(QPainter &p, const QRectF &box, const QString &character)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(kCinnabar);
    p.drawRoundedRect(box, 4, 4);
    p.setPen(QPen(QColor(0xfb, 0xee, 0xe0), 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box.adjusted(4, 4, -4, -4), 2, 2);
    p.setFont(mingPixels(box.height() * 0.62, true));
    p.setPen(QColor(0xfb, 0xee, 0xe0));
    p.drawText(box.adjusted(0, 1, 0, 0), Qt::AlignCenter, character);
    p.restore();
}

enum class ButtonStyle { Primary, Secondary };

// A pill-shaped button face of the given rectangle with its caption.
void drawButtonFace(QPainter &p, const QRectF &face, const QString &caption, ButtonStyle style, bool pressed)
{
    const double radius = face.height() / 2;
    // Shadow below the face.
    if (!pressed) {
        p.setPen(Qt::NoPen);
        for (int i = 3; i >= 1; --i) {
            p.setBrush(QColor(0x3a, 0x2a, 0x10, 18));
            p.drawRoundedRect(face.translated(0, i * 0.9).adjusted(-i * 0.4, 0, i * 0.4, i * 0.4), radius, radius);
        }
    }
    QLinearGradient g(face.topLeft(), face.bottomLeft());
    if (style == ButtonStyle::Primary) {
        g.setColorAt(0, pressed ? kJadeDark : kJade.lighter(112));
        g.setColorAt(1, pressed ? kJadeDark.darker(115) : kJadeDark);
        p.setPen(QPen(kJadeDark.darker(120), 1));
    } else {
        g.setColorAt(0, pressed ? QColor(0xf0, 0xe6, 0xcc) : QColor(0xff, 0xfc, 0xf3));
        g.setColorAt(1, pressed ? QColor(0xe6, 0xd8, 0xb6) : QColor(0xf4, 0xea, 0xd2));
        p.setPen(QPen(kJade, 2));
    }
    p.setBrush(g);
    p.drawRoundedRect(face, radius, radius);
    if (style == ButtonStyle::Primary && !pressed) {
        // A soft highlight along the top.
        QLinearGradient shine(face.topLeft(), QPointF(face.left(), face.center().y()));
        shine.setColorAt(0, QColor(255, 255, 255, 70));
        shine.setColorAt(1, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(shine);
        p.drawRoundedRect(face.adjusted(2, 1.5, -2, -face.height() / 2), radius - 2, radius - 2);
    }
    p.setFont(mingPixels(face.height() * 0.46, true, 112));
    p.setPen(style == ButtonStyle::Primary ? QColor(0xfd, 0xf8, 0xec) : kJadeDark);
    p.drawText(face.adjusted(0, 1, 0, 0), Qt::AlignCenter, caption);
}

QPixmap buttonPicture(QSize size, const QRectF &face, const QString &caption, ButtonStyle style, bool pressed)
{
    Canvas canvas(size);
    QPainter p;
    canvas.begin(p);
    drawButtonFace(p, face, caption, style, pressed);
    p.end();
    return canvas.pixmap();
}

} // namespace

QPixmap startBackground()
{
    Canvas canvas(QSize(800, 580));
    QPainter p;
    canvas.begin(p);

    QLinearGradient paper(0, 0, 0, 580);
    paper.setColorAt(0, kPaperLight);
    paper.setColorAt(1, kPaperDark);
    p.fillRect(QRectF(0, 0, 800, 580), paper);
    QRadialGradient glow(QPointF(250, 210), 420);
    glow.setColorAt(0, QColor(255, 255, 250, 150));
    glow.setColorAt(1, QColor(255, 255, 250, 0));
    p.fillRect(QRectF(0, 0, 800, 580), glow);

    drawHills(p, 800, 560);
    drawSprig(p, QPointF(-10, 600), -58, 250, withAlpha(QColor(0x55, 0x7a, 0x52), 90));
    drawSprig(p, QPointF(40, 610), -80, 190, withAlpha(QColor(0x6b, 0x86, 0x55), 70), 0.9);
    drawSprig(p, QPointF(812, -14), 150, 210, withAlpha(QColor(0x55, 0x7a, 0x52), 70));

    drawScroll(p, QRectF(58, 118, 420, 236));

    p.setFont(titleFont(58));
    p.setPen(kInk);
    p.drawText(QRectF(86, 144, 320, 86), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Morvessa"));
    drawSeal(p, QRectF(398, 160, 48, 48), QStringLiteral("醫"));

    p.setPen(QPen(withAlpha(kCinnabar, 150), 1.2));
    p.drawLine(QPointF(90, 238), QPointF(446, 238));
    p.setFont(mingPixels(27, true, 118));
    p.setPen(kCinnabar);
    p.drawText(QRectF(88, 246, 370, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("中醫典籍 全文檢索"));
    p.setFont(mingPixels(16, false, 130));
    p.setPen(withAlpha(kInk, 190));
    p.drawText(QRectF(90, 292, 370, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("方劑 · 本草 · 證治　關鍵字標紅閱讀"));

    // The card behind the two buttons (560,248 and 560,368; 140 x 49 each).
    const QRectF card(532, 206, 196, 262);
    p.setPen(QPen(QColor(0xc4, 0xa8, 0x74, 150), 1));
    p.setBrush(QColor(255, 252, 244, 120));
    p.drawRoundedRect(card, 14, 14);
    p.setFont(mingPixels(13, false, 110));
    p.setPen(withAlpha(kInk, 170));
    p.drawText(QRectF(532, 214, 196, 26), Qt::AlignCenter, QStringLiteral("— 請選擇 —"));
    p.setFont(mingPixels(12.5, false, 104));
    p.drawText(QRectF(532, 302, 196, 22), Qt::AlignCenter, QStringLiteral("列出全部條目，以關鍵字查詢"));
    p.drawText(QRectF(532, 422, 196, 22), Qt::AlignCenter, QStringLiteral("在瀏覽器中開啟導覽頁"));

    p.setFont(mingPixels(12, false, 110));
    p.setPen(withAlpha(kInk, 140));
    p.drawText(QRectF(276, 548, 500, 22), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Morvessa　中醫文獻閱讀器　·　僅供學習參考"));
    p.end();
    return canvas.pixmap();
}

QPixmap queryButton()
{
    return buttonPicture(QSize(170, 60), QRectF(19, 9, 132, 40), QStringLiteral("進入檢索"), ButtonStyle::Primary,
                         false);
}

QPixmap queryButtonDown()
{
    return buttonPicture(QSize(141, 50), QRectF(9.5, 7, 122, 36), QStringLiteral("進入檢索"), ButtonStyle::Primary,
                         true);
}

QPixmap setButton()
{
    return buttonPicture(QSize(170, 60), QRectF(19, 9, 132, 40), QStringLiteral("使用導覽"),
                         ButtonStyle::Secondary, false);
}

QPixmap mainPanel()
{
    Canvas canvas(QSize(800, 580));
    QPainter p;
    canvas.begin(p);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor panel(124, 178, 214);
    p.fillRect(QRectF(0, 0, 800, 580), panel);

    // An 8-pixel bevel: lit from the top left, each band shading toward the panel.
    constexpr int kBevel = 8;
    const QColor lit(0x5c, 0x93, 0xbd);
    const QColor shade(0x2c, 0x5a, 0x80);
    for (int i = 0; i < kBevel; ++i) {
        const double t = double(i) / kBevel; // 0 at the outer edge
        auto mix = [t](const QColor &a, const QColor &b) {
            return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t * 0.55,
                                    a.greenF() + (b.greenF() - a.greenF()) * t * 0.55,
                                    a.blueF() + (b.blueF() - a.blueF()) * t * 0.55);
        };
        const QColor top = mix(lit, panel);
        const QColor bottom = mix(shade, panel);
        const int w = 800 - 1 - 2 * i;
        const int h = 580 - 1 - 2 * i;
        p.setPen(top);
        p.drawLine(i, i, i + w, i);
        p.drawLine(i, i, i, i + h);
        p.setPen(bottom);
        p.drawLine(i, i + h, i + w, i + h);
        p.drawLine(i + w, i, i + w, i + h);
    }
    // A crisp inner edge where the bevel meets the panel.
    p.setPen(QColor(0x2f, 0x63, 0x8c));
    p.drawLine(kBevel, kBevel, 800 - kBevel - 1, kBevel);
    p.drawLine(kBevel, kBevel, kBevel, 580 - kBevel - 1);
    p.setPen(QColor(0xa9, 0xd0, 0xea));
    p.drawLine(kBevel, 580 - kBevel - 1, 800 - kBevel - 1, 580 - kBevel - 1);
    p.drawLine(800 - kBevel - 1, kBevel, 800 - kBevel - 1, 580 - kBevel - 1);
    p.end();
    return canvas.pixmap();
}

QPixmap searchButton()
{
    Canvas canvas(QSize(67, 28));
    QPainter p;
    canvas.begin(p);
    const QRectF face(1, 1, 65, 26);
    QLinearGradient g(face.topLeft(), face.bottomLeft());
    g.setColorAt(0, QColor(0xff, 0xff, 0xff));
    g.setColorAt(1, QColor(0xee, 0xf2, 0xf7));
    p.setPen(QPen(QColor(0xf0, 0x86, 0x1a), 2));
    p.setBrush(g);
    p.drawRoundedRect(face, 8, 8);
    const QColor blue(0x1d, 0x4f, 0xa3);
    // A small magnifying glass before the word.
    p.setPen(QPen(blue, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(15.5, 12.5), 4.6, 4.6);
    p.setPen(QPen(blue, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(19, 16), QPointF(22.5, 19.5));
    p.setFont(mingPixels(15, true, 108));
    p.setPen(blue);
    p.drawText(QRectF(25, 1, 38, 26), Qt::AlignCenter, QStringLiteral("搜尋"));
    p.end();
    return canvas.pixmap();
}

QIcon appIcon()
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        p.scale(size / 64.0, size / 64.0);
        // A jade tile with a white herb leaf and a cinnabar lens over it.
        QLinearGradient g(0, 0, 0, 64);
        g.setColorAt(0, kJade.lighter(118));
        g.setColorAt(1, kJadeDark);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 13, 13);
        p.setBrush(QColor(0xfb, 0xf6, 0xe8));
        p.drawPath(leaf(QPointF(11, 52), -50, 46, 12));
        p.setPen(QPen(kJadeDark, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(13, 50), QPointF(38, 20));
        p.setPen(QPen(kCinnabar, 4.5));
        p.setBrush(QColor(255, 255, 255, 60));
        p.drawEllipse(QPointF(41, 38), 10, 10);
        p.setPen(QPen(kCinnabar, 6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(48.5, 45.5), QPointF(55, 52));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
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
