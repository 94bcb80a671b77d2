#include "printing/layoutmanager.h"

#include "printing/labeloutput.h"
#include "printing/layoutcheck.h"
#include "printing/printnotes.h"

#include "settings/settingsmanager.h"
#include "settings/systempaths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

// Writes all of data or nothing: a crash or a full disk never leaves a half-written layout.
bool writeAtomically(const QString& path, const QByteArray& data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// The layout objects of a folder's ".lyson" files, with their file names, in listing order. Files that
// do not open are skipped; files that are not JSON objects are logged (with the caller's name).
QList<QPair<QString, QJsonObject>> readLysonFolder(const QString& dir, const char* caller)
{
    QList<QPair<QString, QJsonObject>> layouts;
    const QStringList entries =
        QDir(dir).entryList({QStringLiteral("*.lyson")}, QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString& entry : entries) {
        QFile file(QDir(dir).filePath(entry));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
        if (!doc.isObject()) {
            qDebug() << caller << entry << "is not valid lyson";
            continue;
        }
        layouts.append({entry, doc.object()});
    }
    return layouts;
}

} // namespace

LayoutManager::LayoutManager(QObject* parent) : LayoutManager(SystemPaths::instance().layoutDir, parent) {}

LayoutManager::LayoutManager(const QString& layoutDir, QObject* parent)
    : QObject(parent), m_layoutDir(layoutDir)
{
    if (!QFileInfo::exists(m_layoutDir))
        QDir().mkpath(m_layoutDir);
    // A copy or an editor writing a file sends several events: the directory is read once they pause.
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &LayoutManager::rescan);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle, qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_settle, qOverload<>(&QTimer::start));
    if (!m_watcher.addPath(m_layoutDir))
        qWarning() << "The layout directory cannot be watched; changes show after a restart:" << m_layoutDir;
    rescan();
}

QJsonObject LayoutManager::readLayoutFile(const QString& entry, bool* accepted)
{
    *accepted = false;
    QFile file(QDir(m_layoutDir).filePath(entry));
    const bool opened = file.open(QIODevice::ReadOnly);
    const QJsonDocument doc = opened ? QJsonDocument::fromJson(file.readAll()) : QJsonDocument();
    if (!doc.isObject()) {
        // Most likely still being written: the next change event reads it again.
        if (m_files.contains(entry)) {
            qWarning() << "The layout file" << entry << "cannot be read now; its previous version stays";
            *accepted = true;
            return m_files.value(entry);
        }
        qWarning() << "The layout file" << entry << "cannot be read; it is not listed";
        return {};
    }
    const QJsonObject layout = doc.object();
    QString problem;
    if (!LayoutCheck::isLoadable(layout, &problem)) {
        // Listed, it would be printed or opened in the editor, and either may fail badly.
        if (!m_refused.contains(entry)) {
            const QString text = QStringLiteral("The layout file %1 is refused: %2").arg(entry, problem);
            qWarning() << text;
            PrintNotes::instance()->raise(PrintNotes::Error, QStringLiteral("Layout refused"), text);
        }
        m_refused.insert(entry);
        return {};
    }
    m_refused.remove(entry);
    if (!layout.contains(QLatin1String("name"))) {
        qDebug() << Q_FUNC_INFO << "lyson file " << entry << "has no name!";
        return {};
    }
    *accepted = true;
    return layout;
}

