#pragma once
// Keeps one program per data root: two programs on the same spool and watermark would both print
// every label. A lock left by a program that crashed is taken over.

#include <QLockFile>
#include <QString>

class StationLock
{
public:
    // The lock file "labelprinter.lock" in `dataRoot`; nothing is locked yet.
    explicit StationLock(const QString& dataRoot);

    // True when this process holds the data root now.
    bool acquire();
    // Why acquire failed, in words: which process holds the data root, or why the lock file cannot
    // be made.
    QString refusal() const { return m_refusal; }
    // The process that holds the data root; 0 when unknown.
    qint64 holderPid() const { return m_holderPid; }
    QString path() const { return m_path; }

private:
    QString m_path;
    QLockFile m_file;
    QString m_refusal;
    qint64 m_holderPid = 0;
};
