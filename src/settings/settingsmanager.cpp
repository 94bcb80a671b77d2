#include "settings/settingsmanager.h"

#include "settings/settingscategory.h"
#include "settings/systempaths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QPointer>
#include <QQmlEngine>
#include <QSet>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>

#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

const QByteArray kPasswordPrefix = QByteArrayLiteral("LYM1");
constexpr int kPasswordBlock = 32;

std::atomic<SettingsManager*> g_instance{nullptr};
QMutex g_instanceLock;

// Key and IV are assembled at run time so they do not sit in the binary as one readable string.
QByteArray passwordKey()
{
    static const unsigned char parts[16] = {0x4c, 0x61, 0x62, 0x65, 0x6c, 0x53, 0x74, 0x61,
                                            0x74, 0x69, 0x6f, 0x6e, 0x4b, 0x65, 0x79, 0x31};
    QByteArray key(16, '\0');
    for (int i = 0; i < 16; ++i)
        key[i] = char(parts[i] ^ 0x5a);
    return key;
}

QByteArray passwordIv()
{
    QByteArray iv(16, '\0');
    for (int i = 0; i < 16; ++i)
        iv[i] = char((i * 37 + 11) & 0xff);
    return iv;
}

// AES-128-CBC without padding; the input length is always a multiple of the block size here.
QByteArray aes128Cbc(const QByteArray& in, bool encrypt)
{
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free);
    if (!ctx)
        return {};
    const QByteArray key = passwordKey();
    const QByteArray iv = passwordIv();
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr,
                          reinterpret_cast<const unsigned char*>(key.constData()),
                          reinterpret_cast<const unsigned char*>(iv.constData()), encrypt ? 1 : 0) != 1)
        return {};
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    QByteArray out(in.size() + 16, '\0');
    int len = 0;
    int total = 0;
    if (EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &len,
                         reinterpret_cast<const unsigned char*>(in.constData()), in.size()) != 1)
        return {};
    total = len;
    if (EVP_CipherFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(out.data()) + total, &len) != 1)
        return {};
    total += len;
    out.resize(total);
    return out;
}

// Why a settings file could not be written, found by writing beside it the way QSettings does.
QString writeFailure(const QString& path)
{
    const QFileInfo file(path);
    QTemporaryFile probe(file.absolutePath() + QStringLiteral("/.settings-probe-XXXXXX"));
    if (!probe.open())
        return QStringLiteral("its folder cannot be written (%1)").arg(probe.errorString());
    const QByteArray block(4096, '\0');
    if (probe.write(block) != block.size() || !probe.flush())
        return QStringLiteral("the disk is full or failing (%1)").arg(probe.errorString());
    probe.close();
    if (file.exists() && !file.isWritable())
        return QStringLiteral("the file is read-only");
    return QStringLiteral("it could not be written");
}

QHash<QString, QVariant> allValues(const QSettings& settings)
{
    QHash<QString, QVariant> values;
    const QStringList keys = settings.allKeys();
    for (const QString& key : keys)
        values.insert(key, settings.value(key));
    return values;
}

// Makes `settings` hold exactly `values`.
void setAllValues(QSettings& settings, const QHash<QString, QVariant>& values)
{
    const QStringList keys = settings.allKeys();
    for (const QString& key : keys) {
        if (!values.contains(key))
            settings.remove(key);
    }
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!settings.contains(it.key()) || settings.value(it.key()) != it.value())
            settings.setValue(it.key(), it.value());
    }
}

// A key as QSettings keeps it: no leading, trailing or doubled "/".
QString normalizedKey(const QString& key)
{
    if (!key.startsWith(QLatin1Char('/')) && !key.endsWith(QLatin1Char('/')) &&
        !key.contains(QLatin1String("//")))
        return key;
    return key.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
}

// The start of the keys inside the groups ("a/b/"), as QSettings' beginGroup nests them.
QString groupPrefix(std::initializer_list<QString> groups)
{
    QString prefix;
    for (const QString& group : groups) {
        const QString name = normalizedKey(group);
        if (!name.isEmpty())
            prefix += name + QLatin1Char('/');
    }
    return prefix;
}

// The keys, or the groups, directly inside a group; sorted, as QSettings lists them.
QStringList childrenOf(const QHash<QString, QVariant>& values, const QString& prefix, bool groups)
{
    QStringList result;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString& key = it.key();
        if (!key.startsWith(prefix))
            continue;
        const int slash = key.indexOf(QLatin1Char('/'), prefix.size());
        if (groups != (slash >= 0))
            continue;
        result.append(key.mid(prefix.size(), groups ? slash - prefix.size() : -1));
    }
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}

} // namespace