void LayoutManager::rescan()
{
    m_settle.stop();
    if (!QFileInfo::exists(m_layoutDir)) {
        qDebug() << Q_FUNC_INFO << "DIR DOES NOT EXIST!" << m_layoutDir;
        return;
    }
    const QStringList entries =
        QDir(m_layoutDir)
            .entryList({QStringLiteral("*.lyson")}, QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    QMap<QString, QJsonObject> files;
    QSet<QString> refused;
    for (const QString& entry : entries) {
        bool accepted = false;
        const QJsonObject layout = readLayoutFile(entry, &accepted);
        if (accepted)
            files.insert(entry, layout);
        else if (m_refused.contains(entry))
            refused.insert(entry);
    }
    m_refused = refused; // a refused file that went away is noted again if it comes back
    const QMap<QString, QJsonObject> before = m_localCache;
    m_files = files;
    rebuildCache();
    const QStringList stamps = previewStamps();
    const bool layoutsDiffer = before != m_localCache;
    if (layoutsDiffer || stamps != m_previewStamps) {
        m_previewStamps = stamps;
        ++m_revision;
        emit revisionChanged();
    }
    watchFiles();
    if (layoutsDiffer)
        emit layoutsChanged();
}

void LayoutManager::rebuildCache()
{
    m_localCache.clear();
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it)
        m_localCache.insert(it.value().value(QLatin1String("name")).toString(), it.value());
}

void LayoutManager::watchFiles()
{
    // Watched afresh each time: a file replaced by a rename keeps its path but not its watch.
    const QStringList watched = m_watcher.files();
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
    const QDir dir(m_layoutDir);
    QStringList wanted;
    for (const QString& entry :
         dir.entryList({QStringLiteral("*.lyson"), QStringLiteral("*.png")}, QDir::Files))
        wanted.append(dir.filePath(entry));
    if (!wanted.isEmpty())
        m_watcher.addPaths(wanted);
}

QStringList LayoutManager::previewStamps() const
{
    QStringList stamps;
    const QFileInfoList pictures =
        QDir(m_layoutDir).entryInfoList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    for (const QFileInfo& picture : pictures) {
        stamps.append(QStringLiteral("%1|%2|%3")
                          .arg(picture.fileName())
                          .arg(picture.size())
                          .arg(picture.lastModified().toMSecsSinceEpoch()));
    }
    return stamps;
}

bool LayoutManager::saveLayout(const QString& json, const QString& filename)
{
    if (!isSafeFileName(filename)) {
        qDebug() << Q_FUNC_INFO << "Refusing layout file name" << filename;
        return false;
    }
    // Validate before touching the disk so a bad text never clobbers a good layout.
    const QByteArray bytes = json.toUtf8();
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (!doc.isObject()) {
        qDebug() << Q_FUNC_INFO << filename << "is not valid json";
        return false;
    }
    const QJsonObject layout = doc.object();
    qDebug() << Q_FUNC_INFO << json << "\ntofilename: " << filename;
    if (!writeAtomically(localFile(filename), bytes)) {
        qDebug() << Q_FUNC_INFO << "Failed to write" << localFile(filename);
        return false;
    }
    if (layout.contains(QLatin1String("name"))) {
        m_files.insert(filename + QLatin1String(kSuffix), layout);
        rebuildCache();
    } else {
        qDebug() << Q_FUNC_INFO << "Json file " << filename << "has no name!";
    }
    emit layoutsChanged();
    emit modified();
    return true;
}

bool LayoutManager::removeLayout(const QString& name)
{
    qDebug() << Q_FUNC_INFO << name;
    if (!isSafeFileName(name)) {
        qDebug() << Q_FUNC_INFO << "Refusing layout name" << name;
        return false;
    }
    for (const QString& path : {localFile(name), QDir(m_layoutDir).filePath(name + QStringLiteral(".png"))}) {
        if (!QFile::remove(path))
            qDebug() << Q_FUNC_INFO << "FAILED TO DELETE!" << path;
    }
    m_files.remove(name + QLatin1String(kSuffix));
    m_localCache.remove(name);
    emit layoutsChanged();
    return true;
}

QJsonObject LayoutManager::loadJsonLayout(const QString& filename) const
{
    return m_localCache.value(filename);
}

