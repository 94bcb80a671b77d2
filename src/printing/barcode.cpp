#include "printing/barcode.h"

#include "logging/logger.h"
#include "settings/settingsmanager.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QPaintDevice>
#include <QPainter>
#include <QTransform>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

namespace {

// Width of one element of a bar-width string in modules.
int modulesOf(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('5'))
        return c.unicode() - '0';
    return 1;
}

// Patterns already encoded, by symbology and code; an empty pattern means "cannot be encoded".
struct PatternCache
{
    QMutex lock;
    QHash<QString, QString> patterns;
};
PatternCache& cache()
{
    static PatternCache instance;
    return instance;
}
QString cacheKey(const QString& symbology, const QString& code)
{
    return symbology + QLatin1Char('\n') + code;
}

// Starts the program, waits for it and returns its standard output; false when it could not run.
// Started with posix_spawn rather than QProcess's fork: forking a station that holds a backlog in
// memory copies its page tables and makes every worker thread fault on its next write.
bool runProgram(const QStringList& args, QString* output)
{
    const QString path = BarCode::program();
    const QByteArray program = QFile::encodeName(path);
    std::vector<QByteArray> texts = {program};
    for (const QString& arg : args)
        texts.push_back(arg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        logPrintf("%s Barcode program '%s' could not be started: %s\n", Q_FUNC_INFO, qPrintable(path),
                  strerror(errno));
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (started != 0) {
        close(out[0]);
        logPrintf("%s Barcode program '%s' could not be started: %s\n", Q_FUNC_INFO, qPrintable(path),
                  strerror(started));
        return false;
    }
    QByteArray bytes;
    QElapsedTimer clock;
    clock.start();
    bool finished = false;
    while (!finished) {
        const qint64 left = BarCode::kTimeoutMs - clock.elapsed();
        pollfd ready = {out[0], POLLIN, 0};
        const int polled = left > 0 ? poll(&ready, 1, int(left)) : 0;
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            break;
        char chunk[16384];
        const ssize_t got = read(out[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            finished = true;
        else
            bytes.append(chunk, int(got));
    }
    close(out[0]);
    if (!finished)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!finished) {
        logPrintf("%s Barcode program '%s' did not finish within %d ms\n", Q_FUNC_INFO, qPrintable(path),
                  BarCode::kTimeoutMs);
        return false;
    }
    *output = QString::fromLocal8Bit(bytes);
    return true;
}

} // namespace

BarCode::BarCode(const QString& symbology, QObject* parent) : QObject(parent), m_symbology(symbology) {}

QString BarCode::defaultProgram()
{
#ifdef Q_OS_WIN
    return QStringLiteral("3rdparty\\barcode\\bin\\barcode.exe"); // relative to the working directory
#else
    return QStringLiteral("barcode"); // found on PATH
#endif
}

QString BarCode::program()
{
    SettingsManager* settings = SettingsManager::instance();
    const QString configured =
        settings ? settings->getValue(QLatin1String(kProgramKey), QString(), true).trimmed() : QString();
    return configured.isEmpty() ? defaultProgram() : configured;
}

QStringList BarCode::arguments(const QString& code, const QString& symbology)
{
    QStringList args;
    if (symbology.contains(QLatin1String("code")))
        args << QStringLiteral("-c");
    // Handed over as separate arguments, so quotes or blanks in the content cannot split it.
    args << QStringLiteral("-e") << symbology << QStringLiteral("-b") << code;
    return args;
}

QString BarCode::patternFromOutput(const QString& output)
{
    const QStringList lines = output.split(QLatin1Char('\n'));
    bool nextIsWidths = false;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1Char('[')))
            break;
        if (nextIsWidths || line.startsWith(QLatin1String("% 0")))
            return line.mid(2);
        if (line.contains(QLatin1String("The space/bar")))
            nextIsWidths = true;
    }
    return QString();
}

