#pragma once
// The layout editor's document: the objects of one layout in stacking order, the selection and
// the undo history, with the operations the canvas gestures and panels call. The canvas shows one
// delegate per row; each row's "record" is the object as LayoutDocument reads and writes it.

#include "app/layoutobject.h"

#include <QAbstractListModel>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QPointF>
#include <QVariantList>
#include <QVariantMap>

class LayoutDocument;
class LayoutHistory;
class ObjectClipboard;

class LayoutModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int widthUnits READ widthUnits WRITE setWidthUnits NOTIFY pageChanged)
    Q_PROPERTY(int heightUnits READ heightUnits WRITE setHeightUnits NOTIFY pageChanged)
    // Grid spacing in layout units; snapping to it is on while `snapToGrid`.
    Q_PROPERTY(int gridUnits READ gridUnits WRITE setGridUnits NOTIFY pageChanged)
    Q_PROPERTY(bool snapToGrid READ snapToGrid WRITE setSnapToGrid NOTIFY pageChanged)
    // How near (layout units) an edge or centre must come to another's to snap to it; the canvas
    // sets it from the zoom so that it is a few screen pixels.
    Q_PROPERTY(double snapReach READ snapReach WRITE setSnapReach NOTIFY pageChanged)
    Q_PROPERTY(QObject* escaper READ escaper WRITE setEscaper NOTIFY pageChanged)
    Q_PROPERTY(QVariantList selection READ selection NOTIFY changed)
    Q_PROPERTY(int count READ count NOTIFY changed)
    // Selected objects that move on their own (followers move with their leader).
    Q_PROPERTY(int movingCount READ movingCount NOTIFY changed)
    // The record of the one selected object; empty for none or several.
    Q_PROPERTY(QVariantMap single READ single NOTIFY changed)
    Q_PROPERTY(LayoutHistory* history READ history CONSTANT)
    Q_PROPERTY(ObjectClipboard* clipboard READ clipboard CONSTANT)
    Q_PROPERTY(int nudgeUnits READ nudgeUnits CONSTANT)