QStringList LayoutManager::layoutsInDrive(const QString& mountPoint)
{
    m_driveCache.clear();
    QStringList names;
    if (!isSafeMountPoint(mountPoint)) {
        qDebug() << Q_FUNC_INFO << "Refusing mount point" << mountPoint;
        return names;
    }
    const QString folder = driveFolder(mountPoint);
    if (!QFileInfo::exists(folder))
        return names;
    for (const auto& [entry, layout] : readLysonFolder(folder, Q_FUNC_INFO)) {
        const QString name = layout.value(QLatin1String("name")).toString();
        const QString baseName = entry.left(entry.size() - int(qstrlen(kSuffix)));
        const bool exchangeable = isValidForExchange(layout);
        if (exchangeable && baseName == name) {
            qDebug() << Q_FUNC_INFO << "Found valid lyson from usbdrive(" << mountPoint << ") named" << name;
            names.append(name);
            m_driveCache.insert(name, layout);
        } else {
            qDebug() << Q_FUNC_INFO << "lyson file " << entry << "is not valid:" << exchangeable;
        }
    }
    return names;
}

bool LayoutManager::exportLayout(const QString& name, const QString& mountPoint)
{
    qDebug() << Q_FUNC_INFO << name << "-->" << mountPoint;
    if (!isSafeFileName(name) || !isSafeMountPoint(mountPoint)) {
        qDebug() << Q_FUNC_INFO << "Refusing layout name or mount point" << name << mountPoint;
        return false;
    }
    const QString folder = driveFolder(mountPoint);
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder)) {
            qDebug() << Q_FUNC_INFO << "Failed to create destination path" << folder;
            return false;
        }
        qDebug() << Q_FUNC_INFO << "Successfully created" << folder;
    }
    const QJsonObject layout = m_localCache.value(name);
    const QString target = driveFile(name, mountPoint);
    if (!writeAtomically(target, QJsonDocument(layout).toJson(QJsonDocument::Compact))) {
        qDebug() << Q_FUNC_INFO << "Failed to open export file " << target;
        return false;
    }
    m_driveCache.remove(name);
    for (const QString& logo : logoNames(layout)) {
        const QString source = localLogoDir() + logo;
        if (QFileInfo::exists(source))
            copyReplacing(source, QLatin1String(kDriveRoot) + mountPoint + QLatin1Char('/') + logo);
    }
    return true;
}

bool LayoutManager::importLayout(const QString& name, const QString& mountPoint)
{
    if (!isSafeFileName(name) || !isSafeMountPoint(mountPoint)) {
        qDebug() << Q_FUNC_INFO << "Refusing layout name or mount point" << name << mountPoint;
        return false;
    }
    QJsonObject layout;
    QByteArray bytes;
    if (m_driveCache.contains(name)) {
        layout = m_driveCache.value(name);
        bytes = QJsonDocument(layout).toJson(QJsonDocument::Compact);
    } else {
        const QString source = driveFile(name, mountPoint);
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly)) {
            qDebug() << Q_FUNC_INFO << "Could not open lysonfile:" << source;
            return false;
        }
        bytes = file.readAll();
        const QJsonDocument doc = QJsonDocument::fromJson(bytes);
        if (!doc.isObject()) {
            qDebug() << Q_FUNC_INFO << "name: " << name << "in " << mountPoint << "is not lysonobject";
            return false;
        }
        layout = doc.object();
        if (!isValidForExchange(layout) || layout.value(QLatin1String("name")).toString() != name) {
            qDebug() << Q_FUNC_INFO << "Invalid lyson" << name << "in " << mountPoint << "refusing to import";
            return false;
        }
    }
    const QString target = localFile(name);
    if (!writeAtomically(target, bytes)) {
        qDebug() << Q_FUNC_INFO << "Failed to open imported filename for storing" << target;
        return false;
    }
    m_files.insert(name + QLatin1String(kSuffix), layout);
    rebuildCache();
    QDir().mkpath(localLogoDir());
    for (const QString& logo : logoNames(layout)) {
        const QString source = QLatin1String(kDriveRoot) + mountPoint + QLatin1Char('/') + logo;
        if (QFileInfo::exists(source))
            copyReplacing(source, localLogoDir() + logo);
    }
    emit layoutsChanged();
    qDebug() << Q_FUNC_INFO << name << "->" << target;
    return true;
}