bool BarCode::readPattern(const QString& code, const QString& symbology)
{
    {
        PatternCache& known = cache();
        QMutexLocker locker(&known.lock);
        const auto found = known.patterns.constFind(cacheKey(symbology, code));
        if (found != known.patterns.constEnd()) {
            m_pattern = found.value();
            return !m_pattern.isEmpty();
        }
    }
    QString output;
    if (!runProgram(arguments(code, symbology), &output))
        return false;
    if (output.split(QLatin1Char('\n')).size() == 1)
        return false;
    m_pattern = patternFromOutput(output);
    if (m_pattern.isEmpty()) {
        qDebug() << "Barcode result = " << output;
        return false;
    }
    return true;
}

bool BarCode::drawOnDeviceDots(QPainter* painter, const QRectF& rect) const
{
    const QPaintDevice* device = painter->device();
    if (!device || device->devicePixelRatioF() != 1.0 || m_pattern.size() < 2)
        return false;
    const QTransform toDevice = painter->deviceTransform();
    const QPointF origin = toDevice.map(rect.topLeft());
    const QPointF along = toDevice.map(rect.topRight()) - origin;
    const QPointF across = toDevice.map(rect.bottomLeft()) - origin;
    // Only quarter turns: then every bar edge can sit on a dot boundary.
    const bool horizontal = std::abs(along.y()) < 1e-6 && std::abs(across.x()) < 1e-6;
    const bool vertical = std::abs(along.x()) < 1e-6 && std::abs(across.y()) < 1e-6;
    if (!horizontal && !vertical)
        return false;
    const double length = horizontal ? along.x() : along.y();
    const double depth = horizontal ? across.y() : across.x();
    const int direction = length >= 0 ? 1 : -1;

    int total = 1; // the one-module left margin
    for (int i = 1; i < m_pattern.size(); ++i)
        total += modulesOf(m_pattern.at(i));
    const double unitsToDots = std::abs(length) / std::max(rect.width(), 1e-9);
    const int maxModule = std::max(1, int(std::floor(kMaxModule * unitsToDots)));
    const int module = std::clamp(int(std::floor(std::abs(length) * 0.99 / total)), 1, maxModule);
    m_overflowed = total * module > std::abs(length);

    const double start = horizontal ? origin.x() : origin.y();
    const double side = horizontal ? origin.y() : origin.x();
    const int acrossFrom = int(std::lround(std::min(side, side + depth)));
    const int acrossTo = int(std::lround(std::max(side, side + depth)));
    int position = int(std::lround(start)) + direction * module;

    painter->save();
    painter->setViewTransformEnabled(false);
    painter->setWorldTransform(QTransform());
    // The first element is the leading space, which only separates the code from what precedes it.
    for (int i = 1; i < m_pattern.size(); ++i) {
        const int width = modulesOf(m_pattern.at(i)) * module;
        const bool isBar = (i % 2) == 1;
        if (isBar && width > 0) {
            const int from = direction > 0 ? position : position - width;
            const QRect bar = horizontal ? QRect(from, acrossFrom, width, acrossTo - acrossFrom)
                                         : QRect(acrossFrom, from, acrossTo - acrossFrom, width);
            painter->fillRect(bar, Qt::black);
        }
        position += direction * width;
    }
    painter->restore();
    return true;
}

