#include "printing/zplprinters.h"

#include "printing/fileprinter.h"
#include "settings/settingsmanager.h"

#include <QRegularExpression>
#include <QtMath>

namespace {

const char* const kMediaNames[] = {"gap", "mark", "continuous"};

QString groupOf(const QString& id)
{
    return ZplPrinters::kGroup + QLatin1Char('/') + id;
}

// The subgroup holding the printer of that name; empty when there is none.
QString idOf(SettingsManager* settings, const QString& name)
{
    const QStringList ids = settings->childGroupsOfGroup(ZplPrinters::kGroup, true);
    for (const QString& id : ids) {
        if (settings->getValue(groupOf(id) + QStringLiteral("/name"), QString(), true) == name)
            return id;
    }
    return QString();
}

} // namespace

QString ZplPrinterConfig::host() const
{
    return isDeviceFile() ? QString() : address.section(QLatin1Char(':'), 0, 0).trimmed();
}

quint16 ZplPrinterConfig::port() const
{
    bool ok = false;
    const uint port = address.section(QLatin1Char(':'), 1).toUInt(&ok);
    return ok && port > 0 && port < 65536 ? quint16(port) : kDefaultPort;
}

QString ZplPrinterConfig::problem() const
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("the printer needs a name");
    if (name == FilePrinter::kName)
        return QStringLiteral("the name is the built-in printer's");
    if (address.trimmed().isEmpty())
        return QStringLiteral("the printer needs an address (host:port) or a device file");
    if (!isDeviceFile()) {
        static const QRegularExpression hostPort(QStringLiteral("^[A-Za-z0-9.\\-]+(:\\d{1,5})?$"));
        const uint number = address.section(QLatin1Char(':'), 1).toUInt();
        if (!hostPort.match(address).hasMatch() ||
            (address.contains(QLatin1Char(':')) && (number == 0 || number > 65535)))
            return QStringLiteral("the address \"%1\" is not host:port").arg(address);
    }
    if (dotsPerInch != 203 && dotsPerInch != 300 && dotsPerInch != 600)
        return QStringLiteral("the resolution must be 203, 300 or 600 dpi");
    if (darkness < 0 || darkness > 30)
        return QStringLiteral("the darkness must be 0 to 30");
    if (speed < 1 || speed > 14)
        return QStringLiteral("the speed must be 1 to 14 inches per second");
    if (!qIsFinite(offsetLeftMm) || !qIsFinite(offsetTopMm) || qAbs(offsetLeftMm) > 50 ||
        qAbs(offsetTopMm) > 15)
        return QStringLiteral("the offset is larger than a printer can shift a label");
    return QString();
}

QVariantMap ZplPrinterConfig::toMap() const
{
    return {{QStringLiteral("name"), name},
            {QStringLiteral("address"), address},
            {QStringLiteral("dpi"), dotsPerInch},
            {QStringLiteral("darkness"), darkness},
            {QStringLiteral("speed"), speed},
            {QStringLiteral("offsetLeft"), offsetLeftMm},
            {QStringLiteral("offsetTop"), offsetTopMm},
            {QStringLiteral("media"), QString::fromLatin1(kMediaNames[int(media)])}};
}

ZplPrinterConfig ZplPrinterConfig::fromMap(const QVariantMap& map)
{
    ZplPrinterConfig printer;
    printer.name = map.value(QStringLiteral("name")).toString().trimmed();
    printer.address = map.value(QStringLiteral("address")).toString().trimmed();
    printer.dotsPerInch = map.value(QStringLiteral("dpi"), printer.dotsPerInch).toInt();
    printer.darkness = map.value(QStringLiteral("darkness"), printer.darkness).toInt();
    printer.speed = map.value(QStringLiteral("speed"), printer.speed).toInt();
    printer.offsetLeftMm = map.value(QStringLiteral("offsetLeft"), 0).toDouble();
    printer.offsetTopMm = map.value(QStringLiteral("offsetTop"), 0).toDouble();
    const QString media = map.value(QStringLiteral("media")).toString();
    for (int i = 0; i < 3; ++i) {
        if (media == QLatin1String(kMediaNames[i]))
            printer.media = ZplPrinterConfig::Media(i);
    }
    return printer;
}

QList<ZplPrinterConfig> ZplPrinters::read(SettingsManager* settings)
{
    QList<ZplPrinterConfig> printers;
    if (!settings)
        return printers;
    for (const QString& id : settings->childGroupsOfGroup(kGroup, true)) {
        QVariantMap map;
        for (const QString& key : settings->keysOfGroup(groupOf(id), true))
            map.insert(key, settings->getValueOfGroup(groupOf(id), key, true));
        const ZplPrinterConfig printer = ZplPrinterConfig::fromMap(map);
        if (!printer.name.isEmpty())
            printers << printer;
    }
    return printers;
}

bool ZplPrinters::find(SettingsManager* settings, const QString& name, ZplPrinterConfig* out)
{
    if (!settings || name.isEmpty())
        return false;
    for (const ZplPrinterConfig& printer : read(settings)) {
        if (printer.name == name) {
            *out = printer;
            return true;
        }
    }
    return false;
}

bool ZplPrinters::write(SettingsManager* settings, const ZplPrinterConfig& printer,
                        const QString& previousName, QString* error)
{
    const QString problem = settings ? printer.problem() : QStringLiteral("the settings cannot be written");
    if (!problem.isEmpty()) {
        *error = problem;
        return false;
    }
    const QString taken = idOf(settings, printer.name);
    // No previous name: a new printer, which must not take the place of a stored one.
    QString id = previousName.isEmpty() ? QString() : idOf(settings, previousName);
    if (!taken.isEmpty() && taken != id) {
        *error = QStringLiteral("another label printer is called \"%1\"").arg(printer.name);
        return false;
    }
    if (id.isEmpty()) {
        int n = 1;
        while (settings->childGroupsOfGroup(kGroup, true).contains(QStringLiteral("p%1").arg(n)))
            ++n;
        id = QStringLiteral("p%1").arg(n);
    }
    const QVariantMap map = printer.toMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        settings->setValueOfGroup(groupOf(id), it.key(), it.value(), true);
    if (!settings->syncGlobal()) {
        *error = QStringLiteral("the settings file cannot be written");
        return false;
    }
    return true;
}

bool ZplPrinters::remove(SettingsManager* settings, const QString& name)
{
    const QString id = settings ? idOf(settings, name) : QString();
    if (id.isEmpty())
        return false;
    settings->removeKeysOfGroup(groupOf(id), true);
    settings->syncGlobal();
    return true;
}
