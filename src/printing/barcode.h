#pragma once
// One-dimensional barcode: bar widths from the external barcode program, painted as filled bars.

#include <QHash>
#include <QObject>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVector>

class QPainter;

class BarCode : public QObject
{
    Q_OBJECT
public:
    explicit BarCode(const QString& symbology, QObject* parent = nullptr);

    // Draws the code's bars into rect; draws nothing when the program gave no widths.
    // False when the program gave no pattern for the code (nothing is drawn).
    bool drawCode(QPainter* painter, const QString& code, const QRectF& rect);
    // Runs the barcode program and keeps its bar-width string; false when there was none.
    bool readPattern(const QString& code, const QString& symbology);
    QString pattern() const { return m_pattern; }
    // The last drawCode needed more room than its box even at one printer dot per module.
    bool overflowed() const { return m_overflowed; }
    QString symbology() const { return m_symbology; }

    // The program to run: the setting kProgramKey, else the platform default.
    static QString program();
    static QString defaultProgram();
    // Arguments after the program: "-c" only for symbology names holding "code" in lower case.
    static QStringList arguments(const QString& code, const QString& symbology);
    // The bar-width string of the program's output; empty when no recognised line precedes "[".
    static QString patternFromOutput(const QString& output);
    // The bars (not the spaces) of a bar-width string laid into rect, in rect's coordinates.
    static QVector<QRectF> barRects(const QString& pattern, const QRectF& rect);

    // Runs the program once for many codes of one symbology: code -> bar-width string, for each
    // code it could encode (the others are missing). Codes holding a line break are left out.
    static QHash<QString, QString> readPatterns(const QStringList& codes, const QString& symbology,
                                                bool* ran = nullptr);
    // Encodes the codes that are not known yet in one run and keeps the results (also "cannot be
    // encoded") in a bounded cache that readPattern consults first. Thread-safe.
    static void prefetch(const QStringList& codes, const QString& symbology);
    static constexpr int kCacheLimit = 20000;

    static constexpr const char* kProgramKey = "printer/barcodeProgram";
    static constexpr int kTimeoutMs = 30000;
    static constexpr double kMaxModule = 25.0;

private:
    // Bars of whole device dots when the painter draws onto a device along its axes (every module
    // the same number of dots); false when it does not, and nothing was drawn.
    bool drawOnDeviceDots(QPainter* painter, const QRectF& rect) const;

    QString m_symbology;
    QString m_pattern;
    mutable bool m_overflowed = false;
};
