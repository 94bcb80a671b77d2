#include "settings/watermark.h"

#include "settings/settingsmanager.h"

#include <QDebug>

#include <algorithm>

namespace {

const QString kDocumentKey = QStringLiteral("MC/lastReportDocument");

QString restartKey(const QString& job)
{
    return QStringLiteral("jobs/%1/retryFromId").arg(job);
}

// Ids are written as text: QSettings reads every number back as text anyway, and an int would cut
// ids above 2^31.
qint64 readId(SettingsManager* settings, const QString& key)
{
    if (!settings || !settings->contains(key, true))
        return -1;
    bool ok = false;
    const qint64 id = settings->getValue(key, QString(), true).toLongLong(&ok);
    return ok ? id : -1;
}

} // namespace

const QString Watermark::kLastIdKey = QStringLiteral("MC/lastReportId");

Watermark::Watermark(SettingsManager* settings) : m_settings(settings) {}

qint64 Watermark::lastId() const
{
    return readId(m_settings, kLastIdKey);
}

QString Watermark::document() const
{
    return m_settings ? m_settings->getValue(kDocumentKey, QString(), true) : QString();
}

qint64 Watermark::restartPoint(const QString& job) const
{
    return readId(m_settings, restartKey(job));
}

qint64 Watermark::nextFetchFrom(const QString& job) const
{
    const qint64 from = lastId();
    const qint64 restart = restartPoint(job);
    return restart >= 0 ? std::min(from, restart) : from;
}

bool Watermark::set(qint64 id)
{
    if (!m_settings)
        return false;
    const bool stored = m_settings->writeGlobalTogether([this, id] {
        m_settings->setValue(kLastIdKey, QString::number(id), true);
        m_settings->removeKey(kDocumentKey, true);
        return true;
    });
    if (!stored)
        qWarning() << "The report id watermark" << id << "could not be stored:" << m_settings->saveProblem();
    else
        emit m_settings->watermarkChanged();
    return stored;
}

bool Watermark::advance(qint64 from, qint64 to, const QString& document,
                        const QHash<QString, qint64>& restartPoints)
{
    if (!m_settings)
        return false;
    bool moved = false;
    const bool stored = m_settings->writeGlobalTogether([&] {
        if (lastId() != from) {
            moved = true;
            return false;
        }
        m_settings->setValue(kLastIdKey, QString::number(to), true);
        if (document.isEmpty())
            m_settings->removeKey(kDocumentKey, true);
        else
            m_settings->setValue(kDocumentKey, document, true);
        for (auto it = restartPoints.cbegin(); it != restartPoints.cend(); ++it) {
            if (it.value() < 0)
                m_settings->removeKey(restartKey(it.key()), true);
            else
                m_settings->setValue(restartKey(it.key()), QString::number(it.value()), true);
        }
        return true;
    });
    if (moved)
        qWarning() << "The report id watermark was moved from" << from
                   << "during the poll; the poll's reports"
                   << "are fetched again from the new watermark";
    if (stored)
        emit m_settings->watermarkChanged();
    return stored;
}

bool Watermark::setStartPoint(const QString& job, qint64 after)
{
    if (!m_settings || job.isEmpty())
        return false;
    const bool stored = m_settings->writeGlobalTogether([&] {
        // Read under the lock: a poll ending meanwhile has moved the watermark already.
        if (after >= 0 && after < lastId())
            m_settings->setValue(restartKey(job), QString::number(after), true);
        else
            m_settings->removeKey(restartKey(job), true);
        return true;
    });
    if (stored)
        emit m_settings->watermarkChanged();
    else
        qWarning() << "The start point of job" << job << "could not be stored:" << m_settings->saveProblem();
    return stored;
}
