#include "shared/customfieldstore.h"

#include <QMutexLocker>

CustomFieldStore* CustomFieldStore::instance()
{
    static CustomFieldStore store;
    return &store;
}

QString CustomFieldStore::value(const QString& name, bool* found) const
{
    QMutexLocker locker(&m_lock);
    const auto it = m_fields.constFind(name);
    if (found)
        *found = it != m_fields.constEnd();
    return it != m_fields.constEnd() ? it.value() : QString();
}

bool CustomFieldStore::contains(const QString& name) const
{
    QMutexLocker locker(&m_lock);
    return m_fields.contains(name);
}

void CustomFieldStore::setValue(const QString& name, const QString& value)
{
    QMutexLocker locker(&m_lock);
    m_fields.insert(name, value);
}

void CustomFieldStore::remove(const QString& name)
{
    QMutexLocker locker(&m_lock);
    m_fields.remove(name);
}

void CustomFieldStore::clear()
{
    QMutexLocker locker(&m_lock);
    m_fields.clear();
}

QStringList CustomFieldStore::names() const
{
    QMutexLocker locker(&m_lock);
    return m_fields.keys();
}
