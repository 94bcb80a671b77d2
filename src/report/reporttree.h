#pragma once
// A report's XML as a light, read-only node table, read once when the report is bound, that answers
// the "/"-separated path queries of labels and the printed-reports log without reading the text again.
// Safe to query from several threads at once.

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <vector>

class ReportTree
{
public:
    // Reads the text; false when it is not well-formed XML (the tree is then empty) or nests deeper
    // than `maxDepth` elements (*tooDeep is then set).
    // On a text that is not well-formed, *error and *errorLine say where it broke.
    bool build(const QString& xml, int maxDepth, bool* tooDeep = nullptr, QString* error = nullptr,
               qint64* errorLine = nullptr);
    // The two readers behind build. The quick one reads the plain XML that reports are written in
    // (no document type, namespaces, other entities or carriage returns) and declines anything else,
    // well-formed or not, leaving it to the full reader (Qt's), which also names what is wrong.
    // Both give the same tree for whatever the quick one reads.
    bool buildQuickly(const QString& xml, int maxDepth);
    // Reports as the console sends them, UTF-8, read as they are; the same tree as from their text.
    bool build(const QByteArray& utf8, int maxDepth, bool* tooDeep = nullptr, QString* error = nullptr,
               qint64* errorLine = nullptr);
    bool buildQuickly(const QByteArray& utf8, int maxDepth);
    bool buildFully(const QString& xml, int maxDepth, bool* tooDeep = nullptr, QString* error = nullptr,
                    qint64* errorLine = nullptr);
    bool operator==(const ReportTree& other) const;

    // String values of the nodes a path selects, in document order. Path parts are element names,
    // "@attribute", "*", "@*", ".", "..", "text()", or the name of a section ("entries") or entry of
    // the report, which stands for that element; an empty part is the root or a "//" step. A path
    // that is not of this form selects nothing.
    QStringList query(const QString& path) const;

    // Walking the elements to read a report's known fields. An element is a node index; -1 is none.
    // Names are local names outside any namespace, as reports write them.
    // Every element of that name, in document order.
    QVector<int> elementsNamed(const QString& name) const;
    // The first child element (of that name, when one is given) and the next one after `element`.
    int firstChildElement(int element, const QString& name = QString()) const;
    int nextSiblingElement(int element, const QString& name = QString()) const;
    QString attribute(int element, const QString& name) const;
    // The text inside the element, its descendants' included; text that is only white space between
    // tags does not count.
    QString text(int element) const;
    // The element's parent element (-1 for the document element) and one past its last node: the
    // nodes inside it are those before that.
    int parentElement(int element) const;
    int endOf(int element) const;
    // Its own name, and its "name" attribute or its own name when that is missing or empty.
    QString tag(int element) const;
    QString nameOrTag(int element) const;
    // The text of its own text children, its child elements' text left out.
    QString ownText(int element) const;

private:
    enum Kind : quint8
    {
        Document,
        Element,
        Attribute,
        Text,
        Comment,
        Instruction
    };
    // Nodes are stored in document order; an element's attributes follow it, then its children.
    struct Node
    {
        Kind kind = Document;
        int parent = -1;
        int end = 0;        // one past the last node inside this one
        int localName = -1; // interned, for elements and attributes
        int namespaceUri = 0;
        // The node's text: in m_text for document, element and text nodes, in m_valueText for
        // attributes, comments and instructions.
        int textBegin = 0;
        int textEnd = 0;
        int value = -1;     // an element's "name" attribute node
        int nextNamed = -1; // the next element of the same name outside any namespace
        bool operator==(const Node& o) const
        {
            return kind == o.kind && parent == o.parent && end == o.end && localName == o.localName &&
                   namespaceUri == o.namespaceUri && textBegin == o.textBegin && textEnd == o.textEnd &&
                   value == o.value && nextNamed == o.nextNamed;
        }
    };
    // The node table. A plain vector: QVector's append was a call per node, a visible part of
    // reading a large report.
    class NodeTable
    {
    public:
        void reserve(int count) { m_items.reserve(size_t(count)); }
        void append(const Node& node) { m_items.push_back(node); }
        int size() const { return int(m_items.size()); }
        bool isEmpty() const { return m_items.empty(); }
        const Node& at(int i) const { return m_items[size_t(i)]; }
        Node& operator[](int i) { return m_items[size_t(i)]; }
        Node* data() { return m_items.data(); }
        bool operator==(const NodeTable& other) const { return m_items == other.m_items; }

    private:
        std::vector<Node> m_items;
    };
    enum class StepKind
    {
        Name,
        AnyElement,
        AttributeName,
        AnyAttribute,
        Self,
        Parent,
        TextNodes,
        Section,
        Entry
    };
    struct Step
    {
        bool descendants = false; // preceded by "//"
        StepKind kind = StepKind::Name;
        int localName = -1;
        int namespaceUri = 0;
        QString entryName; // Section, Entry
        bool known = true; // false: a name this report does not have, which matches nothing
    };

    void begin(int expectedLength, int expectedNodes = -1);
    void finish();
    void addLeaf(Kind kind, int parent, int localName, int namespaceUri, const QStringRef& value);
    QStringRef valueOf(int node) const;
    void collectNames(int elementName, QVector<int>* table) const;
    bool namedIn(const QVector<int>& table, const QString& name) const;
    // The tables of names hash and compare the units as they stand.
    static uint hashOf(const QChar* text, int length);
    bool valueIs(int node, const QChar* text, int length) const;
    int intern(const QString& text);
    int intern(const QStringRef& text, QHash<uint, int>* seen);
    struct NameCache;
    template <typename Unit> int intern(const Unit* name, int length, NameCache* cache);
    // The quick reader over UTF-16 units or UTF-8 bytes.
    template <typename Unit> bool readQuickly(const Unit* units, int length, int maxDepth);
    bool parseSteps(const QString& path, QVector<Step>* steps) const;
    bool parseNameTest(const QString& part, Step* step) const;
    bool matches(int node, const Step& step) const;
    void apply(const Step& step, const QVector<int>& context, QVector<int>* result) const;
    // A "//" step to elements of one name: their chain, instead of every node below the context.
    bool applyToNamed(const Step& step, const QVector<int>& context, QVector<int>* result) const;
    QString stringValue(int node) const;
    int nameId(const QString& name) const;
    bool isElementNamed(int node, int name) const;
    int nextElementFrom(int node, int parent, int end, int name) const;

    NodeTable m_nodes;
    QString m_text;
    QString m_valueText;
    QHash<QString, int> m_strings;
    QStringList m_names; // by id
    // The names of the report's sections ("entries") and entries, as tables of their attribute nodes.
    QVector<int> m_sectionNames;
    QVector<int> m_entryNames;
    QVector<int> m_firstNamed; // by name: the first element of the chain through `nextNamed`
    int m_entriesName = -1;
    int m_entryName = -1;
};
