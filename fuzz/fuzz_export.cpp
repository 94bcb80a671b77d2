// Fuzzes cutting an export reply into reports. Where Qt's XML reader reads the whole reply as one
// well-formed <root>, the cut must give exactly the reports it delimits; whatever the cut accepts
// must have balanced markup around every report.

#include "fuzzsetup.h"
#include "mc/exportsplitter.h"

#include <QXmlStreamReader>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// The reports as a full XML reading of the reply delimits them; false when it is not well-formed.
bool readWhole(const QByteArray& bytes, QStringList* reports)
{
    const QString reply = QString::fromUtf8(bytes);
    QXmlStreamReader reader(reply);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    qint64 start = -1;
    bool rootSeen = false;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++depth == 1 && reader.name() != QLatin1String("root"))
                return false;
            rootSeen = true;
            if (depth == 2)
                start = reply.lastIndexOf(QLatin1Char('<'), int(reader.characterOffset()) - 1);
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth-- == 2) {
                const qint64 end = reply.lastIndexOf(QLatin1Char('>'), int(reader.characterOffset()) - 1) + 1;
                *reports << QStringLiteral("<root>") + reply.mid(int(start), int(end - start)) +
                                QStringLiteral("</root>");
            }
        } else if (token == QXmlStreamReader::DTD || token == QXmlStreamReader::EntityReference) {
            return false; // declared entities are beyond what the comparison covers
        }
    }
    return rootSeen && !reader.hasError();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSetup::start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    QByteArrayList cutReports;
    QString error;
    const bool cut = ExportSplitter::split(bytes, &cutReports, &error);
    QStringList reports;
    for (const QByteArray& report : qAsConst(cutReports))
        reports << QString::fromUtf8(report);
    QStringList expected;
    // Invalid UTF-8 turns into replacement characters for the reader, not for the byte scan.
    if (QString::fromUtf8(bytes).toUtf8() == bytes && readWhole(bytes, &expected)) {
        if (!cut || reports != expected)
            std::abort();
    }
    if (!cut && (!reports.isEmpty() || error.isEmpty()))
        std::abort();
    return 0;
}