// QSettings writes itself from its thread's event loop a while after a change. That write would
// pass by the manager's lock (while another thread changes values) and by its error handling, so
// it goes through the manager.
class SettingsFile : public QSettings
{
public:
    SettingsFile(const QString& path, SettingsManager* manager, bool global)
        : QSettings(path, QSettings::IniFormat), m_manager(manager), m_global(global)
    {}

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::UpdateRequest)
            return QSettings::event(event);
        if (!m_manager)
            return true; // a file replaced after a failed write that outlived its manager
        // The window's thread never waits for another thread's write: a poll storing its watermark
        // holds the lock while the disk syncs, tens of milliseconds with a page of large reports on
        // its way to the disk. Whatever is still unsaved then is written on a later look.
        if (!m_manager->m_lock.tryLock()) {
            QTimer::singleShot(kBusyRetryMs, this, [this] {
                QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest));
            });
            return true;
        }
        // This object may have been replaced meanwhile: write the current one.
        m_manager->sync(m_global);
        m_manager->m_lock.unlock();
        return true;
    }

private:
    static constexpr int kBusyRetryMs = 100;
    // Used on this object's thread only, where the manager lives too.
    QPointer<SettingsManager> m_manager;
    bool m_global;
};

SettingsManager* SettingsManager::instance()
{
    SettingsManager* existing = g_instance.load();
    if (existing)
        return existing;
    QMutexLocker lock(&g_instanceLock);
    if (g_instance.load())
        return g_instance.load();
    if (!QFileInfo::exists(SystemPaths::instance().homeDir))
        return nullptr;
    auto* manager = new SettingsManager();
    g_instance.store(manager);
    return manager;
}

SettingsManager::SettingsManager()
{
    const SystemPaths& paths = SystemPaths::instance();
    repairGlobalFile(paths.globalSettingsFile, &m_repairNote);
    m_globalSettings = open(true);
    m_userSettings = open(false);
    publish(true);
    publish(false);

    if (m_userSettings->isWritable())
        qDebug() << "Using settings from " << m_userSettings->fileName();
    else
        qDebug() << "\n\n"
                 << "SETTINGS FILE IS NOT WRITABLE! SETTINGS WILL NOT BE STORED!"
                 << m_userSettings->fileName() << "\n\n";
    if (m_globalSettings->isWritable())
        qDebug() << "Using global settings from " << paths.globalSettingsFile;
    else
        qDebug() << "\n\n"
                 << "GLOBAL SETTINGS FILE IS NOT WRITABLE! GLOBAL SETTINGS WILL NOT BE STORED!"
                 << paths.globalSettingsFile << "\n\n";

    // Queued connections and signal spies carry the category enum.
    qRegisterMetaType<SettingsManager::SettingsCategories>("SettingsManager::SettingsCategories");
    qmlRegisterUncreatableType<SettingsManager>("SettingsCategories", 1, 0, "SettingsCategories",
                                                QStringLiteral("Cannot be instantiated"));
    qmlRegisterUncreatableType<SettingsManager>("ConfigurationStatus", 1, 0, "ConfigurationStatus",
                                                QStringLiteral("Cannot be instantiated"));

    for (int category :
         {ANDROID, IOS, IOS_XML, MTP, NETWORK, PROXY, ALL_DEVICES, GENERAL_SETTINGS, BLACKBERRY, REPORT})
        m_categories.append(new SettingsCategory(category, this));
}

