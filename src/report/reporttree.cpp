#include "report/reporttree.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtDebug>

#include <algorithm>

namespace {

// The prefixes a path may use without declaring them: the XML namespace and the usual schema and
// function namespaces. Any other prefix makes the path unusable.
QString prefixNamespace(const QStringRef& prefix)
{
    if (prefix == QLatin1String("xml"))
        return QStringLiteral("http://www.w3.org/XML/1998/namespace");
    if (prefix == QLatin1String("xs"))
        return QStringLiteral("http://www.w3.org/2001/XMLSchema");
    if (prefix == QLatin1String("xsi"))
        return QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");
    if (prefix == QLatin1String("fn"))
        return QStringLiteral("http://www.w3.org/2005/xpath-functions");
    if (prefix == QLatin1String("local"))
        return QStringLiteral("http://www.w3.org/2005/xquery-local-functions");
    return QString();
}

void sortUnique(QVector<int>* nodes)
{
    std::sort(nodes->begin(), nodes->end());
    nodes->erase(std::unique(nodes->begin(), nodes->end()), nodes->end());
}

} // namespace

int ReportTree::intern(const QString& text)
{
    const auto it = m_strings.constFind(text);
    if (it != m_strings.constEnd())
        return it.value();
    const int id = m_strings.size();
    m_strings.insert(text, id);
    m_names.append(text);
    return id;
}

int ReportTree::intern(const QStringRef& text, QHash<uint, int>* seen)
{
    // Names repeat on every element: found by their hash without making a string of them first.
    if (text.isEmpty())
        return 0;
    const uint hash = qHash(text);
    const auto it = seen->constFind(hash);
    if (it != seen->constEnd() && m_names.at(it.value()) == text)
        return it.value();
    const int id = intern(text.toString());
    if (it == seen->constEnd())
        seen->insert(hash, id);
    return id;
}

bool ReportTree::build(const QString& xml, int maxDepth, bool* tooDeep, QString* error, qint64* errorLine)
{
    *this = ReportTree();
    if (tooDeep)
        *tooDeep = false;
    intern(QString()); // 0: no namespace
    // About one node per two dozen characters in reports; growing there copied the table many times.
    m_nodes.reserve(xml.size() / 24 + 16);
    m_text.reserve(xml.size() / 4);
    QHash<uint, int> seen;
    m_nodes.append(Node());
    QVector<int> open = {0};
    int lastText = -1; // adjacent text, CDATA and references make one text node
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (open.size() > maxDepth) {
                *this = ReportTree();
                if (tooDeep)
                    *tooDeep = true;
                return false;
            }
            const int element = m_nodes.size();
            Node node;
            node.kind = Element;
            node.parent = open.last();
            node.localName = intern(reader.name(), &seen);
            node.namespaceUri = intern(reader.namespaceUri(), &seen);
            node.textBegin = m_text.size();
            m_nodes.append(node);
            const QXmlStreamAttributes attributes = reader.attributes();
            for (const QXmlStreamAttribute& attribute : attributes) {
                Node item;
                item.kind = Attribute;
                item.parent = element;
                item.end = m_nodes.size() + 1;
                item.localName = intern(attribute.name(), &seen);
                item.namespaceUri = intern(attribute.namespaceUri(), &seen);
                item.value = m_values.size();
                m_values.append(attribute.value().toString());
                if (attribute.name() == QLatin1String("name") && attribute.namespaceUri().isEmpty())
                    m_nodes[element].value = item.value;
                m_nodes.append(item);
            }
            const Node& added = m_nodes.at(element);
            if (added.value >= 0 && added.namespaceUri == 0) {
                if (reader.name() == QLatin1String("entries"))
                    m_sectionNames.insert(m_values.at(added.value));
                else if (reader.name() == QLatin1String("entry"))
                    m_entryNames.insert(m_values.at(added.value));
            }
            open.append(element);
            lastText = -1;
            break;
        }
        case QXmlStreamReader::EndElement: {
            Node& node = m_nodes[open.takeLast()];
            node.end = m_nodes.size();
            node.textEnd = m_text.size();
            lastText = -1;
            break;
        }
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference: {
            // Text outside the document element (the line breaks around it) is no node.
            const QStringRef text = reader.text();
            if (open.size() == 1 || text.isEmpty())
                break;
            if (lastText < 0) {
                lastText = m_nodes.size();
                Node node;
                node.kind = Text;
                node.parent = open.last();
                node.end = lastText + 1;
                node.textBegin = m_text.size();
                m_nodes.append(node);
            }
            m_text.append(text);
            m_nodes[lastText].textEnd = m_text.size();
            break;
        }
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction: {
            Node node;
            node.kind = reader.tokenType() == QXmlStreamReader::Comment ? Comment : Instruction;
            node.parent = open.last();
            node.end = m_nodes.size() + 1;
            node.value = m_values.size();
            m_values.append(node.kind == Comment ? reader.text().toString()
                                                 : reader.processingInstructionData().toString());
            m_nodes.append(node);
            lastText = -1;
            break;
        }
        default:
            break;
        }
    }
    if (reader.hasError()) {
        qDebug() << "ReportTree: the report is not readable:" << reader.errorString() << "at line"
                 << reader.lineNumber();
        if (error)
            *error = reader.errorString();
        if (errorLine)
            *errorLine = reader.lineNumber();
        *this = ReportTree();
        return false;
    }
    m_nodes[0].end = m_nodes.size();
    m_nodes[0].textEnd = m_text.size();
    m_entriesName = m_strings.value(QStringLiteral("entries"), -1);
    m_entryName = m_strings.value(QStringLiteral("entry"), -1);
    return true;
}

