#pragma once
// The station's native ZPL label printers, as the global settings keep them (group "zplPrinters",
// one subgroup each): where the printer is and how it prints.

#include <QList>
#include <QString>
#include <QVariantMap>

class SettingsManager;

struct ZplPrinterConfig
{
    enum class Media
    {
        Gap,       // labels separated by a gap or notch
        BlackMark, // a black mark on the back marks each label
        Continuous // one long strip
    };

    QString name;
    // "host:port" (port 9100 when left out) or a device file such as /dev/usb/lp0.
    QString address;
    int dotsPerInch = 203;
    int darkness = 15; // 0..30
    int speed = 4;     // inches per second
    double offsetLeftMm = 0;
    double offsetTopMm = 0;
    Media media = Media::Gap;

    static constexpr quint16 kDefaultPort = 9100;
    bool isDeviceFile() const { return address.startsWith(QLatin1Char('/')); }
    QString host() const;
    quint16 port() const;
    // What keeps the settings from being used, in words; empty when they are sound.
    QString problem() const;

    // The form the settings panel edits ("name", "address", "dpi", "darkness", "speed",
    // "offsetLeft", "offsetTop", "media": "gap" | "mark" | "continuous").
    QVariantMap toMap() const;
    static ZplPrinterConfig fromMap(const QVariantMap& map);
};

namespace ZplPrinters {

inline const QString kGroup = QStringLiteral("zplPrinters");

QList<ZplPrinterConfig> read(SettingsManager* settings);
// The printer of that name; false when there is none.
bool find(SettingsManager* settings, const QString& name, ZplPrinterConfig* out);
// Stores a printer (replacing the one of the same name, or of `previousName` when it was renamed);
// false with the reason when its settings are not sound or the name is taken by another printer.
bool write(SettingsManager* settings, const ZplPrinterConfig& printer, const QString& previousName,
           QString* error);
bool remove(SettingsManager* settings, const QString& name);

} // namespace ZplPrinters
