#pragma once
#include <QString>
#include <functional>
#include <optional>

class QPainter;
class QPrinter;
class QRect;

// Printing on the default printer. A machine without a printer (no print
// system, or none in it) gets a PDF file instead.
namespace TPrinter {

struct TPrintResult {
    bool Printed = false;   // went to the printer
    bool Cancelled = false; // the user closed the print dialog
    QString PdfPath;        // the PDF written instead
};
using TPaint = std::function<void(QPainter&, const QRect&)>;
// The print dialog: true to print on the printer as it is set then.
using TAskPrinter = std::function<bool(QPrinter&)>;

bool HasPrinter();
// One landscape page on the printer chosen in the print dialog, which opens
// on the default printer in landscape (OK prints there, as designed); the
// printer's own orientation is restored afterwards; without a printer, a new PDF at pdfPath (numbered when
// that name is taken). A file that cannot be written raises EInOutError
// naming it, and nothing of it is left behind.
TPrintResult PrintLandscape(const TPaint& paint, const QString& title, const QString& pdfPath);
// Tests say whether a printer is installed; nullopt asks the print system.
void SetPrinterAvailable(std::optional<bool> available);
// Tests answer the print dialog; nullptr restores the real one.
void SetPrintDialog(TAskPrinter ask);

} // namespace TPrinter
