#include "report/device.h"

#include "report/devicestates.h"

Device::Device(QObject* parent) : QObject(parent)
{
    for (int i = 0; i < kIdentifierSlots; ++i)
        m_identifiers.append(QString());
}

int Device::setState(int state)
{
    switch (state) {
    case Connected:
    case ErasureSuccessful:
    case ErasureFailed:
    case Blacklisted:
        m_state = state;
        break;
    default:
        m_state = Connected;
    }
    return m_state;
}

QString Device::description() const
{
    return QStringLiteral("DUMMY");
}

QString Device::identifier(int slot) const
{
    if (slot < 0 || slot >= kIdentifierSlots || slot >= m_identifiers.size())
        return QString();
    return m_identifiers.at(slot);
}

void Device::setIdentifier(int slot, const QString& value)
{
    if (slot < 0 || slot >= kIdentifierSlots)
        return;
    while (m_identifiers.size() <= slot)
        m_identifiers.append(QString());
    m_identifiers[slot] = value;
}

int Device::simStatus() const
{
    if (m_info.simInfoPresent == 0)
        return SimStatus::NoInformation;
    const QVector<SimCard>& cards = m_info.simCards;
    if (cards.isEmpty())
        return SimStatus::NoCards;
    if (cards.size() == 1)
        return cards.first().present ? SimStatus::Inserted : SimStatus::NotInserted;
    return cards.at(0).present || cards.at(1).present ? SimStatus::InsertedOfTwo : SimStatus::NotInserted;
}

int Device::diagnosticsStatus() const
{
    if (m_info.diagnosticsState == DiagnosticsStatus::NotDiagnosed ||
        m_info.diagnosticsState == DiagnosticsStatus::Failed)
        return m_info.diagnosticsState;
    // Otherwise the worst result code among the tests ("=0" failed, "=1" passed, "=2" not performed).
    const QString& results = m_info.diagnosticsResults;
    if (results.contains(QLatin1String("=0")))
        return DiagnosticsStatus::TestsFailed;
    if (results.contains(QLatin1String("=1")) || results.isEmpty())
        return DiagnosticsStatus::Passed;
    if (results.contains(QLatin1String("=2")))
        return DiagnosticsStatus::NotPerformed;
    return DiagnosticsStatus::TestsFailed;
}
