#pragma once
// The diagnostics tests a station knows, as the layout editor lists them per device type.

#include <QObject>
#include <QStringList>

class SettingsManager;

class Diagnostics : public QObject
{
    Q_OBJECT
public:
    explicit Diagnostics(SettingsManager* settings, QObject* parent = nullptr);

    // Test names for a device type; every type offers the same built-in tests here.
    Q_INVOKABLE QStringList getAllTests(const QString& deviceType = QString()) const;

private:
    SettingsManager* m_settings;
};
