#include "faultinjector.h"

#include <QJsonDocument>
#include <QJsonObject>

std::optional<FaultInjector::Kind> FaultInjector::kindFromName(const QString& name)
{
    if (name == QLatin1String("status"))
        return Kind::Status;
    if (name == QLatin1String("garbage"))
        return Kind::Garbage;
    if (name == QLatin1String("drop"))
        return Kind::Drop;
    if (name == QLatin1String("delay"))
        return Kind::Delay;
    if (name == QLatin1String("truncate"))
        return Kind::Truncate;
    if (name == QLatin1String("cut"))
        return Kind::Cut;
    return std::nullopt;
}

bool FaultInjector::set(const QByteArray& json, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (!document.isObject()) {
        *error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                              : QStringLiteral("expected a JSON object");
        return false;
    }
    const QJsonObject object = document.object();
    const QString path = object.value(QStringLiteral("path")).toString();
    if (!path.startsWith(QLatin1Char('/'))) {
        *error = QStringLiteral("\"path\" must be a request path starting with /");
        return false;
    }
    const std::optional<Kind> kind = kindFromName(object.value(QStringLiteral("kind")).toString());
    if (!kind) {
        *error = QStringLiteral("\"kind\" must be one of status, garbage, drop, delay, truncate, cut");
        return false;
    }
    Fault fault;
    fault.kind = *kind;
    fault.status = object.value(QStringLiteral("status")).toInt(500);
    fault.delayMs = object.value(QStringLiteral("delayMs")).toInt(0);
    fault.times = object.value(QStringLiteral("times")).toInt(1);
    if (fault.kind == Kind::Status && (fault.status < 100 || fault.status > 599)) {
        *error = QStringLiteral("\"status\" must be an HTTP status (100-599)");
        return false;
    }
    if (fault.delayMs < 0 || fault.delayMs > 600000) {
        *error = QStringLiteral("\"delayMs\" must be 0 to 600000");
        return false;
    }
    if (fault.times == 0 || fault.times < -1) {
        *error = QStringLiteral("\"times\" must be -1 (until cleared) or at least 1");
        return false;
    }
    set(path, fault);
    return true;
}

void FaultInjector::set(const QString& path, const Fault& fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.insert(path, fault);
}

int FaultInjector::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int count = m_faults.size();
    m_faults.clear();
    return count;
}

std::optional<FaultInjector::Fault> FaultInjector::take(const QString& path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_faults.find(path);
    if (it == m_faults.end())
        return std::nullopt;
    const Fault fault = it.value();
    if (it->times > 0 && --it->times == 0)
        m_faults.erase(it);
    return fault;
}
