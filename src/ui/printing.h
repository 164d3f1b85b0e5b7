#pragma once
#include <QString>
#include <QStringList>

#include <memory>

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

// The system's default printer, looked up anew for every document.
std::unique_ptr<PrintTarget> defaultPrinterTarget();
// A PDF file, rewritten by every document.
std::unique_ptr<PrintTarget> pdfFileTarget(const QString &path);

} // namespace morvessa
