#include "printing/barcode.h"

#include "logging/logger.h"
#include "printing/layoutlength.h"
#include "printing/matrixcode.h"
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

// Where a box lies on a device whose dots the painter draws onto along its axes.
struct DeviceBox
{
    bool horizontal = true; // the box's width runs along the device's x axis
    double start = 0;       // device coordinate of the box's left edge, along its width
    double side = 0;        // device coordinate of the box's top edge, along its height
    double length = 0;      // the box's width in dots, negative when it runs backwards
    double depth = 0;       // the box's height in dots, likewise
    double unitsToDots = 0;
};

// False when the painter does not draw onto device dots, or the box is turned by other than a
// quarter turn: then no edge can sit on a dot boundary.
bool deviceBox(QPainter* painter, const QRectF& rect, DeviceBox* box)
{
    const QPaintDevice* device = painter->device();
    if (!device || device->devicePixelRatioF() != 1.0)
        return false;
    const QTransform toDevice = painter->deviceTransform();
    const QPointF origin = toDevice.map(rect.topLeft());
    const QPointF along = toDevice.map(rect.topRight()) - origin;
    const QPointF across = toDevice.map(rect.bottomLeft()) - origin;
    const bool horizontal = std::abs(along.y()) < 1e-6 && std::abs(across.x()) < 1e-6;
    const bool vertical = std::abs(along.x()) < 1e-6 && std::abs(across.y()) < 1e-6;
    if (!horizontal && !vertical)
        return false;
    box->horizontal = horizontal;
    box->length = horizontal ? along.x() : along.y();
    box->depth = horizontal ? across.y() : across.x();
    box->start = horizontal ? origin.x() : origin.y();
    box->side = horizontal ? origin.y() : origin.x();
    box->unitsToDots = std::abs(box->length) / std::max(rect.width(), 1e-9);
    return true;
}

// A module width asked for in millimetres, as whole dots.
int dotsOfMillimetres(double millimetres, double unitsToDots)
{
    return std::max(1, int(std::lround(millimetres * unitsToDots * LayoutLength::kUnitsPerMillimetre)));
}

// How a one-dimensional code spreads over its box: the white modules before the bars, all modules
// and the share of the box they may take.
struct LinearLayout
{
    int margin;
    int total;
    double fill;
};

LinearLayout linearLayout(const QString& pattern, const BarcodeOptions& options)
{
    int bars = 0;
    for (int i = 1; i < pattern.size(); ++i)
        bars += modulesOf(pattern.at(i));
    // Without a quiet zone of its own a code keeps the one-module left margin stored layouts print with.
    if (options.quietZone < 0)
        return {1, 1 + bars, 0.99};
    return {options.quietZone, 2 * options.quietZone + bars, 1.0};
}

int linearModuleDots(double lengthDots, const LinearLayout& layout, const BarcodeOptions& options,
                     double unitsToDots)
{
    if (options.moduleWidthMm > 0)
        return dotsOfMillimetres(options.moduleWidthMm, unitsToDots);
    const int maxModule = std::max(1, int(std::floor(BarCode::kMaxModule * unitsToDots)));
    return std::clamp(int(std::floor(lengthDots * layout.fill / layout.total)), 1, maxModule);
}

int quietZoneOf(const QString& symbology, const BarcodeOptions& options)
{
    return options.quietZone >= 0 ? options.quietZone : MatrixCode::defaultQuietZone(symbology);
}

// The largest whole-dot module that fits the symbol with its quiet zone, unless one is asked for.
int matrixModuleDots(const QSizeF& boxDots, const QSize& withZone, const BarcodeOptions& options,
                     double unitsToDots)
{
    if (options.moduleWidthMm > 0)
        return dotsOfMillimetres(options.moduleWidthMm, unitsToDots);
    const double fitting = std::min(boxDots.width() / withZone.width(), boxDots.height() / withZone.height());
    return std::max(1, int(std::floor(fitting)));
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
    DeviceBox box;
    if (m_pattern.size() < 2 || !deviceBox(painter, rect, &box))
        return false;
    const int direction = box.length >= 0 ? 1 : -1;
    const LinearLayout layout = linearLayout(m_pattern, m_options);
    const int module = linearModuleDots(std::abs(box.length), layout, m_options, box.unitsToDots);

    m_overflowed = layout.total * module > std::abs(box.length);
    const int acrossFrom = int(std::lround(std::min(box.side, box.side + box.depth)));
    const int acrossTo = int(std::lround(std::max(box.side, box.side + box.depth)));
    int position = int(std::lround(box.start)) + direction * layout.margin * module;

    painter->save();
    painter->setViewTransformEnabled(false);
    painter->setWorldTransform(QTransform());
    // The first element is the leading space, which only separates the code from what precedes it.
    for (int i = 1; i < m_pattern.size(); ++i) {
        const int width = modulesOf(m_pattern.at(i)) * module;
        const bool isBar = (i % 2) == 1;
        if (isBar && width > 0) {
            const int from = direction > 0 ? position : position - width;
            const QRect bar = box.horizontal ? QRect(from, acrossFrom, width, acrossTo - acrossFrom)
                                             : QRect(acrossFrom, from, acrossTo - acrossFrom, width);
            painter->fillRect(bar, Qt::black);
        }
        position += direction * width;
    }
    painter->restore();
    return true;
}

