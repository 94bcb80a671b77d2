#include "shared/customfieldmodel.h"

#include "settings/settingsmanager.h"

CustomFieldModel::CustomFieldModel(const QString& group, SettingsManager* settings, QObject* parent)
    : QObject(parent), m_group(group), m_settings(settings)
{}

QStringList CustomFieldModel::names() const
{
    return m_settings ? m_settings->keysOfGroup(m_group, true) : QStringList();
}

QVariantList CustomFieldModel::getFieldNumbers() const
{
    QVariantList numbers;
    const int count = names().size();
    for (int i = 0; i < count; ++i)
        numbers.append(i);
    return numbers;
}

QString CustomFieldModel::getField(int number) const
{
    return names().value(number);
}

void CustomFieldModel::addField(const QString& name)
{
    if (!m_settings || name.trimmed().isEmpty() || name.contains(QLatin1Char('/')))
        return;
    m_settings->setValueOfGroup(m_group, name.trimmed(), true, true);
    emit fieldsChanged();
}

void CustomFieldModel::removeField(const QString& name)
{
    if (!m_settings || name.isEmpty())
        return;
    m_settings->removeValueOfGroup(m_group, name, true);
    emit fieldsChanged();
}