public:
    enum Roles
    {
        RecordRole = Qt::UserRole + 1,
        IdRole,
        TypeRole,
        SelectedRole,
        FollowerRole
    };

    // Arrow keys move the selection this far; with Shift ten times as far (0.5 and 5 mm).
    static constexpr int kNudgeUnits = 4;
    static constexpr int kMinimumSideUnits = 8;

    explicit LayoutModel(QObject* parent = nullptr);
    ~LayoutModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int widthUnits() const { return m_width; }
    void setWidthUnits(int units);
    int heightUnits() const { return m_height; }
    void setHeightUnits(int units);
    int gridUnits() const { return m_grid; }
    void setGridUnits(int units);
    bool snapToGrid() const { return m_snapToGrid; }
    void setSnapToGrid(bool snap);
    double snapReach() const { return m_snapReach; }
    void setSnapReach(double units);
    QObject* escaper() const;
    void setEscaper(QObject* escaper);
    QVariantList selection() const;
    int count() const { return m_objects.size(); }
    int movingCount() const { return movingIds().size(); }
    QVariantMap single() const;
    LayoutHistory* history() const { return m_history; }
    static int nudgeUnits() { return kNudgeUnits; }
    ObjectClipboard* clipboard() const { return m_clipboard; }

    // ---- document ----
    // Replaces the objects with those of a stored layout; nothing to undo afterwards. False (with
    // a log line, the objects untouched) when the layout cannot be loaded.
    Q_INVOKABLE bool load(const QJsonObject& layout);
    Q_INVOKABLE bool loadText(const QString& text);
    // The layout text of the objects; `sheet` gives "width", "height", "name", "fixedsize",
    // "sizestr" and "version".
    Q_INVOKABLE QString text(const QVariantMap& sheet) const;
    // Every object's record in stacking order.
    Q_INVOKABLE QVariantList records() const;
    Q_INVOKABLE QVariantMap recordOf(int id) const;
    Q_INVOKABLE int rowOf(int id) const;
    // Item ids of the objects not fully on the label.
    Q_INVOKABLE QVariantList objectsOutside() const;

    // ---- changes that are not yet a step (a dialog still open); commit() ends them ----
    // A new object of the type ("TextObject.qml", "BarCode.qml", "ShapeObject.qml") with the
    // kind's defaults, selected, in free space; its id, or -1.
    Q_INVOKABLE int addNew(const QString& type);
    // Takes the record's keys (not its id) for the object; false when there is none or the record
    // is no object.
    Q_INVOKABLE bool updateObject(int id, const QVariantMap& record);
    // Removes the object with its follower; a removed follower detaches from its barcode.
    Q_INVOKABLE void removeObject(int id);
    // The object (and its followers) moved to the first free place on the label.
    Q_INVOKABLE void placeInFreeSpace(int id);
    // Makes, updates or drops a barcode's human-readable text after its settings changed.
    Q_INVOKABLE void syncHumanReadable(int barcodeId);
    // Ends a change as one undo step; none when nothing changed. Changes in a row with the same
    // non-empty mergeKey make one step.
    Q_INVOKABLE bool commit(const QString& description, const QString& mergeKey = QString());

    // ---- selection ----
    Q_INVOKABLE void select(int id, bool additive);
    Q_INVOKABLE void setSelection(const QVariantList& ids);
    Q_INVOKABLE void clearSelection();
    Q_INVOKABLE bool isSelected(int id) const;
    // Every object whose covered box meets the rectangle (layout units).
    Q_INVOKABLE void selectInRect(const QRectF& rect);
    Q_INVOKABLE void stepSelection(bool forward);

    // ---- gestures (each one undo step) ----
    Q_INVOKABLE void beginDrag(int id);
    // Moves the dragged selection by (dx, dy) from where the drag began, snapped unless
    // `free` (Shift held).
    Q_INVOKABLE void dragBy(double dx, double dy, bool free);
    Q_INVOKABLE void endDrag();
    // New size of the object, keeping its top left corner (or its centre); the dragged edges
    // snap unless `free`. End with commit().
    Q_INVOKABLE void resizeTo(int id, double width, double height, bool keepTopLeft, bool free);
    // Arrow keys: a run of presses on the same objects is one step.
    Q_INVOKABLE void nudge(int dx, int dy);
    Q_INVOKABLE void removeSelection();
    // Sets "left", "top", "width" or "height" (layout units) of the one selected object.
    Q_INVOKABLE void setGeometry(const QString& field, double units);
    Q_INVOKABLE void rotateSelectionBy(int degrees);
    Q_INVOKABLE void setRotation(int degrees);
    // "left", "center", "right", "top", "middle", "bottom", "horizontal", "vertical".
    Q_INVOKABLE void align(const QString& how);
    Q_INVOKABLE void bringToFront(int id);
    Q_INVOKABLE void sendToBack(int id);
    // Copies on the clipboard; how many objects it holds.
    Q_INVOKABLE int copySelection();
    // Pasted and duplicated objects land in free space on the label, selected; their ids.
    Q_INVOKABLE QVariantList paste();
    Q_INVOKABLE QVariantList duplicateSelection();
    Q_INVOKABLE void undo();
    Q_INVOKABLE void redo();

signals:
    void pageChanged();
    void changed();

private:
    int indexOf(int id) const;
    LayoutObject* find(int id);
    const LayoutObject* find(int id) const;
    QVariantList usedIds() const;
    // Leaders of the selected objects, each once.
    QList<int> movingIds() const;
    QList<int> followersOf(int id) const;
    QList<int> stackingOrder(const QList<int>& ids) const;
    // Objects that are in the way of a group: all but the group and its followers.
    QList<QRectF> snapTargets(const QList<int>& moving) const;
    void placeFollowers();
    // Adds records (ids already free) as objects; their ids.
    QList<int> insert(const QVariantList& records);
    // Moves a group of new objects to free space on the label: the first clear place, else an
    // offset from where it was, inside the label.
    void placeGroup(const QList<int>& ids, int attempt);
    void moveBy(const QList<int>& ids, const QPointF& delta);
    void restore(const QVariantList& records);
    void contentChanged();
    void selectionChanged();

    QList<LayoutObject> m_objects;
    QList<int> m_selection;
    int m_width = 496;
    int m_height = 800;
    int m_grid = 10;
    bool m_snapToGrid = true;
    double m_snapReach = 4;
    LayoutDocument* m_document;
    LayoutHistory* m_history;
    ObjectClipboard* m_clipboard;
    // Where the dragged objects began, by id.
    QHash<int, QPointF> m_dragStarts;
    int m_dragAnchor = -1;
    int m_pastes = 0;
};
