#include "cataloguefields.h"

#include <QStringList>

#include <cstring>

namespace {

struct Field
{
    const char* path;
    const char* type;
    const char* kinds;
    const char* values; // "|"-separated sample values, or empty
};

const Field fields[] = {
#include "catalogue_fields.inc"
};

QDomElement child(QDomElement parent, const QString& tag, const QString& name = QString())
{
    for (QDomElement e = parent.firstChildElement(tag); !e.isNull(); e = e.nextSiblingElement(tag)) {
        if (name.isEmpty() || e.attribute(QStringLiteral("name")) == name)
            return e;
    }
    QDomElement created = parent.ownerDocument().createElement(tag);
    if (!name.isEmpty())
        created.setAttribute(QStringLiteral("name"), name);
    parent.appendChild(created);
    return created;
}

QString randomText(const std::function<int(int, int)>& draw, int count, const char* alphabet)
{
    const int size = int(qstrlen(alphabet));
    QString text;
    for (int i = 0; i < count; ++i)
        text += QLatin1Char(alphabet[draw(0, size - 1)]);
    return text;
}

// A plausible value from the field's name when the catalogue gives no samples.
QString valueFor(const QString& name, const QString& type, const std::function<int(int, int)>& draw)
{
    if (type == QLatin1String("uint")) {
        if (name.contains(QLatin1String("capacity")) || name.contains(QLatin1String("size")) ||
            name.contains(QLatin1String("bytes")) || name.contains(QLatin1String("total")))
            return QString::number(qint64(draw(1, 64)) * 16000000000LL);
        if (name.contains(QLatin1String("percentage")) || name.contains(QLatin1String("health")) ||
            name.contains(QLatin1String("level")) || name.contains(QLatin1String("life")))
            return QString::number(draw(60, 100));
        return QString::number(draw(0, 4000));
    }
    if (name.contains(QLatin1String("serial")) || name.endsWith(QLatin1String("_id")) ||
        name.contains(QLatin1String("tag")) || name.contains(QLatin1String("number")))
        return randomText(draw, 10, "ABCDEFGHJKLMNPQRSTUVWXYZ0123456789");
    if (name.contains(QLatin1String("mac")) || name == QLatin1String("wwn") ||
        name == QLatin1String("sas_address")) {
        QStringList bytes;
        for (int i = 0; i < 6; ++i)
            bytes.append(randomText(draw, 2, "0123456789abcdef"));
        return bytes.join(QLatin1Char(':'));
    }
    if (name.contains(QLatin1String("ip")) || name == QLatin1String("gateway") ||
        name == QLatin1String("dns_server"))
        return QStringLiteral("192.168.%1.%2").arg(draw(0, 20)).arg(draw(2, 250));
    if (name.contains(QLatin1String("date")) || name.contains(QLatin1String("time")) ||
        name == QLatin1String("started") || name == QLatin1String("ended"))
        return QStringLiteral("2026-%1-%2T%3:%4:00+01:00")
            .arg(draw(1, 12), 2, 10, QLatin1Char('0'))
            .arg(draw(1, 28), 2, 10, QLatin1Char('0'))
            .arg(draw(7, 18), 2, 10, QLatin1Char('0'))
            .arg(draw(0, 59), 2, 10, QLatin1Char('0'));
    if (name.contains(QLatin1String("version")) || name.contains(QLatin1String("firmware")) ||
        name.contains(QLatin1String("release")) || name.contains(QLatin1String("build")))
        return QStringLiteral("%1.%2.%3").arg(draw(1, 12)).arg(draw(0, 9)).arg(draw(0, 30));
    QString words = name;
    words.replace(QLatin1Char('_'), QLatin1Char(' '));
    words[0] = words[0].toUpper();
    return QStringLiteral("%1 %2").arg(words).arg(draw(100, 999));
}

} // namespace

void CatalogueFields::add(QDomDocument& report, char kind, const std::function<int(int, int)>& draw,
                          double share)
{
    QDomElement root = report.documentElement();
    for (const Field& field : fields) {
        if (!std::strchr(field.kinds, kind))
            continue;
        if (draw(0, 999) >= int(share * 1000))
            continue;
        const QStringList parts = QString::fromLatin1(field.path).split(QLatin1Char('.'));
        // korvex_data.<part of the report>.sections....entry and user_data.sections....entry
        const int elements = parts.first() == QLatin1String("korvex_data") ? 2 : 1;
        QDomElement node = root;
        for (int i = 0; i < elements; ++i)
            node = child(node, parts.at(i));
        for (int i = elements; i < parts.size() - 1; ++i)
            node = child(node, QStringLiteral("entries"), parts.at(i));
        const QString name = parts.last();
        bool present = false;
        for (QDomElement e = node.firstChildElement(QStringLiteral("entry")); !e.isNull();
             e = e.nextSiblingElement(QStringLiteral("entry")))
            present = present || e.attribute(QStringLiteral("name")) == name;
        if (present)
            continue;
        const QString type = QString::fromLatin1(field.type);
        const QStringList samples =
            QString::fromUtf8(field.values).split(QLatin1Char('|'), Qt::SkipEmptyParts);
        QDomElement entry = report.createElement(QStringLiteral("entry"));
        entry.setAttribute(QStringLiteral("name"), name);
        entry.setAttribute(QStringLiteral("type"), type);
        entry.appendChild(report.createTextNode(samples.isEmpty() ? valueFor(name, type, draw)
                                                                  : samples.at(draw(0, samples.size() - 1))));
        node.appendChild(entry);
    }
}

int CatalogueFields::fieldCount(char kind)
{
    int count = 0;
    for (const Field& field : fields)
        count += std::strchr(field.kinds, kind) ? 1 : 0;
    return count;
}
