#include "printerstate.h"

#include <algorithm>

namespace {

struct Flag
{
    const char* name;
    bool PrinterState::*member;
};

const Flag kFlags[] = {{"paperOut", &PrinterState::paperOut},     {"headOpen", &PrinterState::headOpen},
                       {"ribbonOut", &PrinterState::ribbonOut},   {"paused", &PrinterState::paused},
                       {"bufferFull", &PrinterState::bufferFull}, {"silent", &PrinterState::silent},
                       {"refuse", &PrinterState::refuse}};

const qint64 kMaxSlowMs = 600000;
const qint64 kMaxDropAfterBytes = 1LL << 40;

// A whole number in [0, high] from a JSON number.
bool wholeNumber(const QJsonValue& value, qint64 high, qint64* out)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (number < 0 || number > double(high) || number != double(qint64(number)))
        return false;
    *out = qint64(number);
    return true;
}

} // namespace

bool PrinterState::merge(const QJsonObject& changes, QString* error)
{
    PrinterState next = *this;
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        const QString key = it.key();
        const auto flag = std::find_if(std::begin(kFlags), std::end(kFlags),
                                       [&key](const Flag& f) { return key == QLatin1String(f.name); });
        qint64 number = 0;
        if (flag != std::end(kFlags)) {
            if (!it.value().isBool()) {
                *error = QStringLiteral("\"%1\" must be true or false").arg(key);
                return false;
            }
            next.*(flag->member) = it.value().toBool();
        } else if (key == QLatin1String("slowMs")) {
            if (!wholeNumber(it.value(), kMaxSlowMs, &number)) {
                *error = QStringLiteral("\"slowMs\" must be 0 to %1").arg(kMaxSlowMs);
                return false;
            }
            next.slowMs = int(number);
        } else if (key == QLatin1String("dropAfterBytes")) {
            if (!wholeNumber(it.value(), kMaxDropAfterBytes, &number)) {
                *error = QStringLiteral("\"dropAfterBytes\" must be a number of bytes, 0 for none");
                return false;
            }
            next.dropAfterBytes = number;
        } else if (key == QLatin1String("paperOutAfter") || key == QLatin1String("silentAfter")) {
            if (!wholeNumber(it.value(), 1000000, &number)) {
                *error = QStringLiteral("\"%1\" must be a number of formats, 0 for none").arg(key);
                return false;
            }
            (key == QLatin1String("silentAfter") ? next.silentAfter : next.paperOutAfter) = int(number);
        } else {
            *error = QStringLiteral("\"%1\" is not a field that can be set").arg(key);
            return false;
        }
    }
    *this = next;
    return true;
}

QJsonObject PrinterState::toJson() const
{
    QJsonObject object;
    for (const Flag& flag : kFlags)
        object.insert(QLatin1String(flag.name), this->*(flag.member));
    object.insert(QStringLiteral("slowMs"), slowMs);
    object.insert(QStringLiteral("dropAfterBytes"), double(dropAfterBytes));
    object.insert(QStringLiteral("paperOutAfter"), paperOutAfter);
    object.insert(QStringLiteral("silentAfter"), silentAfter);
    return object;
}
