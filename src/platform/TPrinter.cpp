#include "platform/TPrinter.h"
#include "platform/TAtomicFile.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

std::optional<bool> PrinterOverride;
TPrinter::TAskPrinter PrintDialog;

// The program's printer, kept for the run like the toolkit's global one, so
// that the orientation it had before a print is the one it gets back.
QPrinter& ThePrinter() {
    static std::unique_ptr<QPrinter> printer;
    if (!printer)
        printer =
            std::make_unique<QPrinter>(QPrinterInfo::defaultPrinter(), QPrinter::ScreenResolution);
    return *printer;
}

[[noreturn]] void RaiseFileError(int error, const QString& path) {
    throw EInOutError(error, QStringLiteral("%1\r\n%2").arg(path, InOutErrorText(error)));
}

// A new file that is ours alone: never a link followed, never an old file reused.
int CreateNew(QString& path) {
    const QFileInfo info(path);
    for (int n = 1; n <= 100; ++n) {
        const QString name = n == 1 ? path
                                    : QStringLiteral("%1/%2-%3.%4")
                                          .arg(info.absolutePath(), info.completeBaseName(),
                                               QString::number(n), info.suffix());
        const int fd = ::open(QFile::encodeName(name).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            path = name;
            return fd;
        }
        if (errno != EEXIST)
            RaiseFileError(errno, name);
    }
    RaiseFileError(EEXIST, path);
}

void WritePdf(const TPrinter::TPaint& paint, const QString& title, QString& path) {
    const int fd = CreateNew(path);
    int error = 0;
    {
        QFile file;
        file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
        QPdfWriter writer(&file);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Zephyn"));
        writer.setResolution(96);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        QPainter painter;
        if (!painter.begin(&writer)) {
            error = EIO;
        } else {
            paint(painter, QRect(QPoint(), writer.pageLayout().paintRectPixels(96).size()));
            painter.end();
        }
        if (!error && (!file.flush() || file.error() != QFileDevice::NoError))
            error = errno ? errno : EIO;
    }
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (error) {
        ::unlink(QFile::encodeName(path).constData());
        RaiseFileError(error, path);
    }
}

} // namespace

bool TPrinter::HasPrinter() {
    if (PrinterOverride)
        return *PrinterOverride;
    return !QPrinterInfo::defaultPrinter().isNull();
}

TPrinter::TPrintResult TPrinter::PrintLandscape(const TPaint& paint, const QString& title,
                                                const QString& pdfPath) {
    TPrintResult result;
    if (!HasPrinter()) {
        result.PdfPath = pdfPath;
        WritePdf(paint, title, result.PdfPath);
        return result;
    }
    QPrinter& printer = ThePrinter();
    const QPageLayout::Orientation previous = printer.pageLayout().orientation();
    printer.setDocName(title);
    printer.setPrinterName(QPrinterInfo::defaultPrinter().printerName());
    printer.setPageOrientation(QPageLayout::Landscape);
    const bool go = PrintDialog ? PrintDialog(printer) : [&printer] {
        QPrintDialog dialog(&printer, QApplication::activeWindow());
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        return dialog.exec() == QDialog::Accepted;
    }();
    if (!go) {
        printer.setPageOrientation(previous);
        result.Cancelled = true;
        return result;
    }
    QPainter painter;
    const bool started = painter.begin(&printer);
    if (started) {
        paint(painter,
              QRect(QPoint(), printer.pageLayout().paintRectPixels(printer.resolution()).size()));
        painter.end();
    }
    printer.setPageOrientation(previous);
    if (!started)
        throw Exception(printer.printerName().isEmpty()
                            ? QStringLiteral("The printer could not be started.")
                            : QStringLiteral("The printer %1 could not be started.")
                                  .arg(printer.printerName()));
    result.Printed = true;
    return result;
}

void TPrinter::SetPrintDialog(TAskPrinter ask) {
    PrintDialog = std::move(ask);
}

void TPrinter::SetPrinterAvailable(std::optional<bool> available) {
    PrinterOverride = available;
}
