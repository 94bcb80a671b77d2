#include "report/device.h"

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
        return -1;
    const QVector<SimCard>& cards = m_info.simCards;
    if (cards.isEmpty())
        return 0;
    if (cards.size() == 1)
        return cards.first().present ? 2 : 1;
    return cards.at(0).present || cards.at(1).present ? 3 : 1;
}

int Device::diagnosticsStatus() const
{
    if (m_info.diagnosticsState == 0 || m_info.diagnosticsState == 1)
        return m_info.diagnosticsState;
    const QString& results = m_info.diagnosticsResults;
    if (results.contains(QLatin1String("=0")))
        return 4;
    if (results.contains(QLatin1String("=1")) || results.isEmpty())
        return 2;
    if (results.contains(QLatin1String("=2")))
        return 3;
    return 4;
}
