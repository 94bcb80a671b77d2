#include "zplformat.h"

#include "zplgraphic.h"

namespace {

QPoint pointParam(const QByteArray& params)
{
    const QList<QByteArray> fields = params.split(',');
    return QPoint(fields.value(0).trimmed().toInt(), fields.value(1).trimmed().toInt());
}

} // namespace

qint64 ZplFormat::bytes() const
{
    return m_commands.isEmpty() ? 0 : m_commands.last().end - m_commands.first().start;
}

QList<ZplFormat::Graphic> ZplFormat::graphics(QStringList* errors) const
{
    QList<Graphic> graphics;
    QPoint origin;
    bool fromBottom = false;
    for (const ZplCommand& command : m_commands) {
        if (command.is("^FO") || command.is("^FT")) {
            origin = pointParam(command.params);
            fromBottom = command.is("^FT");
        } else if (command.is("^GF")) {
            QString error;
            const QImage image = ZplGraphic::decode(command.params, &error);
            if (image.isNull()) {
                errors->append(error);
                continue;
            }
            graphics.append({fromBottom ? origin - QPoint(0, image.height()) : origin, image});
        }
    }
    return graphics;
}

int ZplFormat::quantity() const
{
    int quantity = 1;
    for (const ZplCommand& command : m_commands) {
        if (!command.is("^PQ"))
            continue;
        bool ok = false;
        const int value = command.params.split(',').value(0).trimmed().toInt(&ok);
        if (ok && value > 0)
            quantity = qMin(value, kMaxQuantity);
    }
    return quantity;
}

QStringList ZplFormat::summaries() const
{
    QStringList list;
    for (const ZplCommand& command : m_commands)
        list.append(command.summary());
    return list;
}
