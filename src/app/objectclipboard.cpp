#include "app/objectclipboard.h"

#include "app/layoutdocument.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMimeData>

const char* const ObjectClipboard::kMimeType = "application/x-labelprinter-objects";

namespace {

const QString kId = QStringLiteral("item_id");
const QString kFollowItem = QStringLiteral("followItem");

QClipboard* systemClipboard()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard()
                                                                        : nullptr;
}

int idOf(const QVariant& record)
{
    const QVariant id = record.toMap().value(kId);
    return id.isValid() ? id.toInt() : -1;
}

} // namespace

ObjectClipboard::ObjectClipboard(QObject* parent) : QObject(parent)
{
    if (QClipboard* clipboard = systemClipboard())
        connect(clipboard, &QClipboard::dataChanged, this, [this] {
            // A new copy starts its pastes at one offset again.
            m_pastes = 0;
            emit canPasteChanged();
        });
}

bool ObjectClipboard::canPaste() const
{
    const QClipboard* clipboard = systemClipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    return data && data->hasFormat(QLatin1String(kMimeType));
}

QVariantList ObjectClipboard::withFollowers(const QVariantList& chosen, const QVariantList& all)
{
    QVariantList records = chosen;
    QList<int> ids;
    for (const QVariant& record : chosen)
        ids.append(idOf(record));
    // Followers of followers too, though the canvas makes only one level today.
    for (bool grew = true; grew;) {
        grew = false;
        for (const QVariant& record : all) {
            const int id = idOf(record);
            const int leader = record.toMap().value(kFollowItem, -1).toInt();
            if (leader >= 0 && ids.contains(leader) && !ids.contains(id)) {
                ids.append(id);
                records.append(record);
                grew = true;
            }
        }
    }
    return records;
}

QVariantList ObjectClipboard::renumbered(const QVariantList& records, const QVariantList& usedIds, int offset)
{
    QVariantList taken = usedIds;
    QHash<int, int> newIds;
    for (const QVariant& record : records) {
        const int id = LayoutDocument::firstFreeId(taken);
        taken.append(id);
        newIds.insert(idOf(record), id);
    }
    const auto link = [&](const QVariantMap& record, const QString& key) {
        const int old = record.value(key, -1).toInt();
        return old >= 0 && newIds.contains(old) ? newIds.value(old) : -1;
    };

    QVariantList copies;
    for (const QVariant& value : records) {
        QVariantMap record = value.toMap();
        record.insert(kId, newIds.value(idOf(value)));
        record.insert(QStringLiteral("x"), record.value(QStringLiteral("x")).toDouble() + offset);
        record.insert(QStringLiteral("y"), record.value(QStringLiteral("y")).toDouble() + offset);
        const int leader = link(record, kFollowItem);
        record.insert(kFollowItem, leader);
        if (leader < 0)
            record.insert(QStringLiteral("followLocation"), QString());
        if (record.contains(QStringLiteral("textobjectid"))) {
            const int text = link(record, QStringLiteral("textobjectid"));
            record.insert(QStringLiteral("textobjectid"), text);
            // A barcode copied without its text has none: it would otherwise point at nothing.
            if (text < 0)
                record.insert(QStringLiteral("attachText"), QStringLiteral("false"));
        }
        if (record.contains(QStringLiteral("boundObject")))
            record.insert(QStringLiteral("boundObject"), link(record, QStringLiteral("boundObject")));
        copies.append(record);
    }
    return copies;
}

int ObjectClipboard::copy(const QVariantList& chosen, const QVariantList& all)
{
    QClipboard* clipboard = systemClipboard();
    const QVariantList records = withFollowers(chosen, all);
    if (!clipboard || records.isEmpty())
        return 0;
    auto* data = new QMimeData;
    data->setData(QLatin1String(kMimeType),
                  QJsonDocument(QJsonArray::fromVariantList(records)).toJson(QJsonDocument::Compact));
    clipboard->setMimeData(data);
    m_pastes = 0;
    emit canPasteChanged();
    return records.size();
}

QVariantList ObjectClipboard::paste(const QVariantList& usedIds)
{
    const QClipboard* clipboard = systemClipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data || !data->hasFormat(QLatin1String(kMimeType)))
        return {};
    const QVariantList records =
        QJsonDocument::fromJson(data->data(QLatin1String(kMimeType))).array().toVariantList();
    ++m_pastes;
    return renumbered(records, usedIds, kOffset * m_pastes);
}

QVariantList ObjectClipboard::duplicates(const QVariantList& chosen, const QVariantList& all,
                                         const QVariantList& usedIds)
{
    return renumbered(withFollowers(chosen, all), usedIds, kOffset);
}
