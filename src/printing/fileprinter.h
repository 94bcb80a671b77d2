#pragma once
// The built-in printer that is always listed: each printed label becomes a PDF file of its own in a
// folder, so a station can archive labels or run without a physical printer (its output:
// PdfFileOutput).

#include <QDateTime>
#include <QString>

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
// The name of a label file without its ending: the time, the job and the report, in characters
// every file system takes.
QString baseName(const QDateTime& time, const QString& jobName, const QString& reportId);

} // namespace FilePrinter
