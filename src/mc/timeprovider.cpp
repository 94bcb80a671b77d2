#include "mc/timeprovider.h"

#include "settings/systempaths.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

qint64 readTimezoneOffset()
{
    const QSettings settings(SystemPaths::instance().globalSettingsFile, QSettings::IniFormat);
    return TimeProvider::offsetFromText(settings.value(QStringLiteral("timezone")).toString());
}

} // namespace

TimeProvider::TimeProvider() : m_timezoneOffset(readTimezoneOffset())
{
    // First use may come from a worker thread that ends; the object must outlive it.
    if (QCoreApplication* application = QCoreApplication::instance())
        moveToThread(application->thread());
}

TimeProvider* TimeProvider::instance()
{
    static TimeProvider* const provider = new TimeProvider();
    return provider;
}

QDateTime TimeProvider::currentTime() const
{
    return QDateTime::currentDateTimeUtc().addSecs(-m_timezoneOffset);
}

qint64 TimeProvider::offsetFromText(const QString& text)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return 0;
    const QChar sign = text.at(0);
    const int hours = text.mid(1, colon - 1).toInt(); // 0 when it does not parse
    const int minutes = text.mid(colon + 1).toInt();
    const qint64 offset = (qint64(hours) * 60 + minutes) * 60;
    return sign == QLatin1Char('+') ? offset : -offset;
}

void TimeProvider::setMCTimeDelta(int delta)
{
    m_mcTimeDelta = delta;
    m_mcTimeDeltaSet = true;
}
