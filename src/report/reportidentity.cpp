#include "report/reportidentity.h"

#include <QStringList>
#include <QXmlStreamReader>

namespace {

// The path of the open elements, each named by its "name" attribute when it has one.
bool endsWith(const QStringList& path, const char* parent, const char* section)
{
    return path.size() >= 2 && path.at(path.size() - 2) == QLatin1String(parent) &&
           path.last() == QLatin1String(section);
}

} // namespace

ReportIdentity ReportIdentity::scan(const QByteArray& xml)
{
    ReportIdentity identity;
    QString legacyImei;
    QXmlStreamReader reader(xml);
    QStringList path;
    bool systemRead = false;
    while (!reader.atEnd() && !systemRead) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            const QString name = reader.attributes().value(QLatin1String("name")).toString();
            if (reader.name() == QLatin1String("entry")) {
                const bool system = endsWith(path, "korvex_hardware_report", "system");
                const bool legacy = endsWith(path, "korvex_legacy_report", "legacy_values");
                if (!system && !legacy) {
                    reader.skipCurrentElement();
                    break;
                }
                const QString value = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
                if (legacy) {
                    if (name == QLatin1String("imei") && legacyImei.isEmpty())
                        legacyImei = value;
                } else if (name == QLatin1String("imei")) {
                    identity.imei = value;
                } else if (name == QLatin1String("serial")) {
                    identity.serial = value;
                } else if (name == QLatin1String("model")) {
                    identity.model = value;
                }
                break;
            }
            path << (name.isEmpty() ? reader.name().toString() : name);
            break;
        }
        case QXmlStreamReader::EndElement:
            if (endsWith(path, "korvex_hardware_report", "system") && !identity.isEmpty())
                systemRead = true;
            if (!path.isEmpty())
                path.removeLast();
            break;
        default:
            break;
        }
    }
    if (identity.imei.isEmpty())
        identity.imei = legacyImei;
    return identity;
}
