#pragma once
// What the editor's QML tests need beyond the window's services: the stored layout text, the
// label as the printing side renders it, test logos and window pictures.

#include <QObject>
#include <QStringList>
#include <QVariantMap>

class EditorTestHelper : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The raw text of a stored layout file; empty when there is none.
    Q_INVOKABLE QString layoutFileText(const QString& name) const;
    // Barcodes zbarimg reads on the label the printing side renders from the stored layout
    // (no report: example values).
    Q_INVOKABLE QStringList decodeStoredLayout(const QString& name) const;
    // Count of black pixels of that label inside a box given in layout units.
    Q_INVOKABLE int blackPixelsIn(const QString& name, int x, int y, int width, int height) const;
    // Reports for the preview's chooser, as the console's newest would come: variants 1..count with
    // the model names given in turn (the sample's own when none).
    Q_INVOKABLE void offerReports(int count, const QStringList& models = {}) const;
    // The label as the canvas item `page` shows it (its objects' pictures where the items place
    // them, cut at middle grey) against the page
    // the printing renders from `layoutText` at the same size: {"black": black pixels of the printed page,
    // "differing": black pixels of either with no black pixel of the other at most one pixel away,
    // "canvasCodes"/"printedCodes": what zbarimg reads on each, "objectCodes": what zbarimg and
    // ZXingReader (Data Matrix, PDF417) read on each object's own picture}.
    Q_INVOKABLE QVariantMap compareCanvasWithPrint(QObject* page, const QString& layoutText) const;
    // A small picture file outside the logo folder, to import as a logo; its path.
    Q_INVOKABLE QString makePicture(const QString& fileName, int width, int height) const;
    // Saves a picture of the window that shows the item (popups included) when a folder is set
    // in EDITOR_SCREENSHOTS_DIR; the path, or empty.
    Q_INVOKABLE QString screenshot(QObject* item, const QString& name) const;
    Q_INVOKABLE QString screenshotDir() const;
};
