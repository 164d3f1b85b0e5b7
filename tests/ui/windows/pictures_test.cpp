#include "fixtures.h"

#include "ui/contrast.h"
#include "ui/frmini.h"
#include "ui/frmzendrelmain.h"
#include "ui/picturebutton.h"
#include "ui/pictures.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTest>
#include <QXmlStreamReader>

#include <algorithm>

using morvessa::contrastRatio;
using morvessa::FrmIni;
using morvessa::readableOn;

class PicturesTest : public QObject {
    Q_OBJECT
private slots:
    void contrastArithmetic_data();
    void contrastArithmetic();
    void readableColour_data();
    void readableColour();
    void everyTextOnThePicturesReads();
    void recordNumberReadsOnThePanel();
    void iconIsADrawing();
};

namespace {
QColor hex(const char *name)
{
    return QColor(QString::fromLatin1(name));
}

struct PictureText {
    QString id;
    QColor fill;
};

// The text elements of one drawing: each needs an id, so its place can be asked for.
QList<PictureText> textsOf(const QByteArray &svg)
{
    QList<PictureText> texts;
    QXmlStreamReader xml(svg);
    while (xml.readNextStartElement() || !xml.atEnd()) {
        if (xml.isStartElement() && xml.name() == QLatin1String("text"))
            texts.push_back({xml.attributes().value(QLatin1String("id")).toString(),
                             QColor(xml.attributes().value(QLatin1String("fill")).toString())});
        if (xml.atEnd())
            break;
        xml.readNext();
    }
    return texts;
}

QImage render(QSvgRenderer &renderer, int scale)
{
    QImage image(renderer.defaultSize() * scale, QImage::Format_ARGB32);
    // What a drawing leaves clear shows the window's button face, a light grey.
    image.fill(QColor(0xef, 0xef, 0xef));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    return image;
}
} // namespace

void PicturesTest::contrastArithmetic_data()
{
    QTest::addColumn<QColor>("a");
    QTest::addColumn<QColor>("b");
    QTest::addColumn<double>("ratio");
    QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
    QTest::newRow("white on black, the same") << QColor(Qt::white) << QColor(Qt::black) << 21.0;
    QTest::newRow("one colour") << hex("#7cb2d6") << hex("#7cb2d6") << 1.0;
    // The highlight colour on the panel: hardly readable.
    QTest::newRow("highlight on the panel") << hex("#308cc6") << hex("#7cb2d6") << 1.61;
    // Just below and just above the line for ordinary text, and the dark end of sRGB's
    // linear segment.
    QTest::newRow("#777 on white") << hex("#777777") << QColor(Qt::white) << 4.48;
    QTest::newRow("#767676 on white") << hex("#767676") << QColor(Qt::white) << 4.54;
    QTest::newRow("#0a0a0a on black") << hex("#0a0a0a") << QColor(Qt::black) << 1.06;
}

void PicturesTest::contrastArithmetic()
{
    QFETCH(QColor, a);
    QFETCH(QColor, b);
    QFETCH(double, ratio);
    QVERIFY2(qAbs(contrastRatio(a, b) - ratio) < 0.01, qPrintable(QString::number(contrastRatio(a, b))));
}

void PicturesTest::readableColour_data()
{
    QTest::addColumn<QColor>("preferred");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<bool>("kept");
    QTest::newRow("navy on the panel reads") << hex("#000080") << hex("#7cb2d6") << true;
    QTest::newRow("highlight on the panel is darkened") << hex("#308cc6") << hex("#7cb2d6") << false;
    QTest::newRow("grey on white is darkened") << hex("#999999") << QColor(Qt::white) << false;
    QTest::newRow("dark blue on black is lightened") << hex("#1d4fa3") << QColor(Qt::black) << false;
    QTest::newRow("white on jade reads") << QColor(Qt::white) << hex("#1b4d43") << true;
}

