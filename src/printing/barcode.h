#pragma once
// A barcode drawn into a box: one-dimensional codes from the external barcode program's bar widths,
// two-dimensional codes from libzint (MatrixCode); every module a whole number of dots on a printer.

#include <QHash>
#include <QObject>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVector>

class QPainter;

// How a code is sized in its box; the defaults are how layouts without these keys print.
struct BarcodeOptions
{
    double moduleWidthMm = 0; // 0: the module is chosen to fill the box
    int quietZone = -1;       // white modules on each side; -1: the symbology's own margin
    bool gs1 = false;         // Data Matrix only: the content is GS1 element strings
};

// Whether a code with its content fits its box at a printer's resolution.
struct BarcodeFit
{
    bool encoded = false;
    QString error; // why the content cannot be encoded
    double overWidthMm = 0;
    double overHeightMm = 0;
    bool fits() const { return encoded && overWidthMm <= 0 && overHeightMm <= 0; }
};

class BarCode : public QObject
{
    Q_OBJECT
public:
    explicit BarCode(const QString& symbology, QObject* parent = nullptr);

    void setOptions(const BarcodeOptions& options) { m_options = options; }
    const BarcodeOptions& options() const { return m_options; }

    // Draws the code into rect. False when the code cannot be encoded (nothing is drawn).
    bool drawCode(QPainter* painter, const QString& code, const QRectF& rect);
    // The room the code needs beyond a box of boxMm at dotsPerInch, drawn as on such a printer.
    static BarcodeFit fit(const QString& symbology, const QString& code, const BarcodeOptions& options,
                          const QSizeF& boxMm, double dotsPerInch);
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
    // The bars (not the spaces) of a bar-width string laid into rect, in rect's coordinates (layout
    // units when a module width is set).
    static QVector<QRectF> barRects(const QString& pattern, const QRectF& rect,
                                    const BarcodeOptions& options = BarcodeOptions());

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
    // What layouts may ask for: wider modules or zones would not fit any label.
    static constexpr double kMaxModuleWidthMm = 5.0;
    static constexpr int kMaxQuietZone = 40;

private:
    // Bars of whole device dots when the painter draws onto a device along its axes (every module
    // the same number of dots); false when it does not, and nothing was drawn.
    bool drawOnDeviceDots(QPainter* painter, const QRectF& rect) const;
    bool drawMatrix(QPainter* painter, const QString& code, const QRectF& rect) const;

    QString m_symbology;
    QString m_pattern;
    BarcodeOptions m_options;
    mutable bool m_overflowed = false;
};
