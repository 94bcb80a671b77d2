#pragma once
// The custom fields a station defines (names only), offered to the layout editor's text and barcode
// dialogs. Device fields and report fields are two models over two settings groups.

#include <QObject>
#include <QStringList>
#include <QVariantList>

class SettingsManager;

class CustomFieldModel : public QObject
{
    Q_OBJECT
public:
    // `group` is the global settings group whose keys are the field names.
    CustomFieldModel(const QString& group, SettingsManager* settings, QObject* parent = nullptr);

    // Numbers 0..n-1 of the defined fields.
    Q_INVOKABLE QVariantList getFieldNumbers() const;
    // Name of field `number`; empty when there is none.
    Q_INVOKABLE QString getField(int number) const;
    Q_INVOKABLE void addField(const QString& name);
    Q_INVOKABLE void removeField(const QString& name);

    static constexpr const char* kDeviceFieldsGroup = "DeviceCustomFields";
    static constexpr const char* kFieldsGroup = "CustomFields";

signals:
    void fieldsChanged();

private:
    QStringList names() const;

    QString m_group;
    SettingsManager* m_settings;
};
