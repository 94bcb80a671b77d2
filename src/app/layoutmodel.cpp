#include "app/layoutmodel.h"

#include "app/layoutdocument.h"
#include "app/layoutgeometry.h"
#include "app/layouthistory.h"
#include "app/objectclipboard.h"
#include "printing/layoutcheck.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtMath>

#include <algorithm>

namespace {

const QString kText = LayoutObject::typeName(LayoutObject::Kind::Text);
const QString kBarcode = LayoutObject::typeName(LayoutObject::Kind::Barcode);

QVariantList toVariantList(const QList<int>& ids)
{
    QVariantList list;
    for (const int id : ids)
        list.append(id);
    return list;
}

// The editor holds a barcode's "attachText" as a bool; copies and older records may have text.
void normaliseAttachText(QVariantMap* record)
{
    const QVariant attach = record->value(QStringLiteral("attachText"));
    if (attach.type() == QVariant::String)
        record->insert(QStringLiteral("attachText"), attach.toString() == QLatin1String("true"));
}

} // namespace

LayoutModel::LayoutModel(QObject* parent)
    : QAbstractListModel(parent), m_document(new LayoutDocument(this)), m_history(new LayoutHistory(this)),
      m_clipboard(new ObjectClipboard(this))
{}

LayoutModel::~LayoutModel() = default;

int LayoutModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_objects.size();
}