void PicturesTest::readableColour()
{
    QFETCH(QColor, preferred);
    QFETCH(QColor, background);
    QFETCH(bool, kept);
    const QColor colour = readableOn(preferred, background);
    QVERIFY2(contrastRatio(colour, background) >= morvessa::kReadableContrast,
             qPrintable(colour.name() + QStringLiteral(" %1").arg(contrastRatio(colour, background))));
    if (kept) {
        QCOMPARE(colour, preferred);
        return;
    }
    // Only as far as needed, and in the same hue.
    QVERIFY(contrastRatio(colour, background) < morvessa::kReadableContrast + 0.3);
    if (preferred.hslSaturation() > 0)
        QVERIFY2(qAbs(colour.hslHue() - preferred.hslHue()) <= 4, qPrintable(colour.name()));
}

void PicturesTest::everyTextOnThePicturesReads()
{
    morvessa::pictures::appIcon(); // the drawings are in place from the first use on
    const QStringList names = QDir(QStringLiteral(":/pictures")).entryList({QStringLiteral("*.svg")});
    QVERIFY(names.size() >= 7);
    int checked = 0;
    for (const QString &name : names) {
        QFile file(QStringLiteral(":/pictures/") + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray svg = file.readAll();
        const QList<PictureText> texts = textsOf(svg);
        if (texts.isEmpty())
            continue;
        // The drawing without its texts is the ground each text stands on.
        static const QRegularExpression textElement(QStringLiteral("<text[^>]*>[^<]*</text>"));
        const QByteArray ground = QString::fromUtf8(svg).remove(textElement).toUtf8();
        QSvgRenderer full(svg);
        QSvgRenderer bare(ground);
        QVERIFY(full.isValid() && bare.isValid());
        constexpr int kScale = 2;
        const QImage image = render(bare, kScale);
        for (const PictureText &text : texts) {
            QVERIFY2(!text.id.isEmpty(), qPrintable(name + QStringLiteral(": a text without an id")));
            QVERIFY2(text.fill.isValid() && text.fill.alpha() == 255,
                     qPrintable(name + QLatin1Char(' ') + text.id));
            const QRect box = QRectF(full.boundsOnElement(text.id).topLeft() * kScale,
                                     full.boundsOnElement(text.id).size() * kScale)
                                  .toAlignedRect()
                                  .intersected(image.rect());
            QVERIFY2(box.width() > 4 && box.height() > 4, qPrintable(name + QLatin1Char(' ') + text.id));
            // Nine tenths of the ground under the text give it at least the readable contrast.
            std::vector<double> ratios;
            for (int y = box.top(); y <= box.bottom(); ++y)
                for (int x = box.left(); x <= box.right(); ++x)
                    ratios.push_back(contrastRatio(text.fill, image.pixelColor(x, y)));
            std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 10, ratios.end());
            const double ratio = ratios[ratios.size() / 10];
            QVERIFY2(ratio >= morvessa::kReadableContrast,
                     qPrintable(QStringLiteral("%1 %2: %3").arg(name, text.id).arg(ratio)));
            ++checked;
        }
    }
    QVERIFY(checked >= 10);
}

void PicturesTest::recordNumberReadsOnThePanel()
{
    const QImage panel = morvessa::pictures::mainPanel().toImage();
    const QPalette original = QApplication::palette();
    for (const QColor &highlight : {hex("#308cc6"), hex("#000080")}) {
        QPalette palette = original;
        palette.setColor(QPalette::Highlight, highlight);
        QApplication::setPalette(palette);
        TestFolder folder(sampleCollection());
        Recorder recorder;
        FrmIni::Show(folder.collection());
        FrmIni::loaded()->cmdQuery->click();
        auto *main = morvessa::FrmZendrelMain::loaded();
        QVERIFY(main);
        const QColor text = main->ct->palette().color(QPalette::WindowText);
        const QColor ground = panel.pixelColor(main->ct->geometry().center() * panel.devicePixelRatio());
        QVERIFY2(contrastRatio(text, ground) >= morvessa::kReadableContrast, qPrintable(text.name()));
        // A highlight colour that reads is kept as it is.
        if (contrastRatio(highlight, ground) >= morvessa::kReadableContrast)
            QCOMPARE(text, highlight);
    }
    QApplication::setPalette(original);
}

void PicturesTest::iconIsADrawing()
{
    const QIcon icon = morvessa::pictures::appIcon();
    QVERIFY(!icon.isNull());
    for (int size : {16, 48, 256})
        QCOMPARE(icon.pixmap(size).size(), QSize(size, size));
}

REGISTER_TEST(PicturesTest)
#include "pictures_test.moc"
