#include "report/reportidentity.h"

#include "report/reporttree.h"

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

ReportIdentity ReportIdentity::read(const ReportTree& tree)
{
    // As the scan reads: only entries directly in a section (not inside another entry), the system
    // section's values until the end of the first one that gave any, an older product's IMEI until
    // then.
    ReportIdentity identity;
    QString legacyImei;
    enum class Section
    {
        Other,
        System,
        Legacy
    };
    const QString entryTag = QStringLiteral("entry");
    int section = -1;
    Section kind = Section::Other;
    int systemEnd = -1;
    for (const int entry : tree.elementsNamed(entryTag)) {
        if (systemEnd >= 0 && entry >= systemEnd && !identity.isEmpty())
            break;
        const int parent = tree.parentElement(entry);
        if (parent != section) {
            section = parent;
            const int outer = tree.parentElement(parent);
            kind = Section::Other;
            if (outer >= 0) {
                const QString sectionName = tree.nameOrTag(parent);
                const QString outerName = tree.nameOrTag(outer);
                if (outerName == QLatin1String("korvex_hardware_report") &&
                    sectionName == QLatin1String("system"))
                    kind = Section::System;
                else if (outerName == QLatin1String("korvex_legacy_report") &&
                         sectionName == QLatin1String("legacy_values"))
                    kind = Section::Legacy;
            }
            for (int up = parent; kind != Section::Other && up >= 0; up = tree.parentElement(up)) {
                if (tree.tag(up) == entryTag)
                    kind = Section::Other; // the scan passes over whatever an entry holds
            }
        }
        if (kind == Section::Other)
            continue;
        const QString name = tree.attribute(entry, QStringLiteral("name"));
        const QString value = tree.ownText(entry).trimmed();
        if (kind == Section::Legacy) {
            if (name == QLatin1String("imei") && legacyImei.isEmpty())
                legacyImei = value;
            continue;
        }
        systemEnd = tree.endOf(section);
        if (name == QLatin1String("imei"))
            identity.imei = value;
        else if (name == QLatin1String("serial"))
            identity.serial = value;
        else if (name == QLatin1String("model"))
            identity.model = value;
    }
    if (identity.imei.isEmpty())
        identity.imei = legacyImei;
    return identity;
}
