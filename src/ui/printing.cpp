#include "ui/printing.h"

#include "ui/fonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <cups/cups.h>

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
    // The windows' Ming face, whose characters a PDF reader also reads back as written.
    const QFont font = mingFont(12, false);
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

QString withReason(QString message, const PrinterState &state)
{
    if (!state.reason.isEmpty())
        message += QStringLiteral("\n（") + state.reason + QStringLiteral("）");
    return message;
}

// Why the printer cannot take a page now, or an empty string.
QString refusal(const QString &name, const PrinterState &state)
{
    if (!state.exists)
        return QStringLiteral("找不到印表機「%1」，無法列印。").arg(name);
    if (!state.accepting)
        return withReason(QStringLiteral("印表機「%1」目前不接受列印工作，無法列印。").arg(name), state);
    if (state.stopped)
        return withReason(QStringLiteral("印表機「%1」已停止，無法列印。").arg(name), state);
    return {};
}

// What became of the page handed over, as a message when it will not be printed.
QString jobFailure(const QString &name, std::optional<JobState> job, const PrinterState &after)
{
    if (!job)
        return QStringLiteral("列印工作沒有送到印表機「%1」。").arg(name);
    switch (*job) {
    case JobState::Cancelled:
        return QStringLiteral("印表機「%1」的列印工作已被取消。").arg(name);
    case JobState::Aborted:
        return withReason(QStringLiteral("印表機「%1」無法完成列印工作。").arg(name), after);
    case JobState::Stopped:
    case JobState::Held:
    case JobState::Pending:
    case JobState::Processing:
        if (after.stopped || *job == JobState::Stopped)
            return withReason(QStringLiteral("印表機「%1」已停止，列印工作尚未印出。").arg(name), after);
        return {};
    case JobState::Completed:
        return {};
    }
    return {};
}

class PrinterTarget : public PrintTarget {
public:
    explicit PrinterTarget(std::unique_ptr<PrintSystem> system) : system_(std::move(system)) {}
    QString printLines(const QStringList &lines) override
    {
        const QString name = system_->defaultPrinter();
        if (name.isEmpty())
            return QStringLiteral("找不到預設的印表機，無法列印。");
        if (const QString message = refusal(name, system_->printer(name)); !message.isEmpty())
            return message;
        const int before = system_->newestJob(name);
        QPrinter printer(QPrinter::HighResolution);
        system_->direct(printer, name);
        if (const QString message = paintLines(printer, lines); !message.isEmpty())
            return message;
        const int job = system_->newestJob(name);
        return jobFailure(name, job > before ? system_->jobState(name, job) : std::nullopt,
                          system_->printer(name));
    }

private:
    std::unique_ptr<PrintSystem> system_;
};

class CupsPrintSystem : public PrintSystem {
public:
    QString defaultPrinter() override
    {
        cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
        if (!dest)
            return {};
        const QString name = QString::fromUtf8(dest->name);
        cupsFreeDests(1, dest);
        return name;
    }

    PrinterState printer(const QString &name) override
    {
        PrinterState state;
        cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.toUtf8().constData(), nullptr);
        if (!dest)
            return state;
        auto option = [dest](const char *key) {
            return QString::fromUtf8(cupsGetOption(key, dest->num_options, dest->options));
        };
        state.exists = true;
        // Missing answers count as the usual state: accepting and not stopped.
        state.accepting = option("printer-is-accepting-jobs") != QLatin1String("false");
        state.stopped = option("printer-state") == QString::number(IPP_PSTATE_STOPPED);
        state.reason = option("printer-state-message");
        cupsFreeDests(1, dest);
        return state;
    }

    int newestJob(const QString &name) override
    {
        int newest = 0;
        forEachJob(name, [&newest](const cups_job_t &job) { newest = qMax(newest, job.id); });
        return newest;
    }

    std::optional<JobState> jobState(const QString &name, int id) override
    {
        std::optional<JobState> state;
        forEachJob(name, [&state, id](const cups_job_t &job) {
            if (job.id == id)
                state = fromCups(job.state);
        });
        return state;
    }

    void direct(QPrinter &printer, const QString &name) override { printer.setPrinterName(name); }

private:
    template <class F>
    static void forEachJob(const QString &name, F f)
    {
        cups_job_t *jobs = nullptr;
        const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, name.toUtf8().constData(), 1, CUPS_WHICHJOBS_ALL);
        for (int i = 0; i < count; ++i)
            f(jobs[i]);
        cupsFreeJobs(count, jobs);
    }

    static JobState fromCups(ipp_jstate_t state)
    {
        switch (state) {
        case IPP_JSTATE_PENDING:
            return JobState::Pending;
        case IPP_JSTATE_HELD:
            return JobState::Held;
        case IPP_JSTATE_PROCESSING:
            return JobState::Processing;
        case IPP_JSTATE_STOPPED:
            return JobState::Stopped;
        case IPP_JSTATE_CANCELED:
            return JobState::Cancelled;
        case IPP_JSTATE_ABORTED:
            return JobState::Aborted;
        case IPP_JSTATE_COMPLETED:
            return JobState::Completed;
        }
        return JobState::Aborted;
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

std::unique_ptr<PrintSystem> systemPrintSystem()
{
    return std::make_unique<CupsPrintSystem>();
}

std::unique_ptr<PrintTarget> printerTarget(std::unique_ptr<PrintSystem> system)
{
    return std::make_unique<PrinterTarget>(std::move(system));
}

std::unique_ptr<PrintTarget> defaultPrinterTarget()
{
    return printerTarget(systemPrintSystem());
}

std::unique_ptr<PrintTarget> pdfFileTarget(const QString &path)
{
    return std::make_unique<PdfFileTarget>(path);
}

} // namespace morvessa
