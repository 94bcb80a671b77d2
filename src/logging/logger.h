#pragma once
// The program's one text log: a Qt message handler and logPrintf, with start-up rotation and a
// size roll-over, both kept inside the log directory.

#include <QObject>
#include <QString>

class QCoreApplication;
class QProcess;

// printf-style log line, usable from any thread; output longer than 999 characters is cut.
void logPrintf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

class Logger : public QObject
{
    Q_OBJECT
public:
    explicit Logger(QCoreApplication* application);
    ~Logger() override;

    static Logger* instance();

    // Log file names in the log directory (which ends with "/").
    static QString currentLogFile(const QString& logDir);
    static QString generationLogFile(const QString& logDir, int generation);
    // Shifts generation n to n+1 for n = 5..1 and the current log to generation 1.
    static void rotateLogs(const QString& logDir);
    // Deletes the oldest "ReapLog*" files while more than 10 remain and together they exceed 150 MiB.
    static void logCleanup(const QString& dir);

    static constexpr qint64 kRollOverBytes = 15 * 1024 * 1024;
    // Characters of one message that reach the log; the rest is counted, not written.
    static constexpr int kMaxMessageChars = 4096;
    static constexpr int kGenerations = 6;

signals:
    void delayed(QString string);
    void log(QString string);
    void kdelayed(QString string);
    void klog(QString string);

public slots:
    void kmessage();

private:
    QCoreApplication* m_application;
    QProcess* m_process = nullptr; // no child process is attached in this program
};