QVariant LayoutModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_objects.size())
        return QVariant();
    const LayoutObject& object = m_objects.at(index.row());
    switch (role) {
    case RecordRole:
        return object.record();
    case IdRole:
        return object.id;
    case TypeRole:
        return LayoutObject::typeName(object.kind);
    case SelectedRole:
        return m_selection.contains(object.id);
    case FollowerRole:
        return object.isFollower();
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> LayoutModel::roleNames() const
{
    return {{RecordRole, "record"},
            {IdRole, "itemId"},
            {TypeRole, "objectType"},
            {SelectedRole, "selected"},
            {FollowerRole, "isFollower"}};
}

void LayoutModel::setWidthUnits(int units)
{
    if (m_width != units) {
        m_width = units;
        emit pageChanged();
    }
}

void LayoutModel::setHeightUnits(int units)
{
    if (m_height != units) {
        m_height = units;
        emit pageChanged();
    }
}

void LayoutModel::setGridUnits(int units)
{
    if (m_grid != units) {
        m_grid = units;
        emit pageChanged();
    }
}

void LayoutModel::setSnapToGrid(bool snap)
{
    if (m_snapToGrid != snap) {
        m_snapToGrid = snap;
        emit pageChanged();
    }
}

void LayoutModel::setSnapReach(double units)
{
    if (!qFuzzyCompare(m_snapReach, units)) {
        m_snapReach = units;
        emit pageChanged();
    }
}

QObject* LayoutModel::escaper() const
{
    return m_document->escaper();
}

void LayoutModel::setEscaper(QObject* escaper)
{
    if (escaper != m_document->escaper()) {
        m_document->setEscaper(escaper);
        emit pageChanged();
    }
}

QVariantList LayoutModel::selection() const
{
    return toVariantList(m_selection);
}

QVariantMap LayoutModel::single() const
{
    return m_selection.size() == 1 ? recordOf(m_selection.first()) : QVariantMap();
}

// ---- document ------------------------------------------------------------------------------

bool LayoutModel::load(const QJsonObject& layout)
{
    QString problem;
    if (!LayoutCheck::isLoadable(layout, &problem)) {
        qDebug() << "Layout cannot be edited:" << problem;
        return false;
    }
    QList<LayoutObject> objects;
    for (const QVariant& record : LayoutDocument::editorRecords(layout)) {
        LayoutObject object;
        if (LayoutObject::fromRecord(record.toMap(), &object))
            objects.append(object);
    }
    beginResetModel();
    m_objects = objects;
    m_selection.clear();
    placeFollowers();
    endResetModel();
    m_history->reset(records());
    m_pastes = 0;
    contentChanged();
    return true;
}

bool LayoutModel::loadText(const QString& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (!document.isObject()) {
        qDebug() << "Layout text is no JSON object:" << error.errorString();
        return false;
    }
    return load(document.object());
}

QString LayoutModel::text(const QVariantMap& sheet) const
{
    return m_document->layoutText(sheet, records());
}

QVariantList LayoutModel::records() const
{
    QVariantList list;
    for (const LayoutObject& object : m_objects)
        list.append(object.record());
    return list;
}

QVariantMap LayoutModel::recordOf(int id) const
{
    const LayoutObject* object = find(id);
    return object ? object->record() : QVariantMap();
}

int LayoutModel::rowOf(int id) const
{
    return indexOf(id);
}

QVariantList LayoutModel::objectsOutside() const
{
    return LayoutDocument::objectsOutsidePage(records(), m_width, m_height);
}

// ---- changes -------------------------------------------------------------------------------

int LayoutModel::addNew(const QString& type)
{
    LayoutObject::Kind kind;
    if (!LayoutObject::kindOf(type, &kind)) {
        qDebug() << "No object type" << type;
        return -1;
    }
    // Sizes a new object starts with; the kind's other keys come from the layout's key tables.
    QJsonObject object{{QStringLiteral("type"), type}, {QStringLiteral("x"), 0}, {QStringLiteral("y"), 0}};
    switch (kind) {
    case LayoutObject::Kind::Text:
        object.insert(QStringLiteral("width"), 240);
        object.insert(QStringLiteral("height"), 40);
        object.insert(QStringLiteral("unformattedString"), QString());
        object.insert(QStringLiteral("elide"), QStringLiteral("Right"));
        break;
    case LayoutObject::Kind::Barcode:
        object.insert(QStringLiteral("width"), 400);
        object.insert(QStringLiteral("height"), 120);
        object.insert(QStringLiteral("contentOrder"), QString());
        break;
    case LayoutObject::Kind::Image:
        object.insert(QStringLiteral("width"), 200);
        object.insert(QStringLiteral("height"), 100);
        break;
    }
    object.insert(QStringLiteral("x"), object.value(QStringLiteral("width")).toInt() / 2);
    object.insert(QStringLiteral("y"), object.value(QStringLiteral("height")).toInt() / 2);
    const QVariantList defaults =
        LayoutDocument::editorRecords(QJsonObject{{QStringLiteral("objects"), QJsonArray{object}}});
    if (defaults.isEmpty())
        return -1;
    QVariantMap record = defaults.first().toMap();
    record.insert(QStringLiteral("item_id"), LayoutDocument::firstFreeId(usedIds()));
    const QList<int> ids = insert({record});
    if (ids.isEmpty())
        return -1;
    placeInFreeSpace(ids.first());
    m_selection = ids;
    selectionChanged();
    return ids.first();
}

bool LayoutModel::updateObject(int id, const QVariantMap& record)
{
    LayoutObject* object = find(id);
    QVariantMap changed = record;
    changed.insert(QStringLiteral("item_id"), id);
    normaliseAttachText(&changed);
    LayoutObject updated;
    if (!object || !LayoutObject::fromRecord(changed, &updated))
        return false;
    *object = updated;
    placeFollowers();
    contentChanged();
    return true;
}

void LayoutModel::removeObject(int id)
{
    const LayoutObject* object = find(id);
    if (!object)
        return;
    const int follower = object->kind == LayoutObject::Kind::Barcode
                             ? object->properties.value(QStringLiteral("textobjectid"), -1).toInt()
                             : -1;
    if (object->isFollower()) {
        LayoutObject* leader = find(object->followItem);
        if (leader && leader->kind == LayoutObject::Kind::Barcode) {
            leader->properties.insert(QStringLiteral("attachText"), false);
            leader->properties.insert(QStringLiteral("textobjectid"), -1);
        }
    }
    const int row = indexOf(id);
    beginRemoveRows(QModelIndex(), row, row);
    m_objects.removeAt(row);
    endRemoveRows();
    m_selection.removeAll(id);
    if (follower >= 0 && follower != id)
        removeObject(follower);
    contentChanged();
    selectionChanged();
}

void LayoutModel::placeInFreeSpace(int id)
{
    if (!find(id))
        return;
    const QList<int> group = QList<int>{id} + followersOf(id);
    QVariantList groupRecords;
    QVariantList others;
    for (const LayoutObject& object : m_objects)
        (group.contains(object.id) ? groupRecords : others).append(object.record());
    const QVariantMap shift = LayoutGeometry::freePlace(groupRecords, others, m_width, m_height, m_grid);
    moveBy(group, QPointF(shift.value(QStringLiteral("dx")).toDouble(),
                          shift.value(QStringLiteral("dy")).toDouble()));
    placeFollowers();
    contentChanged();
}

void LayoutModel::syncHumanReadable(int barcodeId)
{
    LayoutObject* barcode = find(barcodeId);
    if (!barcode || barcode->kind != LayoutObject::Kind::Barcode)
        return;
    const QString contents = barcode->properties.value(QStringLiteral("contentOrder")).toString();
    const int followerId = barcode->properties.value(QStringLiteral("textobjectid"), -1).toInt();
    LayoutObject* follower = find(followerId);
    if (!barcode->properties.value(QStringLiteral("attachText")).toBool() || contents.isEmpty()) {
        barcode->properties.insert(QStringLiteral("textobjectid"), -1);
        if (follower) {
            // The text goes, the barcode stays as it is now.
            follower->followItem = -1;
            removeObject(followerId);
        }
        contentChanged();
        return;
    }
    const QString text = LayoutDocument::humanReadableText(
        contents, barcode->properties.value(QStringLiteral("prefixString")).toString());
    if (!follower) {
        const QJsonObject object{{QStringLiteral("type"), kText},
                                 {QStringLiteral("x"), barcode->x.units()},
                                 {QStringLiteral("y"), barcode->y.units()},
                                 {QStringLiteral("width"), barcode->width.units()},
                                 {QStringLiteral("height"), 32},
                                 {QStringLiteral("unformattedString"), text},
                                 {QStringLiteral("item_id"), LayoutDocument::firstFreeId(usedIds())}};
        const QVariantList defaults =
            LayoutDocument::editorRecords(QJsonObject{{QStringLiteral("objects"), QJsonArray{object}}});
        const QList<int> added = insert(defaults);
        if (added.isEmpty()) {
            qDebug() << "Barcode failed to create humanreadable text...";
            return;
        }
        follower = find(added.first());
        barcode = find(barcodeId);
    }
    follower->followItem = barcodeId;
    follower->followLocation = QStringLiteral("below");
    follower->properties.insert(QStringLiteral("alignment"), QStringLiteral("Center"));
    follower->properties.insert(QStringLiteral("elide"), QStringLiteral("None"));
    follower->properties.insert(QStringLiteral("unformattedString"), text);
    barcode->properties.insert(QStringLiteral("textobjectid"), follower->id);
    placeFollowers();
    contentChanged();
}

bool LayoutModel::commit(const QString& description, const QString& mergeKey)
{
    return m_history->commit(records(), description, mergeKey);
}

// ---- selection -----------------------------------------------------------------------------

void LayoutModel::select(int id, bool additive)
{
    if (!additive)
        m_selection = find(id) ? QList<int>{id} : QList<int>{};
    else if (m_selection.contains(id))
        m_selection.removeAll(id);
    else if (find(id))
        m_selection.append(id);
    selectionChanged();
}

void LayoutModel::setSelection(const QVariantList& ids)
{
    m_selection.clear();
    for (const QVariant& id : ids) {
        if (find(id.toInt()) && !m_selection.contains(id.toInt()))
            m_selection.append(id.toInt());
    }
    selectionChanged();
}

void LayoutModel::clearSelection()
{
    m_selection.clear();
    selectionChanged();
}

bool LayoutModel::isSelected(int id) const
{
    return m_selection.contains(id);
}

void LayoutModel::selectInRect(const QRectF& rect)
{
    m_selection.clear();
    for (const LayoutObject& object : m_objects) {
        if (object.bounds().intersects(rect.normalized()))
            m_selection.append(object.id);
    }
    selectionChanged();
}

void LayoutModel::stepSelection(bool forward)
{
    if (m_objects.isEmpty())
        return;
    const int current = m_selection.isEmpty() ? -1 : indexOf(m_selection.last());
    const int count = m_objects.size();
    const int next = current < 0 ? (forward ? 0 : count - 1) : (current + (forward ? 1 : count - 1)) % count;
    m_selection = {m_objects.at(next).id};
    selectionChanged();
}

// ---- gestures ------------------------------------------------------------------------------

void LayoutModel::beginDrag(int id)
{
    const LayoutObject* object = find(id);
    m_dragStarts.clear();
    m_dragAnchor = -1;
    if (!object)
        return;
    m_dragAnchor = object->isFollower() && find(object->followItem) ? object->followItem : id;
    QList<int> moving = movingIds();
    if (!moving.contains(m_dragAnchor))
        moving.append(m_dragAnchor);
    for (const int movingId : moving)
        m_dragStarts.insert(movingId, find(movingId)->centre());
}

void LayoutModel::dragBy(double dx, double dy, bool free)
{
    const LayoutObject* anchor = find(m_dragAnchor);
    if (!anchor)
        return;
    QPointF delta(dx, dy);
    if (!free) {
        // The grabbed object snaps; the others keep their distance to it.
        QRectF box = anchor->bounds();
        box.translate(m_dragStarts.value(m_dragAnchor) + delta - anchor->centre());
        const double grid = m_snapToGrid ? m_grid : 0;
        delta += LayoutGeometry::snapOffset(box, snapTargets(m_dragStarts.keys()), grid, m_snapReach);
    }
    for (auto start = m_dragStarts.cbegin(); start != m_dragStarts.cend(); ++start) {
        if (LayoutObject* object = find(start.key()))
            object->moveCentreTo(start.value() + delta);
    }
    placeFollowers();
    contentChanged();
}

void LayoutModel::endDrag()
{
    m_dragStarts.clear();
    m_dragAnchor = -1;
    commit(tr("Move"));
}

void LayoutModel::resizeTo(int id, double width, double height, bool keepTopLeft, bool free)
{
    LayoutObject* object = find(id);
    if (!object)
        return;
    const QRectF before = object->bounds();
    if (!free) {
        const double grid = m_snapToGrid ? m_grid : 0;
        if (object->rotation == 0) {
            // The dragged right and bottom edges snap; the top left corner stays.
            const QList<QRectF> targets = snapTargets({id});
            if (!qFuzzyCompare(width, double(object->width.units())))
                width += LayoutGeometry::snapEdge(before.left() + width, Qt::Horizontal, targets, grid,
                                                  m_snapReach);
            if (!qFuzzyCompare(height, double(object->height.units())))
                height +=
                    LayoutGeometry::snapEdge(before.top() + height, Qt::Vertical, targets, grid, m_snapReach);
        } else if (grid >= 1) {
            width = qRound(width / grid) * grid;
            height = qRound(height / grid) * grid;
        }
    }
    const int newWidth = qMax(kMinimumSideUnits, qRound(width));
    const int newHeight = qMax(kMinimumSideUnits, qRound(height));
    if (keepTopLeft) {
        const double dw = newWidth - object->width.units();
        const double dh = newHeight - object->height.units();
        const double angle = qDegreesToRadians(double(object->rotation));
        object->moveCentreTo(object->centre() + QPointF(dw / 2 * qCos(angle) - dh / 2 * qSin(angle),
                                                        dw / 2 * qSin(angle) + dh / 2 * qCos(angle)));
    }
    object->width = LayoutLength(newWidth);
    object->height = LayoutLength(newHeight);
    placeFollowers();
    contentChanged();
}

void LayoutModel::nudge(int dx, int dy)
{
    const QList<int> moving = movingIds();
    if (moving.isEmpty())
        return;
    moveBy(moving, QPointF(dx, dy));
    placeFollowers();
    contentChanged();
    QStringList ids;
    for (const int id : moving)
        ids.append(QString::number(id));
    commit(tr("Move"), QStringLiteral("nudge ") + ids.join(QLatin1Char(',')));
}

void LayoutModel::removeSelection()
{
    const QList<int> doomed = m_selection;
    for (const int id : doomed)
        removeObject(id);
    commit(tr("Delete"));
}

void LayoutModel::setGeometry(const QString& field, double units)
{
    if (m_selection.size() != 1)
        return;
    LayoutObject* object = find(m_selection.first());
    if (field == QLatin1String("width") || field == QLatin1String("height"))
        units = qMax(double(kMinimumSideUnits), units);
    const QVariantMap changed = LayoutGeometry::withGeometry(object->record(), field, units);
    object->width = LayoutLength(qRound(changed.value(QStringLiteral("width")).toDouble()));
    object->height = LayoutLength(qRound(changed.value(QStringLiteral("height")).toDouble()));
    if (!object->isFollower())
        object->moveCentreTo(QPointF(changed.value(QStringLiteral("x")).toDouble(),
                                     changed.value(QStringLiteral("y")).toDouble()));
    placeFollowers();
    contentChanged();
    commit(field == QLatin1String("width") || field == QLatin1String("height") ? tr("Resize") : tr("Move"));
}

void LayoutModel::rotateSelectionBy(int degrees)
{
    for (const int id : movingIds()) {
        LayoutObject* object = find(id);
        object->rotation = LayoutObject::normalisedRotation(object->rotation + degrees);
    }
    placeFollowers();
    contentChanged();
    commit(tr("Rotate"));
}

void LayoutModel::setRotation(int degrees)
{
    for (const int id : movingIds())
        find(id)->rotation = LayoutObject::normalisedRotation(degrees);
    placeFollowers();
    contentChanged();
    commit(tr("Rotate"));
}

void LayoutModel::align(const QString& how)
{
    const QList<int> moving = movingIds();
    if (moving.isEmpty())
        return;
    QVariantList groups;
    for (const int id : moving) {
        QVariantMap group = find(id)->record();
        QVariantList followers;
        for (const int follower : followersOf(id))
            followers.append(find(follower)->record());
        group.insert(QStringLiteral("followers"), followers);
        groups.append(group);
    }
    for (const QVariant& value : LayoutGeometry::aligned(groups, how, m_width, m_height)) {
        const QVariantMap shift = value.toMap();
        moveBy({shift.value(QStringLiteral("item_id")).toInt()},
               QPointF(shift.value(QStringLiteral("dx")).toDouble(),
                       shift.value(QStringLiteral("dy")).toDouble()));
    }
    placeFollowers();
    contentChanged();
    commit(how == QLatin1String("horizontal") || how == QLatin1String("vertical") ? tr("Distribute")
                                                                                  : tr("Align"));
}

void LayoutModel::bringToFront(int id)
{
    if (!find(id))
        return;
    // Rows are moved, not rebuilt, so the canvas keeps its items.
    for (const int moved : stackingOrder(QList<int>{id} + followersOf(id))) {
        const int row = indexOf(moved);
        const int last = m_objects.size() - 1;
        if (row == last)
            continue;
        beginMoveRows(QModelIndex(), row, row, QModelIndex(), last + 1);
        m_objects.move(row, last);
        endMoveRows();
    }
    contentChanged();
    commit(tr("Bring to front"));
}

void LayoutModel::sendToBack(int id)
{
    if (!find(id))
        return;
    const QList<int> moved = stackingOrder(QList<int>{id} + followersOf(id));
    for (int target = 0; target < moved.size(); ++target) {
        const int row = indexOf(moved.at(target));
        if (row == target)
            continue;
        beginMoveRows(QModelIndex(), row, row, QModelIndex(), target);
        m_objects.move(row, target);
        endMoveRows();
    }
    contentChanged();
    commit(tr("Send to back"));
}

int LayoutModel::copySelection()
{
    QVariantList chosen;
    for (const LayoutObject& object : m_objects) {
        if (m_selection.contains(object.id))
            chosen.append(object.record());
    }
    m_pastes = 0;
    return chosen.isEmpty() ? 0 : m_clipboard->copy(chosen, records());
}

QVariantList LayoutModel::paste()
{
    const QList<int> ids = insert(m_clipboard->paste(usedIds()));
    if (ids.isEmpty())
        return {};
    placeGroup(ids, ++m_pastes);
    m_selection = ids;
    selectionChanged();
    commit(tr("Paste"));
    return toVariantList(ids);
}

QVariantList LayoutModel::duplicateSelection()
{
    QVariantList chosen;
    for (const LayoutObject& object : m_objects) {
        if (m_selection.contains(object.id))
            chosen.append(object.record());
    }
    if (chosen.isEmpty())
        return {};
    const QList<int> ids = insert(ObjectClipboard::duplicates(chosen, records(), usedIds()));
    placeGroup(ids, 1);
    m_selection = ids;
    selectionChanged();
    commit(tr("Duplicate"));
    return toVariantList(ids);
}

void LayoutModel::undo()
{
    if (m_history->canUndo())
        restore(m_history->undo());
}

void LayoutModel::redo()
{
    if (m_history->canRedo())
        restore(m_history->redo());
}

// ---- helpers -------------------------------------------------------------------------------

int LayoutModel::indexOf(int id) const
{
    for (int i = 0; i < m_objects.size(); ++i) {
        if (m_objects.at(i).id == id)
            return i;
    }
    return -1;
}

LayoutObject* LayoutModel::find(int id)
{
    const int row = indexOf(id);
    return row < 0 ? nullptr : &m_objects[row];
}

const LayoutObject* LayoutModel::find(int id) const
{
    const int row = indexOf(id);
    return row < 0 ? nullptr : &m_objects.at(row);
}

QVariantList LayoutModel::usedIds() const
{
    QVariantList ids;
    for (const LayoutObject& object : m_objects)
        ids.append(object.id);
    return ids;
}

QList<int> LayoutModel::movingIds() const
{
    QList<int> ids;
    for (const int id : m_selection) {
        const LayoutObject* object = find(id);
        const int leader =
            object && object->isFollower() && find(object->followItem) ? object->followItem : id;
        if (object && !ids.contains(leader))
            ids.append(leader);
    }
    return ids;
}

QList<int> LayoutModel::stackingOrder(const QList<int>& ids) const
{
    QList<int> ordered;
    for (const LayoutObject& object : m_objects) {
        if (ids.contains(object.id))
            ordered.append(object.id);
    }
    return ordered;
}

QList<int> LayoutModel::followersOf(int id) const
{
    QList<int> ids;
    for (const LayoutObject& object : m_objects) {
        if (object.followItem == id && object.id != id)
            ids.append(object.id);
    }
    return ids;
}

QList<QRectF> LayoutModel::snapTargets(const QList<int>& moving) const
{
    QList<QRectF> targets{QRectF(0, 0, m_width, m_height)};
    for (const LayoutObject& object : m_objects) {
        if (!moving.contains(object.id) && !moving.contains(object.followItem))
            targets.append(object.bounds());
    }
    return targets;
}

void LayoutModel::placeFollowers()
{
    for (LayoutObject& follower : m_objects) {
        const LayoutObject* leader = follower.isFollower() ? find(follower.followItem) : nullptr;
        if (!leader || leader == &follower)
            continue;
        const double sign = follower.followLocation == QLatin1String("above") ? -1 : 1;
        const double distance = sign * (leader->height.units() / 2.0 + follower.height.units() / 2.0);
        const double angle = qDegreesToRadians(double(leader->rotation));
        follower.moveCentreTo(leader->centre() + QPointF(-distance * qSin(angle), distance * qCos(angle)));
        follower.rotation = leader->rotation;
    }
}

QList<int> LayoutModel::insert(const QVariantList& records)
{
    QList<LayoutObject> added;
    for (const QVariant& value : records) {
        QVariantMap record = value.toMap();
        normaliseAttachText(&record);
        LayoutObject object;
        if (LayoutObject::fromRecord(record, &object))
            added.append(object);
    }
    if (added.isEmpty())
        return {};
    beginInsertRows(QModelIndex(), m_objects.size(), m_objects.size() + added.size() - 1);
    m_objects.append(added);
    endInsertRows();
    placeFollowers();
    contentChanged();
    QList<int> ids;
    for (const LayoutObject& object : added)
        ids.append(object.id);
    return ids;
}

void LayoutModel::placeGroup(const QList<int>& ids, int attempt)
{
    QVariantList group;
    QVariantList others;
    for (const LayoutObject& object : m_objects)
        (ids.contains(object.id) ? group : others).append(object.record());
    const QRectF box = LayoutGeometry::boundingBox(group);
    const QVariantMap shift = LayoutGeometry::freePlace(group, others, m_width, m_height, m_grid);
    if (shift.value(QStringLiteral("clear")).toBool()) {
        moveBy(ids, QPointF(shift.value(QStringLiteral("dx")).toDouble(),
                            shift.value(QStringLiteral("dy")).toDouble()));
    } else {
        // No room: the copies sit one offset from their source (they carry that offset already),
        // pulled inside the label; where that puts them back on the source, the other way.
        const QPointF offset(ObjectClipboard::kOffset * attempt, ObjectClipboard::kOffset * attempt);
        const QRectF source = box.translated(-offset);
        const auto inside = [&](const QRectF& rect) {
            const double dx = qMax(0.0, -rect.left()) - qMax(0.0, rect.right() - m_width);
            const double dy = qMax(0.0, -rect.top()) - qMax(0.0, rect.bottom() - m_height);
            return rect.translated(box.width() > m_width ? -rect.left() : dx,
                                   box.height() > m_height ? -rect.top() : dy);
        };
        QRectF placed = inside(box);
        if (placed.topLeft() == source.topLeft())
            placed = inside(source.translated(-offset));
        moveBy(ids, placed.topLeft() - box.topLeft());
    }
    placeFollowers();
    contentChanged();
}

void LayoutModel::moveBy(const QList<int>& ids, const QPointF& delta)
{
    for (const int id : ids) {
        if (LayoutObject* object = find(id))
            object->moveCentreTo(object->centre() + delta);
    }
}

void LayoutModel::restore(const QVariantList& records)
{
    QList<LayoutObject> objects;
    for (const QVariant& record : records) {
        LayoutObject object;
        if (LayoutObject::fromRecord(record.toMap(), &object))
            objects.append(object);
    }
    bool sameRows = objects.size() == m_objects.size();
    for (int i = 0; sameRows && i < objects.size(); ++i)
        sameRows = objects.at(i).id == m_objects.at(i).id;
    // The same objects in the same order keep their delegates; otherwise the canvas is rebuilt.
    if (!sameRows)
        beginResetModel();
    m_objects = objects;
    if (!sameRows)
        endResetModel();
    QList<int> kept;
    for (const int id : qAsConst(m_selection)) {
        if (find(id))
            kept.append(id);
    }
    m_selection = kept;
    contentChanged();
    selectionChanged();
}

void LayoutModel::contentChanged()
{
    if (!m_objects.isEmpty())
        emit dataChanged(index(0), index(m_objects.size() - 1), {RecordRole, FollowerRole});
    emit changed();
}

void LayoutModel::selectionChanged()
{
    if (!m_objects.isEmpty())
        emit dataChanged(index(0), index(m_objects.size() - 1), {SelectedRole});
    emit changed();
}