QHash<QString, QString> BarCode::readPatterns(const QStringList& codes, const QString& symbology, bool* ran)
{
    QHash<QString, QString> patterns;
    if (ran)
        *ran = false;
    QStringList args;
    QStringList asked;
    for (const QString& code : codes) {
        if (code.contains(QLatin1Char('\n')) || code.contains(QLatin1Char('\r')) || asked.contains(code))
            continue;
        asked << code;
    }
    if (asked.isEmpty())
        return patterns;
    if (symbology.contains(QLatin1String("code")))
        args << QStringLiteral("-c");
    args << QStringLiteral("-e") << symbology;
    for (const QString& code : asked)
        args << QStringLiteral("-b") << code;
    QString output;
    if (!runProgram(args, &output))
        return patterns;
    if (ran)
        *ran = true;
    // Each code the program can encode gets a block that names it, followed by its widths; a code it
    // cannot encode only gets a line on standard error. The blocks come in the order asked, so the
    // name is matched against the codes from where the last match was.
    static const QString start = QStringLiteral("% Printing barcode for \"");
    const QStringList blocks = output.split(start);
    int next = 0;
    for (int b = 1; b < blocks.size(); ++b) {
        const QString& block = blocks.at(b);
        const int end = block.indexOf(QLatin1Char('\n'));
        const QString firstLine = block.left(end);
        const int nameEnd = firstLine.lastIndexOf(QLatin1String("\", scaled"));
        if (nameEnd < 0)
            continue;
        const QString name = firstLine.left(nameEnd);
        int match = -1;
        for (int i = next; i < asked.size(); ++i) {
            if (asked.at(i) == name) {
                match = i;
                break;
            }
        }
        if (match < 0)
            continue;
        next = match + 1;
        const QString pattern = patternFromOutput(block.mid(end + 1));
        if (!pattern.isEmpty())
            patterns.insert(name, pattern);
    }
    return patterns;
}

void BarCode::prefetch(const QStringList& codes, const QString& symbology)
{
    QStringList missing;
    {
        PatternCache& known = cache();
        QMutexLocker locker(&known.lock);
        for (const QString& code : codes) {
            if (!known.patterns.contains(cacheKey(symbology, code)) && !missing.contains(code))
                missing << code;
        }
    }
    if (missing.isEmpty())
        return;
    bool ran = false;
    const QHash<QString, QString> patterns = readPatterns(missing, symbology, &ran);
    if (!ran)
        return; // each code is tried alone later, which logs why the program does not run
    PatternCache& known = cache();
    QMutexLocker locker(&known.lock);
    // A long day of labels must not grow the cache without end; the next batch fills it again.
    if (known.patterns.size() + missing.size() > kCacheLimit)
        known.patterns.clear();
    for (const QString& code : missing) {
        // A code left out of the run (a line break) stays unknown, so readPattern runs it alone.
        if (code.contains(QLatin1Char('\n')) || code.contains(QLatin1Char('\r')))
            continue;
        known.patterns.insert(cacheKey(symbology, code), patterns.value(code));
    }
}

QVector<QRectF> BarCode::barRects(const QString& pattern, const QRectF& rect)
{
    QVector<QRectF> bars;
    if (pattern.size() < 2)
        return bars;
    const double width = rect.width() * 0.99;
    int total = 1; // the one-module left margin
    for (int i = 1; i < pattern.size(); ++i)
        total += modulesOf(pattern.at(i));
    const double module = std::min(kMaxModule, width / total);
    double x = rect.left() + module;
    // The first element is the leading space, which only separates the code from what precedes it.
    for (int i = 1; i < pattern.size(); ++i) {
        const double w = modulesOf(pattern.at(i)) * module;
        const bool isBar = (i % 2) == 1;
        if (isBar && w > 0)
            bars.append(QRectF(x, rect.top(), w, rect.height()));
        x += w;
    }
    return bars;
}

bool BarCode::drawCode(QPainter* painter, const QString& code, const QRectF& rect)
{
    if (!readPattern(code, m_symbology)) {
        qDebug() << "Failed to create barcode for " << code;
        return false;
    }
    if (drawOnDeviceDots(painter, rect))
        return true;
    const QPen pen = painter->pen();
    const QBrush brush = painter->brush();
    painter->setBrush(QBrush(Qt::black, Qt::SolidPattern));
    painter->setPen(QPen(QBrush(Qt::black), 0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    for (const QRectF& bar : barRects(m_pattern, rect))
        painter->fillRect(bar, Qt::black);
    painter->setPen(pen);
    painter->setBrush(brush);
    return true;
}