bool ReportTree::parseNameTest(const QString& part, Step* step) const
{
    // Element or attribute names and the plain axis steps only: functions, predicates or operators
    // in a label's text could reach outside the report.
    static const QRegularExpression plain(
        QStringLiteral("^(@?)(?:(?:([A-Za-z_][A-Za-z0-9_.\\-]*):)?([A-Za-z_][A-Za-z0-9_.\\-]*)|(\\*)|(\\.\\.?"
                       ")|(text\\(\\)))$"));
    const QRegularExpressionMatch match = plain.match(part);
    if (!match.hasMatch())
        return false;
    const bool attribute = match.capturedLength(1) > 0;
    if (attribute && (match.capturedLength(5) > 0 || match.capturedLength(6) > 0))
        return false;
    if (match.capturedLength(4) > 0) {
        step->kind = attribute ? StepKind::AnyAttribute : StepKind::AnyElement;
    } else if (match.capturedLength(5) > 0) {
        step->kind = match.capturedLength(5) == 1 ? StepKind::Self : StepKind::Parent;
    } else if (match.capturedLength(6) > 0) {
        step->kind = StepKind::TextNodes;
    } else {
        step->kind = attribute ? StepKind::AttributeName : StepKind::Name;
        QString uri;
        if (match.capturedLength(2) > 0) {
            uri = prefixNamespace(match.capturedRef(2));
            if (uri.isEmpty())
                return false;
        }
        step->localName = m_strings.value(match.captured(3), -1);
        step->namespaceUri = m_strings.value(uri, -1);
        step->known = step->localName >= 0 && step->namespaceUri >= 0;
    }
    return true;
}

bool ReportTree::parseSteps(const QString& path, QVector<Step>* steps) const
{
    // Parts join with "/": an empty part adds a "/" to the one before it, so it is the root or a "//"
    // step, never a nameless section or entry. The path starts with "/" or "//", steps are separated
    // by "/" or "//", and a last "/" asks for everything below.
    const QStringList parts = path.split(QLatin1Char('/'));
    int slashes = 0;
    bool first = true;
    for (int i = 0; i <= parts.size(); ++i) {
        const bool last = i == parts.size();
        if (!last && parts.at(i).isEmpty()) {
            ++slashes;
            continue;
        }
        if (!first)
            ++slashes;
        if (slashes < 1 || slashes > 2) {
            qDebug() << "ReportTree::query: no result for" << path;
            return false;
        }
        Step step;
        step.descendants = slashes == 2;
        if (last) {
            step.kind = StepKind::Self;
        } else {
            const QString& part = parts.at(i);
            if (m_sectionNames.contains(part)) {
                step.kind = StepKind::Section;
                step.entryName = part;
            } else if (m_entryNames.contains(part)) {
                step.kind = StepKind::Entry;
                step.entryName = part;
            } else if (!parseNameTest(part, &step)) {
                qDebug() << "ReportTree::query: refused path" << path;
                return false;
            }
        }
        steps->append(step);
        first = false;
        slashes = 0;
    }
    return true;
}

bool ReportTree::matches(int index, const Step& step) const
{
    const Node& node = m_nodes.at(index);
    switch (step.kind) {
    case StepKind::Name:
        return node.kind == Element && node.localName == step.localName &&
               node.namespaceUri == step.namespaceUri;
    case StepKind::AnyElement:
        return node.kind == Element;
    case StepKind::AttributeName:
        return node.kind == Attribute && node.localName == step.localName &&
               node.namespaceUri == step.namespaceUri;
    case StepKind::AnyAttribute:
        return node.kind == Attribute;
    case StepKind::TextNodes:
        return node.kind == Text;
    case StepKind::Section:
    case StepKind::Entry:
        return node.kind == Element && node.namespaceUri == 0 && node.value >= 0 &&
               node.localName == (step.kind == StepKind::Section ? m_entriesName : m_entryName) &&
               m_values.at(node.value) == step.entryName;
    case StepKind::Self:
    case StepKind::Parent:
        break;
    }
    return true;
}