void LayoutManager::flushCache()
{
    m_driveCache.clear();
}

bool LayoutManager::isCustomSizedLayout(const QString& name) const
{
    if (!m_localCache.contains(name))
        return false;
    const QJsonValue fixed = m_localCache.value(name).value(QLatin1String("fixedsize"));
    return fixed.isBool() && fixed.toBool();
}

QString LayoutManager::localLogoDir()
{
    return QStringLiteral("%1/custom").arg(SystemPaths::instance().rootDir) +
           QStringLiteral("/userapps/logos/");
}

QStringList LayoutManager::logoNames(const QJsonObject& layout)
{
    QStringList sources;
    for (const QJsonValue& value : layout.value(QLatin1String("objects")).toArray()) {
        const QJsonObject record = value.toObject();
        if (record.value(QLatin1String("type")).toString() != QLatin1String("ShapeObject.qml"))
            continue;
        const QString source = record.value(QLatin1String("sourceImage")).toString();
        if (!source.isEmpty() && !sources.contains(source))
            sources.append(source);
    }
    QStringList names;
    for (const QString& source : sources) {
        const QString name = source.mid(source.lastIndexOf(QLatin1Char('/')) + 1);
        // A name reduced from a foreign path may still carry a separator or "..".
        if (isSafeFileName(name))
            names.append(name);
        else
            qDebug() << Q_FUNC_INFO << "Refusing logo file name" << name;
    }
    return names;
}

bool LayoutManager::isSafeFileName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           !name.contains(QLatin1String("..")) && !name.contains(QChar(0));
}

bool LayoutManager::isValidForExchange(const QJsonObject& layout)
{
    return layout.contains(QLatin1String("name")) && layout.contains(QLatin1String("objects"));
}

QString LayoutManager::localFile(const QString& name) const
{
    return QDir(m_layoutDir).filePath(name + QLatin1String(kSuffix));
}

QString LayoutManager::driveFolder(const QString& mountPoint)
{
    return QLatin1String(kDriveRoot) + mountPoint + QStringLiteral("/customlayouts");
}

QString LayoutManager::driveFile(const QString& name, const QString& mountPoint)
{
    return driveFolder(mountPoint) + QLatin1Char('/') + name + QLatin1String(kSuffix);
}

// Mount points may be nested ("user/STICK") but must stay below the drive root.
bool LayoutManager::isSafeMountPoint(const QString& mountPoint)
{
    if (mountPoint.isEmpty() || mountPoint.contains(QLatin1Char('\\')) || mountPoint.contains(QChar(0)))
        return false;
    const QStringList parts = mountPoint.split(QLatin1Char('/'));
    return !parts.contains(QStringLiteral("..")) && !parts.contains(QStringLiteral("."));
}

void LayoutManager::copyReplacing(const QString& source, const QString& target)
{
    if (QFileInfo::exists(target))
        QFile::remove(target);
    QFile::copy(source, target);
}

int LayoutManager::lowestPrinterResolution(const QString& layoutName)
{
    SettingsManager* settings = SettingsManager::instance();
    int lowest = 0;
    for (const QString& job : settings->childGroupsOfGroup(QStringLiteral("jobs"), true)) {
        const QString prefix = QStringLiteral("jobs/%1/").arg(job);
        if (settings->getValue(prefix + QStringLiteral("layout"), QString(), true) != layoutName)
            continue;
        const int dpi = LabelOutput::knownDotsPerInch(
            settings->getValue(prefix + QStringLiteral("printer"), QString(), true));
        if (dpi > 0 && (lowest == 0 || dpi < lowest))
            lowest = dpi;
    }
    return lowest > 0 ? lowest : kAssumedDotsPerInch;
}
