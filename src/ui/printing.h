#pragma once
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QPrinter;

namespace morvessa {

// Where a printed page goes. The main window prints through one of these, so that a test
// can send the page to a PDF file instead of the default printer.
class PrintTarget {
public:
    virtual ~PrintTarget() = default;
    // Prints the lines, one line each (an empty string is an empty line), in 12-point type
    // in the target's own font face, as one document that ends after them. No dialog.
    // Returns an empty string when the document was handed over, else a message for the user.
    virtual QString printLines(const QStringList &lines) = 0;
};

// What the print system tells about one printer queue.
struct PrinterState {
    bool exists = false;
    bool accepting = false; // takes new jobs
    bool stopped = false;   // holds its jobs instead of printing them
    QString reason;         // the print system's own words for its state, if any
};

// States a print job passes through in the print system.
enum class JobState { Pending, Held, Processing, Stopped, Cancelled, Aborted, Completed };

// The system's print queues, asked before a page is handed over and after.
class PrintSystem {
public:
    virtual ~PrintSystem() = default;
    // The default printer's queue name; empty when there is none.
    virtual QString defaultPrinter() = 0;
    virtual PrinterState printer(const QString &name) = 0;
    // The number of this user's newest job on the queue, 0 when there is none.
    virtual int newestJob(const QString &name) = 0;
    // Null when the queue does not know the job.
    virtual std::optional<JobState> jobState(const QString &name, int job) = 0;
    // Points the printer at the queue; the page goes there when painting ends.
    virtual void direct(QPrinter &printer, const QString &name) = 0;
};

// The print system of this machine (CUPS).
std::unique_ptr<PrintSystem> systemPrintSystem();

// The default printer of a print system, looked up anew for every document; a printer
// that refuses the page, or a job that fails at once, comes back as a message.
std::unique_ptr<PrintTarget> printerTarget(std::unique_ptr<PrintSystem> system);
// printerTarget on this machine's print system.
std::unique_ptr<PrintTarget> defaultPrinterTarget();
// A PDF file, rewritten by every document.
std::unique_ptr<PrintTarget> pdfFileTarget(const QString &path);

} // namespace morvessa
