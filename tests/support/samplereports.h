#pragma once
// Reports for tests: the sample mobile-erasure report kept in tests/data, and variants of it.

#include <QByteArray>
#include <QString>

namespace TestSupport {

// The sample report's text.
QByteArray sampleReport();

// The sample with its own manufacturer, serial ("SER" + n in six digits), document id and IMEI
// (a valid 15-digit IMEI derived from n); with `issue` it carries an issue report section.
QByteArray sampleReportVariant(const QString& manufacturer, int n, bool issue = false);

// The IMEI and document id sampleReportVariant gives report n.
QString variantImei(int n);
QString variantDocumentId(int n);

// At least `size` bytes of numbers that never repeat, to pad a report with: a piece of a long text
// lost, doubled or moved shows.
QByteArray unrepeatedText(int size);

} // namespace TestSupport
