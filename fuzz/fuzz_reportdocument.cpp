// Fuzzes report parsing (the quick readers, over text and over UTF-8, against Qt's) and path
// queries. Input: report text, optionally followed by a NUL and one query path per line.

#include "fuzzsetup.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "report/reporttree.h"
#include "report/tagparser.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSetup::start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const int split = bytes.indexOf('\0');
    const QByteArray utf8 = split < 0 ? bytes : bytes.left(split);
    const QString xml = QString::fromUtf8(utf8);
    QStringList paths = {QStringLiteral("/root/report/korvex_data/description/document_id"),
                         QStringLiteral("/root/report/korvex_data/korvex_hardware_report/system/imei"),
                         QStringLiteral("/root/report/user_data/fields/info1")};
    if (split >= 0)
        paths = QString::fromUtf8(bytes.mid(split + 1)).split(QLatin1Char('\n'));

    // The quick reader gives Qt's tree for everything it takes.
    ReportTree quick;
    if (quick.buildQuickly(xml, 64)) {
        ReportTree full;
        if (!full.buildFully(xml, 64) || !(quick == full))
            std::abort();
    }

    // The reader over UTF-8 gives the tree of the decoded text for everything it takes.
    ReportTree fromBytes;
    if (fromBytes.buildQuickly(utf8, 64)) {
        ReportTree full;
        if (!full.buildFully(xml, 64) || !(fromBytes == full))
            std::abort();
    }

    ReportDocument document;
    document.parse(utf8);
    for (const QString& path : paths)
        document.query(path);

    // What a print does with the document next.
    ReportDevice device;
    device.setReport(&document, true);
    TagParser parser;
    QString label = QStringLiteral("<model> <MARKETNAME> <xmlreport %1> <bytes2human <xmlreport %1>>")
                        .arg(paths.value(0));
    parser.formatAndPatch(label, &device, false, false);
    return 0;
}
