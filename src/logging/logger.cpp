#include "logging/logger.h"

#include "settings/systempaths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

enum class RawWriter
{
    Console,
    File,
    Both
};

// Process-wide log state, guarded by g_logLock (not recursive: nothing called under it may log).
std::mutex g_logLock;
std::atomic<Logger*> g_logInstance{nullptr};
FILE* g_logFile = nullptr;
qint64 g_byteCount = 0;
RawWriter g_rawWriter = RawWriter::Console;
bool g_dualForm = false;
QString g_logDir;

const char* const kLogBaseName = "TVKRsupport";

QByteArray timeStamp()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz ")).toLatin1();
}

QByteArray formatLine(const QByteArray& stamp, QtMsgType type, const QString& msg)
{
    const char* prefix = "default:";
    switch (type) {
    case QtDebugMsg:
        prefix = "Debug:";
        break;
    case QtWarningMsg:
        prefix = "Warning:";
        break;
    case QtCriticalMsg:
        prefix = "Critical:";
        break;
    case QtFatalMsg:
        prefix = "Fatal:";
        break;
    default:
        break;
    }
    // A whole report handed to a log line (megabytes) would bury the log: only its start is kept.
    if (msg.size() > Logger::kMaxMessageChars)
        return stamp + prefix + msg.left(Logger::kMaxMessageChars).toLatin1() + " ... (" +
               QByteArray::number(msg.size() - Logger::kMaxMessageChars) + " more characters not logged)\n";
    return stamp + prefix + msg.toLatin1() + '\n';
}

void writeStdout(const QByteArray& bytes)
{
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    fflush(stdout);
}

// Caller holds g_logLock. Text straight to the file (or stdout when none is open), bypassing the
// handler, for the log's own messages while the lock is held.
void writeUnlocked(const QByteArray& text)
{
    const QByteArray line = timeStamp() + text;
    if (g_logFile) {
        fwrite(line.constData(), 1, size_t(line.size()), g_logFile);
        fflush(g_logFile);
    } else {
        writeStdout(line);
    }
}

// Caller holds g_logLock (or runs before any other thread logs).
bool openLogFile(const QString& name)
{
    const QByteArray local = QFile::encodeName(name);
    int waits = 0;
    while (QFileInfo::exists(name) && waits < 10) {
        QThread::msleep(100);
        ++waits;
    }
    if (QFileInfo::exists(name))
        printf("WARNING: cannot initialize new file, appending\n");
    if (g_logFile) {
        // A new Logger in the same process (tests) must not leak the earlier stream.
        fclose(g_logFile);
        g_logFile = nullptr;
    }
    g_logFile = fopen(local.constData(), "a+");
    if (!g_logFile) {
        printf("Failed to open log file %s\n", local.constData());
        fflush(stdout);
        return false;
    }
    printf("Logging to filename %s\n", local.constData());
    fflush(stdout);
    return true;
}

// Caller holds g_logLock.
void cleanupUnderLock(const QString& dir)
{
    QDir directory(dir);
    if (!directory.exists())
        return;
    QFileInfoList files = directory.entryInfoList(
        {QStringLiteral("ReapLog*")}, QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted);
    qint64 total = 0;
    for (const QFileInfo& info : qAsConst(files))
        total += info.size();
    const qint64 limit = 150LL * 1024 * 1024;
    while (files.size() > 10 && total > limit) {
        int oldest = 0;
        for (int i = 1; i < files.size(); ++i) {
            if (files.at(i).lastModified() < files.at(oldest).lastModified())
                oldest = i;
        }
        const QFileInfo victim = files.takeAt(oldest);
        if (!QFileInfo::exists(victim.absoluteFilePath()))
            continue;
        total -= victim.size();
        if (!QFile::remove(victim.absoluteFilePath())) {
            // Runs under the log lock during a roll-over: write directly, never through the handler.
            writeUnlocked(QByteArray("void Logger::logCleanup(const QString&)") +
                          " Failed to remove oldest log file " +
                          QFile::encodeName(victim.absoluteFilePath()) + '\n');
            return;
        }
    }
}

// Caller holds g_logLock. The running log grew past the limit: keep it as a generation and start a
// new current log in the same directory.
void rollOver()
{
    if (g_logFile) {
        fclose(g_logFile);
        g_logFile = nullptr;
    }
    cleanupUnderLock(g_logDir);
    Logger::rotateLogs(g_logDir);
    g_byteCount = 0;
    openLogFile(Logger::currentLogFile(g_logDir));
}

void emitDelayed(const QString& msg)
{
    if (Logger* logger = g_logInstance.load())
        emit logger->delayed(msg);
}

void consoleHandler(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    {
        std::lock_guard<std::mutex> lock(g_logLock);
        writeStdout(formatLine(timeStamp(), type, msg));
    }
    emitDelayed(msg);
}

