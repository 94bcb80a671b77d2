#pragma once
// The store of label layouts: the ".lyson" files of the layout directory, cached by name, and their
// exchange (with the logos they use) with a drive mounted under "/media/". The directory is watched:
// layouts and previews added, changed or removed on disk show without a restart.

#include <QFileSystemWatcher>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

class LayoutManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList customLayouts READ customLayouts NOTIFY layoutsChanged)
    Q_PROPERTY(bool layoutsModified READ layoutsModified NOTIFY modified)
    Q_PROPERTY(QString layoutDir READ layoutDir CONSTANT)
    // Grows whenever a layout or a preview picture changed on disk (a cache breaker for pictures).
    Q_PROPERTY(int revision READ revision NOTIFY revisionChanged)

public:
    // Reads the layout directory of SystemPaths (created when missing).
    explicit LayoutManager(QObject* parent = nullptr);
    // Reads the given directory instead; the drive root stays "/media/".
    LayoutManager(const QString& layoutDir, QObject* parent = nullptr);

    Q_INVOKABLE bool saveLayout(const QString& json, const QString& filename);
    Q_INVOKABLE bool removeLayout(const QString& name);
    Q_INVOKABLE QJsonObject loadJsonLayout(const QString& filename) const;
    Q_INVOKABLE QStringList layoutsInDrive(const QString& mountPoint);
    Q_INVOKABLE bool exportLayout(const QString& name, const QString& mountPoint);
    Q_INVOKABLE bool importLayout(const QString& name, const QString& mountPoint);
    Q_INVOKABLE void flushCache();
    Q_INVOKABLE bool isCustomSizedLayout(const QString& name) const;
    Q_INVOKABLE QString layoutDir() const { return m_layoutDir; }
    // The lowest resolution among the printers of the jobs that print this layout, so the editor
    // can tell whether a code fits at the coarsest of them; 203 (the coarsest common label printer)
    // when no job's printer resolution is known without asking it.
    Q_INVOKABLE static int lowestPrinterResolution(const QString& layoutName);
    static constexpr int kAssumedDotsPerInch = 203;

    QStringList customLayouts() const { return m_localCache.keys(); }
    bool layoutsModified() const { return true; }
    int revision() const { return m_revision; }

    // Reads the layout directory again now instead of after the pause that gathers a burst of
    // changes; layoutsChanged follows when the list or a layout changed.
    void rescan();
    // How long changes on disk are gathered before the directory is read again.
    static constexpr int kSettleMs = 250;

    // The local folder of the logo images that shape objects use.
    static QString localLogoDir();
    // The logo file names a layout uses: each image once, in first-use order, without folders.
    static QStringList logoNames(const QJsonObject& layout);
    // A name that stays inside its folder when used as a file name: no separator, no "..".
    static bool isSafeFileName(const QString& name);
    // Both keys that a layout needs to travel between drive and station.
    static bool isValidForExchange(const QJsonObject& layout);

    static constexpr const char* kSuffix = ".lyson";
    static constexpr const char* kDriveRoot = "/media/";

signals:
    void layoutsChanged();
    void modified();
    void revisionChanged();

private:
    // A file's layout: from disk, or the one read before while the file cannot be read (being written).
    QJsonObject readLayoutFile(const QString& entry, bool* accepted);
    void rebuildCache();
    // The files to watch for changes in place: every layout and preview of the directory.
    void watchFiles();
    // Names, sizes and times of the preview pictures, to tell when one changed.
    QStringList previewStamps() const;
    QString localFile(const QString& name) const;
    static QString driveFolder(const QString& mountPoint);
    static QString driveFile(const QString& name, const QString& mountPoint);
    static bool isSafeMountPoint(const QString& mountPoint);
    static void copyReplacing(const QString& source, const QString& target);

    QString m_layoutDir;
    QMap<QString, QJsonObject> m_localCache;
    QMap<QString, QJsonObject> m_files; // accepted layouts by file name
    QSet<QString> m_refused;            // files refused and noted, until they change
    QStringList m_previewStamps;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    int m_revision = 0;
    QMap<QString, QJsonObject> m_driveCache;
};
