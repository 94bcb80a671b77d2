#pragma once
// File operations that survive a power cut: the data is on the disk, and so is the folder entry
// that names it, before the call returns.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace DurableFile {

// Writes the whole file under a temporary name, syncs it and renames it into place; with `sync`
// the folder is synced too (without, the caller syncs it once for many files).
bool write(const QString& path, const QByteArray& data, QString* error = nullptr, bool sync = true);
// Renames (also across folders of one file system) and, with `sync`, syncs both folders.
bool rename(const QString& from, const QString& to, QString* error = nullptr, bool sync = true);
// Removes the file and syncs its folder.
bool remove(const QString& path);
// Flushes a written file's data to the disk.
bool syncFile(const QString& path);
// Flushes a folder's entries (names created, renamed or removed) to the disk.
bool syncFolder(const QString& folder);
// Flushes the data of many written files of one file system to the disk, where the system allows in
// one flush of that file system: far cheaper than a sync per file, which commits the file system's
// journal each time. Returns the files that could not be flushed (all of them when the flush failed).
// Their folders' entries are flushed along on Linux; elsewhere the caller syncs the folder.
QStringList syncFiles(const QStringList& paths);

} // namespace DurableFile
