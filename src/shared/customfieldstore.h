#pragma once
// Process-wide store of the station's custom fields (name to value), read by label tags.

#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

class CustomFieldStore
{
public:
    static CustomFieldStore* instance();

    // The value of a field; found tells whether the store knows the name at all, since a known
    // field may hold an empty value.
    QString value(const QString& name, bool* found = nullptr) const;
    bool contains(const QString& name) const;
    void setValue(const QString& name, const QString& value);
    void remove(const QString& name);
    void clear();
    QStringList names() const;

private:
    CustomFieldStore() = default;

    mutable QMutex m_lock;
    QMap<QString, QString> m_fields;
};
