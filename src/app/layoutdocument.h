#pragma once
// The layout editor's native side: turns the canvas objects into layout text (fixed key order,
// escaped texts), reads layouts back into editor records, checks names and sizes, converts
// millimetres to layout units and builds the tag texts the editor dialogs offer.

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

class LayoutDocument : public QObject
{
    Q_OBJECT
    // Object with an invokable jsonEscaped(QString) (the "translator"); texts of text objects go
    // through it. Without one they are written with plain JSON quoting.
    Q_PROPERTY(QObject* escaper READ escaper WRITE setEscaper NOTIFY escaperChanged)
    Q_PROPERTY(int minimumSideMm READ minimumSideMm CONSTANT)
    Q_PROPERTY(int maximumSideMm READ maximumSideMm CONSTANT)
    Q_PROPERTY(int unitsPerMillimetre READ unitsPerMillimetre CONSTANT)
    Q_PROPERTY(QString forbiddenNameCharacters READ forbiddenNameCharacters CONSTANT)
public:
    explicit LayoutDocument(QObject* parent = nullptr);

    // Makes the editor's native types reachable from QML in module "LayoutEditing" 1.0:
    // LayoutDocument, LayoutHistory, LayoutGeometry, ObjectClipboard, LayoutModel and LayoutObjectView.
    static void registerQmlType();

    QObject* escaper() const { return m_escaper; }
    void setEscaper(QObject* escaper);
    static int minimumSideMm() { return kMinimumSideMm; }
    static int maximumSideMm() { return kMaximumSideMm; }
    static int unitsPerMillimetre();
    static QString forbiddenNameCharacters();

    // Sizes: the editor works in whole millimetres; a layout stores 8 units per millimetre, so a
    // fixed-size label prints on a page of exactly the millimetres shown.
    Q_INVOKABLE static int unitsFromMillimetres(int millimetres);
    Q_INVOKABLE static int millimetresFromUnits(int units);
    Q_INVOKABLE static int clampSideMm(int millimetres);
    // {"width": mm, "height": mm} of a paper size text such as "62mm x 100mm"; empty if it is none.
    Q_INVOKABLE static QVariantMap paperSizeMillimetres(const QString& sizeText);
    // The paper size text for a size, as the printer lists write it.
    Q_INVOKABLE static QString paperSizeText(int widthMm, int heightMm);

    // Empty when the name can be used, else the text to show. `ownName` is the name of the layout
    // being edited: keeping it is no clash.
    Q_INVOKABLE static QString nameError(const QString& name, const QStringList& existingNames,
                                         const QString& ownName = QString());

    // The layout text: keys "width", "height", "name", "fixedsize", "sizestr", "objects", "version"
    // in that order, each object's keys in the order printing and loading expect. Records that
    // cannot be written are left out with a log line.
    Q_INVOKABLE QString layoutText(const QVariantMap& layout, const QVariantList& records) const;
    // One record as the layout file stores it (the same keys, order and escaping as layoutText);
    // empty when it cannot be written.
    Q_INVOKABLE QJsonObject storedRecord(const QVariantMap& record) const;
    // Item ids of the records whose (rotated) box is not fully inside a page of units.
    Q_INVOKABLE static QVariantList objectsOutsidePage(const QVariantList& records, int widthUnits,
                                                       int heightUnits);
    // The records of a stored layout that the canvas can show, with editor keys filled in
    // (missing ids numbered, "attachText" as a bool); invalid ones are logged and left out.
    Q_INVOKABLE static QVariantList editorRecords(const QJsonObject& layout);

    Q_INVOKABLE static int firstFreeId(const QVariantList& usedIds);

    // Text dialog: the content kinds ({"label", "kind", "tag"}), kind "tag" inserts tag as it is.
    Q_INVOKABLE static QVariantList textContentKinds();
    Q_INVOKABLE static QStringList identifierLabels();
    Q_INVOKABLE static QString identifierTag(const QStringList& labels);
    Q_INVOKABLE static QString customFieldTag(const QString& name, bool deviceField);
    Q_INVOKABLE static QString diagnosticsTestTag(const QString& testName, bool shortForm);
    Q_INVOKABLE static QString diagnosticsListTag(bool successful, bool failed, bool notPerformed,
                                                  bool notAvailable);
    Q_INVOKABLE static QString xmlReportTag(const QString& formattedSearchPath);

    // Barcode dialog: the contents offered ({"text", "label"}); device custom fields come after.
    Q_INVOKABLE static QVariantList barcodeContents(const QStringList& deviceCustomFields);
    Q_INVOKABLE static QString freeTextContent(const QString& text);
    // The text of a barcode's human-readable follower over its content list.
    Q_INVOKABLE static QString humanReadableText(const QString& contentOrder, const QString& prefix);
    Q_INVOKABLE static QStringList symbologies();

    // Choosers: the entries (maps with "label" and maybe "tag", or plain texts) sorted by label
    // without regard to case, keeping those where every word of `search` is found in the label or
    // the tag.
    Q_INVOKABLE static QVariantList filteredEntries(const QVariantList& entries, const QString& search);
    // The drawn shapes offered for image objects: {"value" as stored, "label" to show}.
    Q_INVOKABLE static QVariantList shapeNames();
    // The label shown for a stored shape value (the value itself when unknown).
    Q_INVOKABLE static QString shapeLabel(const QString& value);

    static constexpr int kMinimumSideMm = 10;
    static constexpr int kMaximumSideMm = 1000;

signals:
    void escaperChanged();

private:
    QString quoted(const QString& text, bool escapeText) const;
    // One object record as text; empty (with a log line) when it cannot be written.
    QString recordText(const QVariantMap& record) const;

    QPointer<QObject> m_escaper;
};
