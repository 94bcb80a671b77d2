#include "shared/diagnostics.h"

#include "shared/diagnosticstestcatalogue.h"

Diagnostics::Diagnostics(SettingsManager* settings, QObject* parent) : QObject(parent), m_settings(settings)
{}

QStringList Diagnostics::getAllTests(const QString& deviceType) const
{
    Q_UNUSED(deviceType)
    return DiagnosticsTestCatalogue().testNames();
}