QString SettingsManager::repairGlobalFile(const QString& path, QString* note)
{
    if (!QFileInfo::exists(path))
        return path;
    QList<QPair<QString, QVariant>> values;
    {
        // The file is always written whole, ending in a line break; without one it was cut short,
        // perhaps in the middle of a value that still reads well.
        QFile raw(path);
        const bool cut = raw.open(QIODevice::ReadOnly) && raw.size() > 0 && raw.seek(raw.size() - 1) &&
                         raw.read(1) != "\n";
        raw.close();
        QSettings probe(path, QSettings::IniFormat);
        // Sections are parsed when first read: read them all before asking for the status.
        const QStringList keys = probe.allKeys();
        if (probe.status() != QSettings::FormatError && !cut)
            return path;
        for (const QString& key : keys)
            values.append({key, probe.value(key)});
    }
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString copy = QStringLiteral("%1.damaged-%2").arg(path, stamp);
    for (int n = 2; QFileInfo::exists(copy); ++n)
        copy = QStringLiteral("%1.damaged-%2-%3").arg(path, stamp).arg(n);
    if (!QFile::rename(path, copy)) {
        *note = QStringLiteral("The global settings file %1 is damaged and could not be moved aside; "
                               "settings changed now are not kept.")
                    .arg(path);
        qWarning() << "Settings:" << *note;
        return path;
    }
    QSet<QString> jobs;
    {
        QSettings clean(path, QSettings::IniFormat);
        for (const auto& value : qAsConst(values)) {
            clean.setValue(value.first, value.second);
            if (value.first.startsWith(QLatin1String("jobs/")))
                jobs.insert(value.first.section(QLatin1Char('/'), 1, 1));
        }
        clean.sync();
    }
    const QString jobsText =
        jobs.isEmpty()
            ? QStringLiteral("No print job could be read: set the print jobs up again.")
            : QStringLiteral("%1 print jobs were read; check that none is missing.").arg(jobs.size());
    *note = QStringLiteral("The global settings file %1 was damaged. It was kept as %2, and the %3 values "
                           "that could be read were written to a clean file. %4")
                .arg(path, copy)
                .arg(values.size())
                .arg(jobsText);
    qWarning() << "Settings:" << *note;
    return path;
}

QSettings* SettingsManager::open(bool global)
{
    const SystemPaths& paths = SystemPaths::instance();
    auto* settings =
        new SettingsFile(global ? paths.globalSettingsFile : paths.userSettingsFile, this, global);
    // Its deferred writes run on the manager's thread, whichever thread opened it again.
    settings->moveToThread(thread());
    return settings;
}

bool SettingsManager::sync(bool global)
{
    QSettings*& settings = global ? m_globalSettings : m_userSettings;
    if (settings->status() != QSettings::NoError) {
        // QSettings keeps its first error for good, and would say every later write failed too: a
        // fresh one, holding the values that were to be written, tries again.
        const QHash<QString, QVariant> values = allValues(*settings);
        // Deleted on its own thread, where a deferred write of it may be under way.
        settings->deleteLater();
        settings = open(global);
        setAllValues(*settings, values);
    }
    const bool hadChanges = m_unsaved[global];
    settings->sync();
    // Another program may have changed the file meanwhile; QSettings read it again.
    if (m_changingThread.load() != QThread::currentThread())
        publish(global);
    if (settings->status() == QSettings::NoError) {
        m_unsaved[global] = false;
        // A sync with nothing to write proves nothing about the file.
        if (hadChanges)
            setSaveProblem(global, QString());
        return true;
    }
    setSaveProblem(global,
                   QStringLiteral("%1: %2").arg(settings->fileName(), writeFailure(settings->fileName())));
    return false;
}

void SettingsManager::changed(bool global)
{
    m_unsaved[global] = true;
    if (m_changingThread.load() != QThread::currentThread())
        publish(global);
}

void SettingsManager::publish(bool global)
{
    const QHash<QString, QVariant> values = allValues(file(global));
    QMutexLocker lock(&m_publishedLock);
    m_published[global] = values;
}

QHash<QString, QVariant> SettingsManager::valuesFor(bool global) const
{
    if (m_changingThread.load() == QThread::currentThread())
        return allValues(global ? *m_globalSettings : *m_userSettings);
    QMutexLocker lock(&m_publishedLock);
    return m_published[global];
}

void SettingsManager::setSaveProblem(bool global, const QString& problem)
{
    if (m_saveProblem[global] == problem)
        return;
    if (problem.isEmpty())
        qWarning() << "Settings can be saved again:" << file(global).fileName();
    else
        qWarning() << "Settings cannot be saved:" << problem;
    m_saveProblem[global] = problem;
    // Posted: the lock is held here, and listeners read settings.
    QMetaObject::invokeMethod(
        this, [this, summary = saveProblem()] { emit saveProblemChanged(summary); }, Qt::QueuedConnection);
}

QString SettingsManager::saveProblem() const
{
    QMutexLocker lock(&m_lock);
    return m_saveProblem[true].isEmpty() ? m_saveProblem[false] : m_saveProblem[true];
}

SettingsManager::~SettingsManager()
{
    {
        QMutexLocker lock(&m_lock);
        sync(false);
        sync(true);
        delete m_userSettings;
        m_userSettings = nullptr;
        delete m_globalSettings;
        m_globalSettings = nullptr;
    }
    SettingsManager* self = this;
    g_instance.compare_exchange_strong(self, nullptr);
}

