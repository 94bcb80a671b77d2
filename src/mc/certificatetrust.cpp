#include "mc/certificatetrust.h"

#include "logging/logger.h"
#include "settings/settingsmanager.h"

#include <QCoreApplication>
#include <QMutex>

namespace {

constexpr int kDigestBytes = 32;

// Remembering and refusing read, then write several keys; two threads must not interleave.
QMutex& trustLock()
{
    static QMutex lock;
    return lock;
}

QByteArray stored(const QString& key)
{
    SettingsManager* settings = SettingsManager::instance();
    return settings ? settings->getValue(key, QString(), true).toLatin1() : QByteArray();
}

} // namespace

const QString CertificateTrust::kTrustedKey = QStringLiteral("MC/certificateKey");
const QString CertificateTrust::kConsoleKey = QStringLiteral("MC/certificateConsole");
const QString CertificateTrust::kOfferedKey = QStringLiteral("MC/offeredCertificateKey");

CertificateTrust::CertificateTrust()
{
    // First use may come from a worker thread that ends; the object must outlive it.
    if (QCoreApplication* application = QCoreApplication::instance())
        moveToThread(application->thread());
}

CertificateTrust* CertificateTrust::instance()
{
    static CertificateTrust* const trust = new CertificateTrust();
    return trust;
}

QString CertificateTrust::trustedFingerprint() const
{
    return displayForm(stored(kTrustedKey));
}

QString CertificateTrust::offeredFingerprint() const
{
    return displayForm(stored(kOfferedKey));
}

QByteArray CertificateTrust::expectedKey(const QString& console) const
{
    QMutexLocker locker(&trustLock());
    if (QString::fromLatin1(stored(kConsoleKey)) != console)
        return QByteArray();
    return stored(kTrustedKey);
}

void CertificateTrust::remember(const QString& console, const QByteArray& key)
{
    SettingsManager* settings = SettingsManager::instance();
    if (!settings || key.isEmpty())
        return;
    {
        QMutexLocker locker(&trustLock());
        // Another thread may have met the console first; its key stands.
        if (QString::fromLatin1(stored(kConsoleKey)) == console && !stored(kTrustedKey).isEmpty())
            return;
        settings->setValue(kTrustedKey, QString::fromLatin1(key), true);
        settings->setValue(kConsoleKey, console, true);
        settings->removeKey(kOfferedKey, true);
        settings->flush();
    }
    logPrintf("CertificateTrust: remembered the certificate of %s (%s)\n", qPrintable(console),
              qPrintable(displayForm(key)));
    notifyChanged();
}

void CertificateTrust::refuse(const QString& console, const QByteArray& key)
{
    SettingsManager* settings = SettingsManager::instance();
    if (!settings)
        return;
    {
        QMutexLocker locker(&trustLock());
        settings->setValue(kOfferedKey, QString::fromLatin1(key), true);
        settings->flush();
    }
    logPrintf("CertificateTrust: %s presented another certificate (%s); refused\n", qPrintable(console),
              qPrintable(displayForm(key)));
    notifyChanged();
    emit refused();
}

bool CertificateTrust::trustOffered()
{
    SettingsManager* settings = SettingsManager::instance();
    if (!settings)
        return false;
    {
        QMutexLocker locker(&trustLock());
        const QByteArray offered = stored(kOfferedKey);
        if (offered.isEmpty())
            return false;
        settings->setValue(kTrustedKey, QString::fromLatin1(offered), true);
        settings->removeKey(kOfferedKey, true);
        settings->flush();
    }
    logPrintf("CertificateTrust: the user trusts the new certificate (%s)\n",
              qPrintable(trustedFingerprint()));
    notifyChanged();
    emit trusted();
    return true;
}

QString CertificateTrust::displayForm(const QByteArray& key)
{
    const QByteArray digest = QByteArray::fromBase64(key);
    if (digest.size() != kDigestBytes)
        return QString();
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

void CertificateTrust::notifyChanged()
{
    // QML binds to the properties: their signal must come from the object's own thread.
    QMetaObject::invokeMethod(this, &CertificateTrust::changed, Qt::QueuedConnection);
}
