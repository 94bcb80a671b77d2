#include "reportpathindex.h"

namespace {

// Key part of one element: sections and entries are addressed by their name attribute.
QString keyPart(const QDomElement& element)
{
    const QString tag = element.tagName();
    if (tag == QLatin1String("entries") && element.hasAttribute(QStringLiteral("name")))
        return QLatin1String("s:") + element.attribute(QStringLiteral("name"));
    if (tag == QLatin1String("entry") && element.hasAttribute(QStringLiteral("name")))
        return QLatin1String("e:") + element.attribute(QStringLiteral("name"));
    return QLatin1String("t:") + tag;
}

} // namespace

void ReportPathIndex::build(const QDomElement& report)
{
    m_values.clear();
    m_sectionNames.clear();
    m_entryNames.clear();

    // Iterative walk: generated and posted reports can nest deeply.
    struct Frame
    {
        QDomElement element;
        QString key;
    };
    QVector<Frame> stack;
    for (QDomElement child = report.lastChildElement(); !child.isNull();
         child = child.previousSiblingElement())
        stack.append({child, keyPart(child)});

    while (!stack.isEmpty()) {
        const Frame frame = stack.takeLast();
        const QDomElement& element = frame.element;
        if (element.tagName() == QLatin1String("entries"))
            m_sectionNames.insert(element.attribute(QStringLiteral("name")));
        else if (element.tagName() == QLatin1String("entry"))
            m_entryNames.insert(element.attribute(QStringLiteral("name")));

        if (element.firstChildElement().isNull()) {
            m_values[frame.key].append(element.text());
            continue;
        }
        for (QDomElement child = element.lastChildElement(); !child.isNull();
             child = child.previousSiblingElement())
            stack.append({child, frame.key + QLatin1Char('/') + keyPart(child)});
    }
}

QStringList ReportPathIndex::values(const QString& dottedPath) const
{
    const QStringList parts = dottedPath.split(QLatin1Char('.'));
    QStringList keyParts;
    keyParts.reserve(parts.size());
    for (const QString& part : parts) {
        if (m_sectionNames.contains(part))
            keyParts.append(QLatin1String("s:") + part);
        else if (m_entryNames.contains(part))
            keyParts.append(QLatin1String("e:") + part);
        else
            keyParts.append(QLatin1String("t:") + part);
    }
    return m_values.value(keyParts.join(QLatin1Char('/')));
}