bool SettingsManager::contains(const QString& key, bool global)
{
    return valuesFor(global).contains(normalizedKey(key));
}

void SettingsManager::setValue(const QString& key, const QVariant& value, bool global)
{
    QMutexLocker lock(&m_lock);
    file(global).setValue(key, value);
    changed(global);
}

QString SettingsManager::getValue(const QString& key, const QString& defaultValue, bool global)
{
    return valuesFor(global).value(normalizedKey(key), defaultValue).toString();
}

int SettingsManager::getIntValue(const QString& key, int defaultValue, bool global)
{
    return valuesFor(global).value(normalizedKey(key), defaultValue).toInt();
}

bool SettingsManager::getBooleanValue(const QString& key, bool defaultValue, bool global)
{
    return valuesFor(global).value(normalizedKey(key), defaultValue).toBool();
}

QVariantList SettingsManager::getList(const QString& key, const QString& defaultValue, bool global)
{
    return valuesFor(global).value(normalizedKey(key), defaultValue).toList();
}

QByteArray SettingsManager::encipherPassword(const QString& plain)
{
    QByteArray data;
    data.reserve(plain.size() * 2 + kPasswordBlock);
    for (const QChar c : plain) {
        data.append(char(c.unicode() & 0xff));
        data.append(char(c.unicode() >> 8));
    }
    if (data.size() % kPasswordBlock != 0)
        data.append(QByteArray(kPasswordBlock - data.size() % kPasswordBlock, '\0'));
    const QByteArray cipher = aes128Cbc(data, true);
    if (cipher.size() != data.size())
        return {};
    return kPasswordPrefix + cipher;
}

QString SettingsManager::decipherPassword(const QVariant& stored)
{
    if (stored.type() != QVariant::ByteArray)
        return {};
    const QByteArray bytes = stored.toByteArray();
    if (!bytes.startsWith(kPasswordPrefix))
        return {};
    const QByteArray cipher = bytes.mid(kPasswordPrefix.size());
    if (cipher.size() % kPasswordBlock != 0)
        return {};
    const QByteArray plain = aes128Cbc(cipher, false);
    if (plain.size() != cipher.size())
        return {};
    QString text;
    for (int i = 0; i + 1 < plain.size(); i += 2) {
        const ushort unit = ushort(uchar(plain[i])) | ushort(uchar(plain[i + 1]) << 8);
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

void SettingsManager::setPassword(const QString& key, const QString& value, bool global)
{
    QMutexLocker lock(&m_lock);
    if (value.isEmpty()) {
        file(global).remove(key);
        changed(global);
        return;
    }
    const QByteArray stored = encipherPassword(value);
    if (stored.isEmpty()) {
        qWarning() << Q_FUNC_INFO << "could not encipher the value of" << key << "- nothing stored";
        return;
    }
    setValue(key, stored, global);
}

QString SettingsManager::getPassword(const QString& key, bool global)
{
    return decipherPassword(valuesFor(global).value(normalizedKey(key)));
}

void SettingsManager::removeKey(const QString& key, bool global)
{
    QMutexLocker lock(&m_lock);
    file(global).remove(key);
    changed(global);
}

void SettingsManager::removeKeys(const QString& keyContains, bool global)
{
    // Short fragments would match nearly everything.
    if (keyContains.size() < 3)
        return;
    QMutexLocker lock(&m_lock);
    QSettings& settings = file(global);
    const QStringList keys = settings.allKeys();
    for (const QString& key : keys) {
        if (key.contains(keyContains))
            settings.remove(key);
    }
    changed(global);
}

QStringList SettingsManager::keysOfGroup(const QString& group, bool global)
{
    return childrenOf(valuesFor(global), groupPrefix({group}), false);
}

QStringList SettingsManager::childGroupsOfGroup(const QString& group, bool global)
{
    return childrenOf(valuesFor(global), groupPrefix({group}), true);
}

QStringList SettingsManager::childGroupsOfSubGroup(const QString& group, const QString& subgroup, bool global)
{
    return childrenOf(valuesFor(global), groupPrefix({group, subgroup}), true);
}

void SettingsManager::setValueOfGroup(const QString& group, const QString& key, const QVariant& value,
                                      bool global)
{
    if (group.isEmpty()) {
        qWarning() << Q_FUNC_INFO << "Cowardly refusing to set value of undefined group:" << group;
        return;
    }
    QMutexLocker lock(&m_lock);
    QSettings& settings = file(global);
    settings.beginGroup(group);
    settings.setValue(key, value);
    settings.endGroup();
    changed(global);
}

QVariant SettingsManager::getValueOfGroup(const QString& group, const QString& key, bool global)
{
    if (group.isEmpty()) {
        qWarning() << Q_FUNC_INFO << "Cowardly refusing to get value of undefined group:" << group;
        return {};
    }
    return valuesFor(global).value(groupPrefix({group}) + normalizedKey(key));
}

QVariant SettingsManager::getValueOfSubGroup(const QString& group, const QString& subgroup,
                                             const QString& key, bool global)
{
    if (group.isEmpty() || subgroup.isEmpty())
        return {};
    return valuesFor(global).value(groupPrefix({group, subgroup}) + normalizedKey(key));
}

void SettingsManager::removeValueOfGroup(const QString& group, const QString& key, bool global)
{
    if (group.isEmpty() || key.isEmpty()) {
        qWarning() << Q_FUNC_INFO << "Refusing to remove key(" << key << ") from group(" << group << ")";
        return;
    }
    QMutexLocker lock(&m_lock);
    QSettings& settings = file(global);
    settings.beginGroup(group);
    settings.remove(key);
    settings.endGroup();
    changed(global);
}

void SettingsManager::removeKeysOfGroup(const QString& group, bool global)
{
    if (group.isEmpty())
        return;
    QMutexLocker lock(&m_lock);
    QSettings& settings = file(global);
    settings.beginGroup(group);
    // QSettings drops a trailing "/" from the group name, so such a name never matches here:
    // only a group entered exactly is emptied.
    if (settings.group().endsWith(group))
        settings.remove(QString());
    settings.endGroup();
    changed(global);
}

QStringList SettingsManager::findKeysByValue(const QString& value, const QString& keyContains, bool global)
{
    QStringList path = keyContains.split(QLatin1Char('/'));
    const QString word = path.takeLast();
    const QString prefix = path.isEmpty() ? QString() : path.join(QLatin1Char('/')) + QLatin1Char('/');

    QString inside;
    for (const QString& group : qAsConst(path))
        inside += groupPrefix({group});
    const QHash<QString, QVariant> values = valuesFor(global);
    QStringList result;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!it.key().startsWith(inside))
            continue;
        const QString key = it.key().mid(inside.size());
        if (key.contains(word) && it.value().toString() == value)
            result.append(prefix + key);
    }
    std::sort(result.begin(), result.end());
    return result;
}

