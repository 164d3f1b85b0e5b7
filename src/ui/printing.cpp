#include "ui/printing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace morvessa {

namespace {

QString printFailedMessage()
{
    return QStringLiteral("列印失敗，請檢查印表機是否正常。");
}

QString paintLines(QPrinter &printer, const QStringList &lines)
{
    printer.setDocName(QStringLiteral("Morvessa"));
    QPainter painter;
    if (!painter.begin(&printer))
        return printFailedMessage();
    QFont font = painter.font();
    font.setPointSizeF(12);
    painter.setFont(font);
    const QFontMetricsF metrics(font, &printer);
    const QRectF page = painter.viewport();
    qreal top = 0;
    for (const QString &line : lines) {
        // A line wider than the page goes on below rather than off its edge.
        QRectF used;
        painter.drawText(QRectF(0, top, page.width(), qMax(page.height() - top, qreal(0))),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere, line, &used);
        top += qMax(metrics.lineSpacing(), used.height());
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        return printFailedMessage();
    return {};
}

class DefaultPrinterTarget : public PrintTarget {
public:
    QString printLines(const QStringList &lines) override
    {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull())
            return QStringLiteral("找不到預設的印表機，無法列印。");
        QPrinter printer(info, QPrinter::HighResolution);
        return paintLines(printer, lines);
    }
};

class PdfFileTarget : public PrintTarget {
public:
    explicit PdfFileTarget(const QString &path) : path_(path) {}
    QString printLines(const QStringList &lines) override
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path_);
        return paintLines(printer, lines);
    }

private:
    QString path_;
};

} // namespace

std::unique_ptr<PrintTarget> defaultPrinterTarget()
{
    return std::make_unique<DefaultPrinterTarget>();
}

std::unique_ptr<PrintTarget> pdfFileTarget(const QString &path)
{
    return std::make_unique<PdfFileTarget>(path);
}

} // namespace morvessa
