#pragma once
// Renders one layout for one device: chooses the page size and paints the objects into a one-bit
// page image at the output's resolution; also the layout preview picture.

#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPageSize>
#include <QPair>
#include <QSizeF>
#include <QString>

#include <memory>
#include <vector>

class Device;
class LayoutItem;
class QPainter;
class ReportDevice;

class PrintWorker : public QObject
{
    Q_OBJECT
public:
    // A non-null device is copied; the caller keeps its own.
    PrintWorker(const QString& printerName, const QJsonObject& layout, const QSizeF& requestedSizeMm,
                const QString& paperName, Device* device, int copies, bool upsideDown,
                QObject* parent = nullptr);
    ~PrintWorker() override;

    // Runs the slot named by m_slotName through the meta-object system; false if it could not run.
    bool print(QPainter* painter);
    // The symbology and content of each barcode of the layout for this device (those with content),
    // so a batch of labels can be encoded in one run of the barcode program before rendering.
    QList<QPair<QString, QString>> barcodeContents() const;
    // Builds the layout's objects for the device now, with every value they show, and lets the device
    // go: the report behind it may be freed long before the page is painted, so a batch of large
    // reports holds one parsed report at a time while its barcodes wait to be encoded together.
    // barcodeContents and every later rendering use these objects.
    void resolveObjects();
    // Objects of the last rendering that could not be painted (for example a barcode whose report
    // values are all empty), each described for the user.
    QStringList problems() const { return m_problems; }
    // How each object of the last rendering came out where it is not as designed (empty, elided,
    // wider than its box, not printed).
    struct ObjectProblem
    {
        int id = -1;    // the object's "item_id"; -1 without one
        QString object; // "Text 3"
        QString problem;
    };
    QList<ObjectProblem> objectProblems() const { return m_objectProblems; }

    // The label at five pixels per layout unit (device pixel ratio 5); null when the layout lacks
    // its keys or its objects are not a list.
    QImage renderLabel();
    // The label as a one-bit page of `pagePixels`, its objects painted straight at that resolution
    // (the label fills the page, as on paper); null as renderLabel.
    QImage renderPageImage(const QSize& pagePixels);
    // A grey page cut to one bit at the middle grey, black as colour 0.
    static QImage blackAndWhite(const QImage& grey);
    // The label at its own size and `dotsPerInch`, as a printer of that resolution gets it.
    QImage renderLabelAt(double dotsPerInch);

    // How far a printer's paper may miss the label's size per side and still count as that size.
    static constexpr double kPaperToleranceMm = 0.5;

    QPageSize pageSize() const { return m_pageSize; }
    // The page chosen from the output's own papers (see choosePageSize).
    void setPageSize(const QPageSize& page) { m_pageSize = page; }
    int copies() const { return m_copies; }
    bool upsideDown() const { return m_upsideDown; }

    // The page size for a layout: its own size when fixed; else the printer's paper of the given
    // name, else its paper of the layout's size, else the layout's own size. The requested size
    // stands in for a layout without a size.
    static QPageSize choosePageSize(const QJsonObject& layout, const QSizeF& requestedSizeMm,
                                    const QString& paperName, const QList<QPageSize>& printerPapers);
    // The editor's preview: the layout at one pixel per unit with example values, saved as
    // "<name>.png" in the layout directory. False (with a log line) when it could not be made.
    static bool createPreviewImage(const QJsonObject& layout, const QString& layoutDir);

public slots:
    bool printFromJsonObject(QPainter* painter);

signals:
    void invalidPaperDefinition();

private:
    // The layout's size in units; false (with a log line) when it lacks its keys, its objects are
    // not a list or a side is not positive.
    bool drawableSize(QSize* units) const;
    // The layout's objects built for a device (null where a record makes none), in painting order.
    using Objects = std::vector<std::unique_ptr<LayoutItem>>;
    static Objects buildObjects(const QJsonArray& records, Device* device, bool preview);
    // Paints each valid object of the layout.
    static void paintObjects(const QJsonArray& records, const Objects& objects, QImage* image,
                             QPainter* painter, bool preview, QStringList* problems = nullptr,
                             QList<ObjectProblem>* objectProblems = nullptr);
    // The resolved objects, else the layout's objects built for the device now.
    void paintLayout(QImage* image, QPainter* painter);
    static void prepareWhitePainter(QPainter* painter, const QRect& area);

    QString m_slotName = QStringLiteral("printFromJsonObject");
    QString m_printerName;
    QJsonObject m_layout;
    QPageSize m_pageSize;
    ReportDevice* m_device = nullptr;
    bool m_resolved = false;
    Objects m_objects; // built by resolveObjects
    int m_copies = 1;
    bool m_upsideDown = false;
    QStringList m_problems;
    QList<ObjectProblem> m_objectProblems;
};
