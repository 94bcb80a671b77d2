#pragma once
// A folder made read-only for a while by a read-only bind mount over it (needs root and mount
// rights). Files opened for writing before keep writing; new writes in the folder fail with EROFS.

#include <QString>

namespace TestSupport {

class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder(const QString& folder) : m_folder(folder) {}
    ~ReadOnlyFolder() { makeWritable(); }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    // False, with *why, when the folder cannot be made read-only here.
    bool makeReadOnly(QString* why);
    void makeWritable();

private:
    QString m_folder;
    bool m_mounted = false;
};

} // namespace TestSupport
