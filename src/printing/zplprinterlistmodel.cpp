#include "printing/zplprinterlistmodel.h"

#include "settings/settingsmanager.h"

ZplPrinterListModel::ZplPrinterListModel(QObject* parent) : QAbstractListModel(parent)
{
    reload();
}

void ZplPrinterListModel::reload()
{
    beginResetModel();
    m_printers = ZplPrinters::read(SettingsManager::instance());
    endResetModel();
    emit countChanged();
}

QVariantMap ZplPrinterListModel::printer(int row) const
{
    return row >= 0 && row < m_printers.size() ? m_printers.at(row).toMap() : ZplPrinterConfig().toMap();
}

QString ZplPrinterListModel::save(const QVariantMap& printer, const QString& previousName)
{
    QString error;
    if (!ZplPrinters::write(SettingsManager::instance(), ZplPrinterConfig::fromMap(printer), previousName,
                            &error))
        return error;
    reload();
    emit printersChanged();
    return QString();
}

bool ZplPrinterListModel::remove(const QString& name)
{
    if (!ZplPrinters::remove(SettingsManager::instance(), name))
        return false;
    reload();
    emit printersChanged();
    return true;
}

int ZplPrinterListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_printers.size();
}

QVariant ZplPrinterListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_printers.size())
        return QVariant();
    const QVariantMap map = m_printers.at(index.row()).toMap();
    const QHash<int, QByteArray> names = roleNames();
    return role == Qt::DisplayRole ? map.value(QStringLiteral("name"))
                                   : map.value(QString::fromLatin1(names.value(role)));
}

QHash<int, QByteArray> ZplPrinterListModel::roleNames() const
{
    return {{NameRole, "name"},           {AddressRole, "address"}, {DpiRole, "dpi"},
            {DarknessRole, "darkness"},   {SpeedRole, "speed"},     {OffsetLeftRole, "offsetLeft"},
            {OffsetTopRole, "offsetTop"}, {MediaRole, "media"}};
}
