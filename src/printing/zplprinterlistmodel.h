#pragma once
// The ZPL label printers for the settings panel: listed, added, changed and removed there; a
// change is checked and stored at once in the global settings.

#include <QAbstractListModel>
#include <QVariantMap>

#include "printing/zplprinters.h"

class ZplPrinterListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ rowCount NOTIFY countChanged)
public:
    enum Roles
    {
        NameRole = Qt::UserRole + 1,
        AddressRole,
        DpiRole,
        DarknessRole,
        SpeedRole,
        OffsetLeftRole,
        OffsetTopRole,
        MediaRole
    };

    explicit ZplPrinterListModel(QObject* parent = nullptr);

    // The printer of a row in the panel's form ("name", "address", "dpi", "darkness", "speed",
    // "offsetLeft", "offsetTop", "media"); a new printer's defaults for a row outside the list.
    Q_INVOKABLE QVariantMap printer(int row) const;
    // Stores `printer` (a new one, or the one called `previousName`); the reason when it was not
    // stored, else empty.
    Q_INVOKABLE QString save(const QVariantMap& printer, const QString& previousName);
    Q_INVOKABLE bool remove(const QString& name);
    // Reads the list again from the settings.
    Q_INVOKABLE void reload();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void countChanged();
    // The list of printers a job can choose changed.
    void printersChanged();

private:
    QList<ZplPrinterConfig> m_printers;
};