void fileHandler(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    {
        std::lock_guard<std::mutex> lock(g_logLock);
        const QByteArray stamp = timeStamp();
        const QByteArray line = formatLine(stamp, type, msg);
        if (g_logFile) {
            g_byteCount += line.size();
            if (g_byteCount >= Logger::kRollOverBytes) {
                rollOver();
                g_byteCount = line.size();
            }
            if (g_logFile) {
                fwrite(line.constData(), 1, size_t(line.size()), g_logFile);
                fflush(g_logFile);
            }
        }
        if (!g_logFile || g_dualForm)
            writeStdout(line);
    }
    emitDelayed(msg);
}

void installConsole()
{
    std::lock_guard<std::mutex> lock(g_logLock);
    g_rawWriter = RawWriter::Console;
    g_dualForm = false;
    qInstallMessageHandler(consoleHandler);
}

void installFile(bool dual)
{
    std::lock_guard<std::mutex> lock(g_logLock);
    g_rawWriter = dual ? RawWriter::Both : RawWriter::File;
    g_dualForm = dual;
    qInstallMessageHandler(fileHandler);
}

bool openCurrentLog()
{
    std::lock_guard<std::mutex> lock(g_logLock);
    g_byteCount = 0;
    return openLogFile(Logger::currentLogFile(g_logDir));
}

} // namespace

void logPrintf(const char* format, ...)
{
    char buffer[1000];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args); // cuts at 999 characters
    va_end(args);
    const QByteArray text(buffer);
    {
        std::lock_guard<std::mutex> lock(g_logLock);
        const QByteArray line = timeStamp() + text;
        if (g_rawWriter != RawWriter::Console && g_logFile) {
            fwrite(line.constData(), 1, size_t(line.size()), g_logFile);
            fflush(g_logFile);
        }
        if (g_rawWriter != RawWriter::File)
            writeStdout(line);
    }
    emitDelayed(QString::fromLatin1(text));
}

Logger::Logger(QCoreApplication* application) : QObject(application), m_application(application)
{
    connect(this, &Logger::delayed, this, &Logger::log, Qt::QueuedConnection);
    g_logInstance.store(this);

    printf("Installing messagehandler!\n");
    fflush(stdout);

    {
        std::lock_guard<std::mutex> lock(g_logLock);
        g_logDir = SystemPaths::instance().globalHomeDir;
    }
    rotateLogs(g_logDir);

    QStringList args = application ? application->arguments() : QStringList();
    args << QStringLiteral("--logto") << QStringLiteral("dual");
    const QString mode = args.value(args.indexOf(QStringLiteral("--logto")) + 1);

    if (mode == QLatin1String("console")) {
        installConsole();
    } else if (mode == QLatin1String("disk")) {
        printf("installing disk logger\n");
        fflush(stdout);
        if (openCurrentLog()) {
            installFile(false);
            printf("installing disk logger done\n");
        } else {
            printf("installing disk logger fail\n");
            installConsole();
        }
        fflush(stdout);
    } else if (mode == QLatin1String("dual")) {
        if (openCurrentLog())
            installFile(true);
        else
            installConsole();
    } else {
        installConsole();
    }
}

Logger::~Logger()
{
    // The handler stays installed; later lines are still written, only without the signal.
    Logger* self = this;
    g_logInstance.compare_exchange_strong(self, nullptr);
}

Logger* Logger::instance()
{
    return g_logInstance.load();
}

QString Logger::currentLogFile(const QString& logDir)
{
    return QStringLiteral("%1%2.log").arg(logDir, QLatin1String(kLogBaseName));
}

QString Logger::generationLogFile(const QString& logDir, int generation)
{
    return QStringLiteral("%1%2_%3.log").arg(logDir, QLatin1String(kLogBaseName)).arg(generation);
}

void Logger::rotateLogs(const QString& logDir)
{
    for (int n = kGenerations - 1; n >= 1; --n) {
        const QString older = generationLogFile(logDir, n);
        if (QFileInfo::exists(older)) {
            QFile::remove(generationLogFile(logDir, n + 1));
            QFile::rename(older, generationLogFile(logDir, n + 1));
        }
    }
    const QString current = currentLogFile(logDir);
    if (QFileInfo::exists(current)) {
        QFile::remove(generationLogFile(logDir, 1));
        QFile::rename(current, generationLogFile(logDir, 1));
    }
}

void Logger::logCleanup(const QString& dir)
{
    std::lock_guard<std::mutex> lock(g_logLock);
    cleanupUnderLock(dir);
}

void Logger::kmessage()
{
    if (!m_process)
        return;
    const QString text = QString::fromLocal8Bit(m_process->readAllStandardOutput());
    emit kdelayed(text);
}
