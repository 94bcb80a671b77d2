#include "printersettings.h"

#include <QJsonArray>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

QList<QByteArray> fieldsOf(const QByteArray& params)
{
    QList<QByteArray> fields = params.split(',');
    for (QByteArray& field : fields)
        field = field.trimmed();
    return fields;
}

// An integer in [low, high], or `fallback` for an empty or unreadable field.
int intField(const QByteArray& field, int low, int high, int fallback)
{
    bool ok = false;
    const int value = field.toInt(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

// The first letter of `field` if it is one of `allowed`, else `fallback`.
char letterField(const QByteArray& field, const char* allowed, char fallback)
{
    if (field.isEmpty())
        return fallback;
    const char letter = char(std::toupper(static_cast<unsigned char>(field.at(0))));
    return letter && std::strchr(allowed, letter) ? letter : fallback;
}

// ^PR speeds: a number of inches per second, or the letters A..E for 2, 3, 4, 6 and 8.
int speedField(const QByteArray& field, int fallback)
{
    static const char letters[] = "ABCDE";
    static const int speeds[] = {2, 3, 4, 6, 8};
    const char* letter = field.size() == 1
                             ? std::strchr(letters, std::toupper(static_cast<unsigned char>(field.at(0))))
                             : nullptr;
    if (letter && *letter)
        return speeds[letter - letters];
    return intField(field, 1, 14, fallback);
}

using Setter = void (*)(PrinterSettings&, const QList<QByteArray>&);

struct SettingCommand
{
    const char* code;
    Setter set;
};

const SettingCommand kSettings[] = {
    {"^PW",
     [](PrinterSettings& s, const QList<QByteArray>& f) {
         s.printWidth = intField(f[0], 2, 32000, s.printWidth);
     }},
    {"^LL",
     [](PrinterSettings& s, const QList<QByteArray>& f) {
         s.labelLength = intField(f[0], 1, 32000, s.labelLength);
     }},
    {"^LH",
     [](PrinterSettings& s, const QList<QByteArray>& f) {
         s.labelHome = QPoint(intField(f.value(0), 0, 32000, s.labelHome.x()),
                              intField(f.value(1), 0, 32000, s.labelHome.y()));
     }},
    {"^LS",
     [](PrinterSettings& s, const QList<QByteArray>& f) {
         s.labelShift = intField(f[0], -9999, 9999, s.labelShift);
     }},
    {"^LT",
     [](PrinterSettings& s, const QList<QByteArray>& f) {
         s.labelTop = intField(f[0], -120, 120, s.labelTop);
     }},
    {"~SD",
     [](PrinterSettings& s, const QList<QByteArray>& f) {
         s.darknessBase = intField(f[0], 0, 30, s.darknessBase);
     }},
    {"^MD",
     [](PrinterSettings& s, const QList<QByteArray>& f) {
         bool ok = false;
         const double value = f[0].toDouble(&ok);
         if (ok && value >= -30.0 && value <= 30.0)
             s.darknessAdjust = value;
     }},
    {"^PR",
     [](PrinterSettings& s, const QList<QByteArray>& f) {
         s.printSpeed = speedField(f[0], s.printSpeed);
     }},
    {"^MN",
     [](PrinterSettings& s, const QList<QByteArray>& f) {
         s.media = letterField(f[0], "NYWMA", s.media);
     }},
    {"^PO",
     [](PrinterSettings& s, const QList<QByteArray>& f) {
         s.orientation = letterField(f[0], "NI", s.orientation);
     }},
    {"^MM",
     [](PrinterSettings& s, const QList<QByteArray>& f) {
         s.printMode = letterField(f[0], "TPRCAD", s.printMode);
     }},
};

} // namespace

bool PrinterSettings::apply(const ZplCommand& command)
{
    const auto setting = std::find_if(std::begin(kSettings), std::end(kSettings),
                                      [&command](const SettingCommand& s) { return command.is(s.code); });
    if (setting == std::end(kSettings))
        return false;
    setting->set(*this, fieldsOf(command.params));
    return true;
}

double PrinterSettings::darkness() const
{
    return std::clamp(darknessBase + darknessAdjust, 0.0, 30.0);
}

QJsonObject PrinterSettings::toJson() const
{
    return {{QStringLiteral("darkness"), darkness()},
            {QStringLiteral("darknessBase"), darknessBase},
            {QStringLiteral("darknessAdjust"), darknessAdjust},
            {QStringLiteral("speed"), printSpeed},
            {QStringLiteral("media"), QString(QLatin1Char(media))},
            {QStringLiteral("labelHome"), QJsonArray{labelHome.x(), labelHome.y()}},
            {QStringLiteral("labelShift"), labelShift},
            {QStringLiteral("labelTop"), labelTop},
            {QStringLiteral("printWidth"), printWidth},
            {QStringLiteral("labelLength"), labelLength},
            {QStringLiteral("orientation"), QString(QLatin1Char(orientation))},
            {QStringLiteral("printMode"), QString(QLatin1Char(printMode))}};
}
