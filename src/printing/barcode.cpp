#include "printing/barcode.h"

#include "logging/logger.h"
#include "settings/settingsmanager.h"

#include <QDebug>
#include <QPainter>
#include <QProcess>

#include <algorithm>

namespace {

// Width of one element of a bar-width string in modules.
int modulesOf(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('5'))
        return c.unicode() - '0';
    return 1;
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
    const QString path = program();
    QProcess process;
    process.start(path, arguments(code, symbology), QIODevice::ReadWrite);
    if (!process.waitForStarted(kTimeoutMs)) {
        logPrintf("%s Barcode program '%s' could not be started: %s\n", Q_FUNC_INFO, qPrintable(path),
                  qPrintable(process.errorString()));
        return false;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(kTimeoutMs)) {
        logPrintf("%s Barcode program '%s' did not finish within %d ms\n", Q_FUNC_INFO, qPrintable(path),
                  kTimeoutMs);
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
    if (output.split(QLatin1Char('\n')).size() == 1)
        return false;
    m_pattern = patternFromOutput(output);
    if (m_pattern.isEmpty()) {
        qDebug() << "Barcode result = " << output;
        return false;
    }
    return true;
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