void ReportTree::apply(const Step& step, const QVector<int>& context, QVector<int>* result) const
{
    QVector<int> base;
    if (step.descendants) {
        // Each node with everything inside it; attributes are inside no node's descendants.
        int covered = -1;
        for (const int node : context) {
            if (m_nodes.at(node).kind == Attribute) {
                base.append(node);
                continue;
            }
            if (node < covered)
                continue;
            covered = m_nodes.at(node).end;
            for (int inside = node; inside < covered; ++inside) {
                if (m_nodes.at(inside).kind != Attribute)
                    base.append(inside);
            }
        }
        sortUnique(&base);
    } else {
        base = context;
    }

    for (const int node : base) {
        const Node& at = m_nodes.at(node);
        switch (step.kind) {
        case StepKind::Self:
            result->append(node);
            break;
        case StepKind::Parent:
            if (at.parent >= 0)
                result->append(at.parent);
            break;
        case StepKind::AttributeName:
        case StepKind::AnyAttribute:
            for (int child = node + 1; child < at.end && m_nodes.at(child).kind == Attribute; ++child) {
                if (matches(child, step))
                    result->append(child);
            }
            break;
        default:
            for (int child = node + 1; child < at.end; child = m_nodes.at(child).end) {
                if (m_nodes.at(child).kind != Attribute && matches(child, step))
                    result->append(child);
            }
            break;
        }
    }
    sortUnique(result);
}

QString ReportTree::stringValue(int index) const
{
    const Node& node = m_nodes.at(index);
    if (node.kind == Attribute || node.kind == Comment || node.kind == Instruction)
        return m_values.at(node.value);
    return m_text.mid(node.textBegin, node.textEnd - node.textBegin);
}

int ReportTree::nameId(const QString& name) const
{
    return m_strings.value(name, -1);
}

bool ReportTree::isElementNamed(int node, int name) const
{
    const Node& item = m_nodes.at(node);
    return item.kind == Element && item.namespaceUri == 0 && (name < 0 || item.localName == name);
}

int ReportTree::nextElementFrom(int node, int parent, int end, int name) const
{
    // Each node's `end` is where its next sibling (or the parent's end) starts.
    for (int i = node; i < end; i = m_nodes.at(i).end) {
        if (m_nodes.at(i).parent == parent && isElementNamed(i, name))
            return i;
    }
    return -1;
}

QVector<int> ReportTree::elementsNamed(const QString& name) const
{
    QVector<int> found;
    const int id = nameId(name);
    if (id < 0)
        return found;
    for (int i = 1; i < m_nodes.size(); ++i) {
        if (isElementNamed(i, id))
            found.append(i);
    }
    return found;
}

int ReportTree::firstChildElement(int element, const QString& name) const
{
    if (element < 0 || element >= m_nodes.size())
        return -1;
    const int id = name.isEmpty() ? -1 : nameId(name);
    if (!name.isEmpty() && id < 0)
        return -1;
    return nextElementFrom(element + 1, element, m_nodes.at(element).end, id);
}

int ReportTree::nextSiblingElement(int element, const QString& name) const
{
    if (element <= 0 || element >= m_nodes.size())
        return -1;
    const int id = name.isEmpty() ? -1 : nameId(name);
    if (!name.isEmpty() && id < 0)
        return -1;
    const int parent = m_nodes.at(element).parent;
    return nextElementFrom(m_nodes.at(element).end, parent, m_nodes.at(parent).end, id);
}

QString ReportTree::attribute(int element, const QString& name) const
{
    if (element < 0 || element >= m_nodes.size())
        return QString();
    const int id = nameId(name);
    for (int i = element + 1; id >= 0 && i < m_nodes.size() && m_nodes.at(i).kind == Attribute; ++i) {
        if (m_nodes.at(i).localName == id && m_nodes.at(i).namespaceUri == 0)
            return m_values.at(m_nodes.at(i).value);
    }
    return QString();
}

QString ReportTree::text(int element) const
{
    if (element < 0 || element >= m_nodes.size())
        return QString();
    QString result;
    const int end = m_nodes.at(element).end;
    for (int i = element + 1; i < end; ++i) {
        const Node& node = m_nodes.at(i);
        if (node.kind != Text)
            continue;
        const QStringRef part = m_text.midRef(node.textBegin, node.textEnd - node.textBegin);
        // Parsers drop text that is only white space (a no-break space included) between tags.
        if (!part.trimmed().isEmpty())
            result += part;
    }
    return result;
}

QStringList ReportTree::query(const QString& path) const
{
    if (m_nodes.isEmpty())
        return QStringList();
    QVector<Step> steps;
    if (!parseSteps(path, &steps))
        return QStringList();
    QVector<int> context = {0};
    for (const Step& step : steps) {
        if (!step.known)
            return QStringList();
        QVector<int> next;
        apply(step, context, &next);
        context.swap(next);
        if (context.isEmpty())
            return QStringList();
    }
    QStringList values;
    values.reserve(context.size());
    for (const int node : context)
        values.append(stringValue(node));
    return values;
}