void SettingsManager::flush(int broadcastTo)
{
    {
        QMutexLocker lock(&m_lock);
        sync(false);
        sync(true);
    }
    // Listeners may read settings again; notify outside the lock.
    for (SettingsCategory* category : qAsConst(m_categories)) {
        if (category->category() & broadcastTo) {
            emit category->dataChanged();
            emit categoryChanged(static_cast<SettingsCategories>(category->category()));
        }
    }
}

bool SettingsManager::syncGlobal()
{
    QMutexLocker lock(&m_lock);
    return sync(true);
}

bool SettingsManager::writeGlobalTogether(const std::function<bool()>& change)
{
    QMutexLocker lock(&m_lock);
    const QHash<QString, QVariant> before = allValues(*m_globalSettings);
    // Readers see the change once it is written, or never when it is undone.
    QThread* const outer = m_changingThread.exchange(QThread::currentThread());
    const bool written = change() && sync(true);
    if (!written)
        setAllValues(*m_globalSettings, before);
    m_changingThread = outer;
    if (!outer) {
        publish(true);
        publish(false);
    }
    return written;
}

void SettingsManager::exportToOtherUser(const QString& key)
{
    const QString homeDir = SystemPaths::instance().homeDir;
    QMutexLocker lock(&m_lock);
    m_globalSettings->beginGroup(QStringLiteral("USER_PWD"));
    const QStringList users = m_globalSettings->childKeys();
    m_globalSettings->endGroup();
    for (const QString& user : users) {
        const QString path =
            QStringLiteral("%1/%2/%3").arg(homeDir, user, QStringLiteral(".settingsStorage"));
        if (!QFileInfo::exists(path)) {
            qDebug() << Q_FUNC_INFO << "Failed to open settings file for user" << user << path;
            continue;
        }
        QSettings other(path, QSettings::NativeFormat);
        other.setValue(key, m_userSettings->value(key, QByteArray()).toByteArray());
    }
}

void SettingsManager::notifyProcessOrderChanged()
{
    emit processOrderChanged();
}

void SettingsManager::notifyPrintingChanged()
{
    emit printingSettingsChanged();
}

void SettingsManager::notifyWhitelistChanged()
{
    emit whitelistChanged();
}
