#pragma once
#include <QString>
#include <functional>
#include <optional>

class QPainter;
class QRect;

// Printing on the default printer. A machine without a printer (no print
// system, or none in it) gets a PDF file instead.
namespace TPrinter {

struct TPrintResult {
    bool Printed = false; // went to the default printer
    QString PdfPath;      // the PDF written instead
};
using TPaint = std::function<void(QPainter&, const QRect&)>;

bool HasPrinter();
// One landscape page on the default printer, whose own orientation is
// restored afterwards; without a printer, a new PDF at pdfPath (numbered when
// that name is taken). A file that cannot be written raises EInOutError
// naming it, and nothing of it is left behind.
TPrintResult PrintLandscape(const TPaint& paint, const QString& title, const QString& pdfPath);
// Tests say whether a printer is installed; nullopt asks the print system.
void SetPrinterAvailable(std::optional<bool> available);

} // namespace TPrinter
