#pragma once
// The settings store: the user and the global INI file, typed access for native code and QML.

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QRecursiveMutex>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <atomic>
#include <functional>

class QThread;
class SettingsCategory;
class SettingsFile;

class SettingsManager : public QObject
{
    Q_OBJECT
public:
    enum SettingsCategories
    {
        ANDROID = 1,
        IOS = 2,
        NETWORK = 4,
        PROXY = 8,
        IOS_XML = 16,
        MTP = 32,
        ALL_DEVICES = 64,
        GENERAL_SETTINGS = 128,
        BLACKBERRY = 256,
        REPORT = 512
    };
    Q_ENUM(SettingsCategories)

    enum ConfigurationStatus
    {
        CONFIGURED_HASH_MISMATCH = -2,
        CONFIGURED_INCOMPLETE = -1,
        NOT_CONFIGURED = 0,
        CONFIGURED = 1
    };
    Q_ENUM(ConfigurationStatus)

    // The process-wide manager; null when the home directory of the path table does not exist.
    static SettingsManager* instance();
    ~SettingsManager() override;

    const QList<SettingsCategory*>& categories() const { return m_categories; }

public slots:
    bool contains(const QString& key, bool global = false);
    void setValue(const QString& key, const QVariant& value, bool global = false);
    QString getValue(const QString& key, const QString& defaultValue = QString(), bool global = false);
    int getIntValue(const QString& key, int defaultValue = 0, bool global = false);
    bool getBooleanValue(const QString& key, bool defaultValue = false, bool global = false);
    QVariantList getList(const QString& key, const QString& defaultValue = QString(), bool global = false);
    void setPassword(const QString& key, const QString& value, bool global = false);
    QString getPassword(const QString& key, bool global = false);
    void removeKey(const QString& key, bool global = false);
    void removeKeys(const QString& keyContains, bool global = false);
    QStringList keysOfGroup(const QString& group, bool global = false);
    QStringList childGroupsOfGroup(const QString& group, bool global = false);
    QStringList childGroupsOfSubGroup(const QString& group, const QString& subgroup, bool global = false);
    void setValueOfGroup(const QString& group, const QString& key, const QVariant& value,
                         bool global = false);
    QVariant getValueOfGroup(const QString& group, const QString& key, bool global = false);
    QVariant getValueOfSubGroup(const QString& group, const QString& subgroup, const QString& key,
                                bool global = false);
    void removeValueOfGroup(const QString& group, const QString& key, bool global = false);
    void removeKeysOfGroup(const QString& group, bool global = false);
    QStringList findKeysByValue(const QString& value, const QString& keyContains = QString(),
                                bool global = false);
    void flush(int broadcastTo = 0);
    // Writes the global file now; false when it could not be written (the values stay in memory and
    // the next sync tries again).
    bool syncGlobal();
    // Runs `change` (which writes global values through this manager) and writes the global file, as
    // one step no other thread's settings call comes between. When `change` returns false or the file
    // cannot be written, every global value is as before in memory too, and false is returned.
    bool writeGlobalTogether(const std::function<bool()>& change);
    // Why the last write of a settings file failed ("<file>: <reason>"); empty once a write succeeded.
    QString saveProblem() const;
    // What was done at start when the global file had a format error (empty when it had none).
    QString repairNote() const { return m_repairNote; }
    void exportToOtherUser(const QString& key);
    void notifyProcessOrderChanged();
    void notifyPrintingChanged();
    void notifyWhitelistChanged();

signals:
    void processOrderChanged();
    void printingSettingsChanged();
    void whitelistChanged();
    void inputEditChanged();
    void categoryChanged(SettingsManager::SettingsCategories category);
    // A settings file could not be written (the problem) or, with an empty text, could be again.
    // Emitted on the manager's thread.
    void saveProblemChanged(const QString& problem);
    // Watermark stored the report-id watermark or a job's start point; emitted on the writing thread.
    void watermarkChanged();

public:
    // A global file with a format error (or cut short) can never be written back, so nothing (not even the
    // report-id watermark) would be kept: it is moved aside as "<file>.damaged-<time>" and a clean
    // file with every value that could be read takes its place. Returns `path`; *note says what was
    // done, or stays empty when the file was sound.
    static QString repairGlobalFile(const QString& path, QString* note);

    // The stored form of a password: "LYM1" and the AES-128-CBC cipher text of its zero-padded UTF-16.
    static QByteArray encipherPassword(const QString& plain);
    // The password of a stored form; empty for anything that is not a well-formed stored form.
    static QString decipherPassword(const QVariant& stored);

private:
    friend class SettingsFile;

    SettingsManager();
    QSettings& file(bool global) { return global ? *m_globalSettings : *m_userSettings; }
    QSettings* open(bool global);
    // Notes an unsaved change and shows it to readers; with the lock held.
    void changed(bool global);
    // Writes one file; with the lock held. A failed write is tried again by the next sync.
    bool sync(bool global);
    // Makes the file's values the ones readers see; with the lock held. Inside writeGlobalTogether
    // they are shown once the change is written or undone.
    void publish(bool global);
    // The values a read sees: the last finished change's, so a read never waits while another thread
    // holds the lock to write a file (its disk sync takes tens of milliseconds under load). The thread
    // inside writeGlobalTogether reads its own unfinished change.
    QHash<QString, QVariant> valuesFor(bool global) const;
    void setSaveProblem(bool global, const QString& problem);

    QSettings* m_userSettings = nullptr;
    // Set before the global file is opened, by repairGlobalFile.
    QString m_repairNote;
    QSettings* m_globalSettings = nullptr;
    QList<SettingsCategory*> m_categories;
    // Values set since the last successful write, and the last failure, of the user and global file.
    bool m_unsaved[2] = {false, false};
    QString m_saveProblem[2];
    // The GUI, checker and poller threads share both QSettings objects, and group operations
    // move their current group; one lock keeps every change whole (Qt's own deferred writes
    // included, see SettingsFile). Reads go to the published values instead.
    mutable QRecursiveMutex m_lock;
    mutable QMutex m_publishedLock;
    QHash<QString, QVariant> m_published[2];
    std::atomic<QThread*> m_changingThread{nullptr};
};