bool BarCode::drawMatrix(QPainter* painter, const QString& code, const QRectF& rect) const
{
    MatrixCode matrix;
    QString error;
    if (!matrix.encode(m_symbology, code, m_options.gs1, &error)) {
        qDebug() << "Failed to create barcode for " << code << error;
        return false;
    }
    const int quiet = quietZoneOf(m_symbology, m_options);
    const QSize withZone = matrix.modules() + QSize(2 * quiet, 2 * quiet);
    painter->save();
    DeviceBox box;
    if (deviceBox(painter, rect, &box)) {
        const int module = matrixModuleDots(QSizeF(std::abs(box.length), std::abs(box.depth)), withZone,
                                            m_options, box.unitsToDots);
        m_overflowed = withZone.width() * module > std::abs(box.length) ||
                       withZone.height() * module > std::abs(box.depth);
        const int along = box.length >= 0 ? 1 : -1;
        const int across = box.depth >= 0 ? 1 : -1;
        const int startAlong = int(std::lround(box.start));
        const int startAcross = int(std::lround(box.side));
        painter->setViewTransformEnabled(false);
        painter->setWorldTransform(QTransform());
        for (const QRect& dark : matrix.dark()) {
            const int a0 = startAlong + along * (quiet + dark.x()) * module;
            const int a1 = a0 + along * dark.width() * module;
            const int c0 = startAcross + across * (quiet + dark.y()) * module;
            const int c1 = c0 + across * dark.height() * module;
            const int alongFrom = std::min(a0, a1), acrossFrom = std::min(c0, c1);
            const int alongSize = std::abs(a1 - a0), acrossSize = std::abs(c1 - c0);
            painter->fillRect(box.horizontal ? QRect(alongFrom, acrossFrom, alongSize, acrossSize)
                                             : QRect(acrossFrom, alongFrom, acrossSize, alongSize),
                              Qt::black);
        }
    } else {
        // A scaled preview: the exact module, in layout units.
        const double module =
            m_options.moduleWidthMm > 0
                ? m_options.moduleWidthMm * LayoutLength::kUnitsPerMillimetre
                : std::min(rect.width() / withZone.width(), rect.height() / withZone.height());
        for (const QRect& dark : matrix.dark())
            painter->fillRect(QRectF(rect.left() + (quiet + dark.x()) * module,
                                     rect.top() + (quiet + dark.y()) * module, dark.width() * module,
                                     dark.height() * module),
                              Qt::black);
    }
    painter->restore();
    return true;
}

BarcodeFit BarCode::fit(const QString& symbology, const QString& code, const BarcodeOptions& options,
                        const QSizeF& boxMm, double dotsPerInch)
{
    BarcodeFit result;
    const double dotsPerMm = dotsPerInch / 25.4;
    const double unitsToDots = dotsPerMm / LayoutLength::kUnitsPerMillimetre;
    const QSizeF box = boxMm * dotsPerMm;
    if (dotsPerInch <= 0 || box.isEmpty()) {
        result.error = QStringLiteral("the box or the resolution is empty");
        return result;
    }
    if (MatrixCode::handles(symbology)) {
        MatrixCode matrix;
        if (!matrix.encode(symbology, code, options.gs1, &result.error))
            return result;
        const int quiet = quietZoneOf(symbology, options);
        const QSize withZone = matrix.modules() + QSize(2 * quiet, 2 * quiet);
        const int module = matrixModuleDots(box, withZone, options, unitsToDots);
        result.overWidthMm = (withZone.width() * module - box.width()) / dotsPerMm;
        result.overHeightMm = (withZone.height() * module - box.height()) / dotsPerMm;
    } else {
        BarCode barcode(symbology);
        if (!barcode.readPattern(code, symbology)) {
            result.error = QStringLiteral("the symbology does not take this content");
            return result;
        }
        const LinearLayout layout = linearLayout(barcode.pattern(), options);
        const int module = linearModuleDots(box.width(), layout, options, unitsToDots);
        result.overWidthMm = (layout.total * module - box.width()) / dotsPerMm;
    }
    result.encoded = true;
    result.overWidthMm = std::max(0.0, result.overWidthMm);
    result.overHeightMm = std::max(0.0, result.overHeightMm);
    return result;
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
    if (MatrixCode::handles(symbology))
        return; // encoded in-process when drawn
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

QVector<QRectF> BarCode::barRects(const QString& pattern, const QRectF& rect, const BarcodeOptions& options)
{
    QVector<QRectF> bars;
    if (pattern.size() < 2)
        return bars;
    const LinearLayout layout = linearLayout(pattern, options);
    const double module = options.moduleWidthMm > 0
                              ? options.moduleWidthMm * LayoutLength::kUnitsPerMillimetre
                              : std::min(kMaxModule, rect.width() * layout.fill / layout.total);
    double x = rect.left() + layout.margin * module;
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
    if (MatrixCode::handles(m_symbology))
        return drawMatrix(painter, code, rect);
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
    for (const QRectF& bar : barRects(m_pattern, rect, m_options))
        painter->fillRect(bar, Qt::black);
    painter->setPen(pen);
    painter->setBrush(brush);
    return true;
}
