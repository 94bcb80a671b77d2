#pragma once
// The built-in printer that is always listed: each printed label becomes a PDF file of its own in a
// folder, so a station can archive labels or run without a physical printer.

#include <QString>

class QPrinter;

namespace FilePrinter {

// The name under which jobs and the interface select it.
inline const QString kName = QStringLiteral("PDF files (label archive)");
// Settings (global file): the output folder and the page resolution in dots per inch.
inline const QString kFolderKey = QStringLiteral("printer/pdfFolder");
inline const QString kResolutionKey = QStringLiteral("printer/pdfResolution");
constexpr int kDefaultResolution = 300;

bool isFilePrinter(const QString& printerName);
// The folder labels are written to (created when missing); default "labels" under the data root.
QString folder();
// A printer writing one grey-scale PDF page at the label printer's resolution; the caller names
// the file with nextFileName before printing. Null when the folder cannot be created.
QPrinter* create();
// A file name in the folder that no earlier label uses, built from the time, job and report.
QString nextFileName(const QString& jobName, const QString& reportId);
// A part of a label file name made of `text`: characters every file system takes, at most maxLength.
QString safeNamePart(const QString& text, int maxLength);

} // namespace FilePrinter
