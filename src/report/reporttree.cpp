#include "report/reporttree.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtDebug>

#include <algorithm>
#include <cstring>
#include <limits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

void ReportTree::begin(int expectedLength, int expectedNodes)
{
    *this = ReportTree();
    intern(QString()); // 0: no namespace
    // Growing the table copied it many times: about one node per two dozen characters in reports,
    // unless the caller knows better.
    m_nodes.reserve(expectedNodes >= 0 ? expectedNodes : expectedLength / 24 + 16);
    // Room for all text: pages the text does not reach are never touched, while growing it copied
    // all of it into fresh pages again.
    m_text.reserve(expectedLength);
    m_valueText.reserve(expectedLength / 4);
    m_nodes.append(Node());
}

void ReportTree::finish()
{
    m_nodes[0].end = m_nodes.size();
    m_nodes[0].textEnd = m_text.size();
    // Reports are read by element name again and again: each name's elements are chained once here.
    m_firstNamed.fill(-1, m_names.size());
    QVector<int> lastNamed(m_names.size(), -1);
    Node* nodes = m_nodes.data();
    for (int i = 1; i < m_nodes.size(); ++i) {
        const Node& node = nodes[i];
        if (node.kind != Element || node.namespaceUri != 0)
            continue;
        const int last = lastNamed.at(node.localName);
        if (last < 0)
            m_firstNamed[node.localName] = i;
        else
            nodes[last].nextNamed = i;
        lastNamed[node.localName] = i;
    }
    m_entriesName = m_strings.value(QStringLiteral("entries"), -1);
    m_entryName = m_strings.value(QStringLiteral("entry"), -1);
    collectNames(m_entriesName, &m_sectionNames);
    collectNames(m_entryName, &m_entryNames);
}

bool ReportTree::build(const QString& xml, int maxDepth, bool* tooDeep, QString* error, qint64* errorLine)
{
    if (tooDeep)
        *tooDeep = false;
    if (buildQuickly(xml, maxDepth))
        return true;
    return buildFully(xml, maxDepth, tooDeep, error, errorLine);
}

bool ReportTree::build(const QByteArray& utf8, int maxDepth, bool* tooDeep, QString* error, qint64* errorLine)
{
    if (tooDeep)
        *tooDeep = false;
    // Read where it stands: no text of twice its size first.
    if (buildQuickly(utf8, maxDepth))
        return true;
    return build(QString::fromUtf8(utf8.constData(), utf8.size()), maxDepth, tooDeep, error, errorLine);
}

bool ReportTree::operator==(const ReportTree& other) const
{
    return m_nodes == other.m_nodes && m_text == other.m_text && m_valueText == other.m_valueText &&
           m_names == other.m_names && m_entriesName == other.m_entriesName &&
           m_entryName == other.m_entryName;
}

void ReportTree::addLeaf(Kind kind, int parent, int localName, int namespaceUri, const QStringRef& value)
{
    Node item;
    item.kind = kind;
    item.parent = parent;
    item.end = m_nodes.size() + 1;
    item.localName = localName;
    item.namespaceUri = namespaceUri;
    // Values share one text instead of a string each: reports hold thousands of them.
    item.textBegin = m_valueText.size();
    m_valueText.append(value);
    item.textEnd = m_valueText.size();
    m_nodes.append(item);
}

QStringRef ReportTree::valueOf(int node) const
{
    const Node& item = m_nodes.at(node);
    return m_valueText.midRef(item.textBegin, item.textEnd - item.textBegin);
}

uint ReportTree::hashOf(const QChar* text, int length)
{
    return uint(qHashBits(text, size_t(length) * sizeof(QChar)));
}

bool ReportTree::valueIs(int node, const QChar* text, int length) const
{
    const Node& item = m_nodes.at(node);
    return item.textEnd - item.textBegin == length &&
           std::memcmp(m_valueText.constData() + item.textBegin, text, size_t(length) * sizeof(QChar)) == 0;
}

void ReportTree::collectNames(int elementName, QVector<int>* table) const
{
    // An open-addressed table of the "name" attribute nodes of these elements, by their value.
    QVector<int> named;
    for (int i = elementName >= 0 ? m_firstNamed.at(elementName) : -1; i >= 0; i = m_nodes.at(i).nextNamed) {
        if (m_nodes.at(i).value >= 0)
            named.append(m_nodes.at(i).value);
    }
    int size = 16;
    while (size < 2 * named.size())
        size *= 2;
    table->fill(-1, size);
    int* cells = table->data();
    for (const int attribute : qAsConst(named)) {
        const Node& node = m_nodes.at(attribute);
        const QChar* value = m_valueText.constData() + node.textBegin;
        const int length = node.textEnd - node.textBegin;
        for (int slot = int(hashOf(value, length) & uint(size - 1));; slot = (slot + 1) & (size - 1)) {
            const int taken = cells[slot];
            if (taken < 0) {
                cells[slot] = attribute;
                break;
            }
            if (valueIs(taken, value, length))
                break;
        }
    }
}

bool ReportTree::namedIn(const QVector<int>& table, const QString& name) const
{
    if (table.isEmpty())
        return false;
    const int mask = table.size() - 1;
    for (int slot = int(hashOf(name.constData(), name.size()) & uint(mask));; slot = (slot + 1) & mask) {
        const int taken = table.at(slot);
        if (taken < 0)
            return false;
        if (valueIs(taken, name.constData(), name.size()))
            return true;
    }
}

namespace {

bool isNameStart(uint c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool isNameChar(uint c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool isBlank(uint c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

// Where the first of the code units `a`, `b`, `c` stands in [from, n), or n. Reports are mostly
// long runs of text between a few markup characters, so this looks at a block of units at a time.
int findFirstOf(const ushort* d, int from, int n, ushort a, ushort b, ushort c)
{
    int i = from;
#ifdef __SSE2__
    const __m128i wantA = _mm_set1_epi16(short(a));
    const __m128i wantB = _mm_set1_epi16(short(b));
    const __m128i wantC = _mm_set1_epi16(short(c));
    for (; i + 8 <= n; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, wantA), _mm_cmpeq_epi16(units, wantB)),
                         _mm_cmpeq_epi16(units, wantC));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0)
            return i + __builtin_ctz(uint(mask)) / 2;
    }
#endif
    for (; i < n; ++i) {
        if (d[i] == a || d[i] == b || d[i] == c)
            return i;
    }
    return n;
}

// The same over UTF-8, for ASCII `a`, `b`, `c`: they never occur inside a longer character.
int findFirstOf(const uchar* d, int from, int n, uchar a, uchar b, uchar c)
{
    int i = from;
#ifdef __SSE2__
    const __m128i wantA = _mm_set1_epi8(char(a));
    const __m128i wantB = _mm_set1_epi8(char(b));
    const __m128i wantC = _mm_set1_epi8(char(c));
    for (; i + 16 <= n; i += 16) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(units, wantA), _mm_cmpeq_epi8(units, wantB)),
                         _mm_cmpeq_epi8(units, wantC));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0)
            return i + __builtin_ctz(uint(mask));
    }
#endif
    for (; i < n; ++i) {
        if (d[i] == a || d[i] == b || d[i] == c)
            return i;
    }
    return n;
}

// Characters the quick reader passes on as they are: no carriage return (line ends would need
// normalising), no control character, no lone surrogate, no non-character. Bounds the nodes to
// expect on the way: two for each "<" (a tag and the text after it) and one for each "=" (an
// attribute).
bool onlyPlainCharacters(const ushort* d, int n, int* markup)
{
    int i = 0;
    qint64 count = 0;
#ifdef __SSE2__
    // Blocks of eight units from space up to the surrogates, tabs and line feeds pass at once.
    const __m128i space = _mm_set1_epi16(0x20);
    const __m128i aboveRange = _mm_set1_epi16(short(0xD800 - 0x20 - 1));
    const __m128i tab = _mm_set1_epi16('\t');
    const __m128i lineFeed = _mm_set1_epi16('\n');
    const __m128i less = _mm_set1_epi16('<');
    const __m128i equals = _mm_set1_epi16('=');
    // Marks are counted per lane (a mark is all ones: subtracting it adds one) and summed before a
    // lane can overflow; a bit count per block was a library call without the popcnt instruction.
    __m128i lanes = _mm_setzero_si128();
    int blocks = 0;
    const auto sumLanes = [&lanes, &blocks, &count] {
        alignas(16) ushort sums[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(sums), lanes);
        for (const ushort sum : sums)
            count += sum;
        lanes = _mm_setzero_si128();
        blocks = 0;
    };
    for (; i + 8 <= n; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        // Zero where the unit lies in [0x20, 0xD800): its distance from space does not exceed the range.
        const __m128i over = _mm_subs_epu16(_mm_sub_epi16(units, space), aboveRange);
        const __m128i plain =
            _mm_or_si128(_mm_cmpeq_epi16(over, _mm_setzero_si128()),
                         _mm_or_si128(_mm_cmpeq_epi16(units, tab), _mm_cmpeq_epi16(units, lineFeed)));
        if (_mm_movemask_epi8(plain) != 0xFFFF)
            break; // this block is looked at one unit at a time
        const __m128i tags = _mm_cmpeq_epi16(units, less);
        lanes =
            _mm_sub_epi16(_mm_sub_epi16(_mm_sub_epi16(lanes, tags), tags), _mm_cmpeq_epi16(units, equals));
        if (++blocks == 0x7FFF)
            sumLanes();
    }
    sumLanes();
#endif
    for (; i < n; ++i) {
        const ushort c = d[i];
        count += c == '<' ? 2 : c == '=' ? 1 : 0;
        if (c >= 0x20 && c < 0xD800)
            continue;
        if (c == '\t' || c == '\n' || (c >= 0xE000 && c <= 0xFFFD))
            continue;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && d[i + 1] >= 0xDC00 && d[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        return false;
    }
    *markup = int(std::min<qint64>(count, std::numeric_limits<int>::max()));
    return true;
}

// The length of the plain character (as above) encoded at d[i], or 0 when there is none: a control
// character, a surrogate or non-character, or bytes that are not shortest-form UTF-8.
int plainCharacterLength(const uchar* d, int i, int n)
{
    const uint c = d[i];
    if (c < 0x80)
        return c >= 0x20 || c == '\t' || c == '\n' ? 1 : 0;
    int length = 0;
    uint code = 0;
    uint least = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1F;
        least = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0F;
        least = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07;
        least = 0x10000;
    } else {
        return 0;
    }
    if (length > n - i)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((d[i + k] & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (d[i + k] & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE ||
        code == 0xFFFF)
        return 0;
    return length;
}

// The same over UTF-8, which also has to be well-formed: then every run the reader cuts at ASCII
// markup holds whole characters.
bool onlyPlainCharacters(const uchar* d, int n, int* markup)
{
    int i = 0;
    qint64 count = 0;
#ifdef __SSE2__
    // Blocks of sixteen ASCII bytes from space up, tabs and line feeds pass at once; a block with
    // anything else is looked at one character at a time, and the blocks go on after it.
    const __m128i belowSpace = _mm_set1_epi8(0x1F);
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i lineFeed = _mm_set1_epi8('\n');
    const __m128i less = _mm_set1_epi8('<');
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i one = _mm_set1_epi8(1);
    const __m128i two = _mm_set1_epi8(2);
    __m128i sums = _mm_setzero_si128();
    while (i + 16 <= n) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        // Signed: bytes from 0x80 up are negative, so not above 0x1F.
        const __m128i plain =
            _mm_or_si128(_mm_cmpgt_epi8(units, belowSpace),
                         _mm_or_si128(_mm_cmpeq_epi8(units, tab), _mm_cmpeq_epi8(units, lineFeed)));
        if (_mm_movemask_epi8(plain) != 0xFFFF) {
            const int blockEnd = i + 16;
            while (i < blockEnd) {
                const int length = plainCharacterLength(d, i, n);
                if (length == 0)
                    return false;
                count += d[i] == '<' ? 2 : d[i] == '=' ? 1 : 0;
                i += length;
            }
            continue;
        }
        const __m128i marks = _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(units, less), two),
                                           _mm_and_si128(_mm_cmpeq_epi8(units, equals), one));
        // Each block's marks summed into the two 64-bit halves.
        sums = _mm_add_epi64(sums, _mm_sad_epu8(marks, _mm_setzero_si128()));
        i += 16;
    }
    alignas(16) quint64 halves[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(halves), sums);
    count += qint64(halves[0] + halves[1]);
#endif
    while (i < n) {
        const int length = plainCharacterLength(d, i, n);
        if (length == 0)
            return false;
        count += d[i] == '<' ? 2 : d[i] == '=' ? 1 : 0;
        i += length;
    }
    *markup = int(std::min<qint64>(count, std::numeric_limits<int>::max()));
    return true;
}

// Widens UTF-8 that onlyPlainCharacters has passed (well-formed, whole characters) into `to`;
// returns the units written, never more than the bytes read.
int widen(const uchar* bytes, int length, ushort* to)
{
    int k = 0;
#ifdef __SSE2__
    for (; k + 16 <= length; k += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + k));
        if (_mm_movemask_epi8(block) != 0)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k), _mm_unpacklo_epi8(block, _mm_setzero_si128()));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k + 8),
                         _mm_unpackhi_epi8(block, _mm_setzero_si128()));
    }
#endif
    int written = k;
    while (k < length) {
        const uint c = bytes[k];
        if (c < 0x80) {
            to[written++] = ushort(c);
            ++k;
            continue;
        }
        const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
        uint code = c & (0x3Fu >> extra);
        for (int j = 1; j <= extra; ++j)
            code = (code << 6) | (bytes[k + j] & 0x3F);
        k += extra + 1;
        if (code >= 0x10000) {
            to[written++] = QChar::highSurrogate(code);
            to[written++] = QChar::lowSurrogate(code);
        } else {
            to[written++] = ushort(code);
        }
    }
    return written;
}

// Text written straight into a string sized once for all of it (no reference or character takes
// more units than the text it stands in), then cut to what was written. Growing the string piece by
// piece cost a resize per piece.
class TextSink
{
public:
    TextSink(QString* text, int capacity) : m_text(text), m_length(text->size())
    {
        text->resize(m_length + capacity);
        m_data = reinterpret_cast<ushort*>(text->data());
    }
    // Gives the room not written back in place, for whatever is allocated next.
    void close()
    {
        m_text->resize(m_length);
        m_text->squeeze();
    }
    int size() const { return m_length; }
    void append(const ushort* units, int length)
    {
        std::memcpy(m_data + m_length, units, size_t(length) * sizeof(ushort));
        m_length += length;
    }
    void append(const uchar* bytes, int length) { m_length += widen(bytes, length, m_data + m_length); }
    void append(uint code)
    {
        if (code >= 0x10000) {
            m_data[m_length++] = QChar::highSurrogate(code);
            m_data[m_length++] = QChar::lowSurrogate(code);
        } else {
            m_data[m_length++] = ushort(code);
        }
    }

private:
    QString* m_text;
    ushort* m_data = nullptr;
    int m_length;
};

QString unitsToString(const ushort* units, int length)
{
    return QString(reinterpret_cast<const QChar*>(units), length);
}

QString unitsToString(const uchar* bytes, int length)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes), length);
}

// A name the reader took (ASCII letters, digits and a few marks) against an interned one.
template <typename Unit> bool sameName(const Unit* units, int length, const QString& name)
{
    if (name.size() != length)
        return false;
    const QChar* chars = name.constData();
    for (int k = 0; k < length; ++k) {
        if (chars[k].unicode() != units[k])
            return false;
    }
    return true;
}

template <typename Unit> class QuickReader
{
public:
    QuickReader(const Unit* units, int length) : d(units), n(length) {}

    bool at(int i, const char* text) const
    {
        for (int k = 0; text[k]; ++k) {
            if (i + k >= n || d[i + k] != Unit(text[k]))
                return false;
        }
        return true;
    }

    // Where `text` starts at or after `from` and before `limit` (-1: the end), or -1.
    int find(int from, const char* text, int limit = -1) const
    {
        const int last = limit < 0 ? n : limit;
        for (int i = from; i < last; ++i) {
            if (d[i] == Unit(text[0]) && at(i, text))
                return i;
        }
        return -1;
    }

    int skipBlanks(int i) const
    {
        while (i < n && isBlank(d[i]))
            ++i;
        return i;
    }

    int nameEnd(int i) const
    {
        if (i >= n || !isNameStart(d[i]))
            return i;
        while (i < n && isNameChar(d[i]))
            ++i;
        return i;
    }

    // Appends the text of [from, to) with its references resolved; false on a reference the quick
    // reader does not take (it then declines the report).
    bool appendResolved(int from, int to, TextSink* out) const
    {
        int plain = from;
        for (int i = findFirstOf(d, from, to, '&', '&', '&'); i < to;
             i = findFirstOf(d, i + 1, to, '&', '&', '&')) {
            out->append(d + plain, i - plain);
            const int semicolon = find(i, ";", to);
            if (semicolon < 0)
                return false;
            if (at(i, "&lt;"))
                out->append(uint('<'));
            else if (at(i, "&gt;"))
                out->append(uint('>'));
            else if (at(i, "&amp;"))
                out->append(uint('&'));
            else if (at(i, "&apos;"))
                out->append(uint('\''));
            else if (at(i, "&quot;"))
                out->append(uint('"'));
            else if (!appendCharacterReference(unitsToString(d + i + 1, semicolon - i - 1), out))
                return false;
            i = semicolon;
            plain = semicolon + 1;
        }
        out->append(d + plain, to - plain);
        return true;
    }

    const Unit* const d;
    const int n;

private:
    static bool appendCharacterReference(const QString& name, TextSink* out)
    {
        if (name.size() < 2 || name.at(0) != QLatin1Char('#'))
            return false;
        const bool hex = name.at(1) == QLatin1Char('x');
        const QStringRef digits = name.midRef(hex ? 2 : 1);
        if (digits.isEmpty() || digits.size() > 8)
            return false;
        for (const QChar c : digits) {
            const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
            const bool hexLetter = (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
                                   (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
            if (!digit && !(hex && hexLetter))
                return false;
        }
        bool ok = false;
        const uint code = digits.toUInt(&ok, hex ? 16 : 10);
        // Printable characters only; the full reader has the last word on the rest.
        if (!ok || code < 0x20 || (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF ||
            code > 0x10FFFF)
            return false;
        out->append(code);
        return true;
    }
};

} // namespace

// The names met last, by a hash of their units: reports use a few dozen names over and over.
struct ReportTree::NameCache
{
    static constexpr int kSlots = 256;
    uint hash[kSlots] = {};
    int id[kSlots];
    NameCache() { std::fill(id, id + kSlots, -1); }
};

template <typename Unit> int ReportTree::intern(const Unit* name, int length, NameCache* cache)
{
    if (length == 0)
        return 0;
    uint hash = uint(length);
    for (int k = 0; k < length; ++k)
        hash = hash * 31 + name[k];
    const int slot = int((hash ^ (hash >> 8)) & (NameCache::kSlots - 1));
    const int cached = cache->id[slot];
    if (cached >= 0 && cache->hash[slot] == hash && sameName(name, length, m_names.at(cached)))
        return cached;
    const int id = intern(unitsToString(name, length));
    cache->hash[slot] = hash;
    cache->id[slot] = id;
    return id;
}

template <typename Unit> bool ReportTree::readQuickly(const Unit* d, int n, int maxDepth)
{
    const QuickReader<Unit> r(d, n);
    int markup = 0;
    if (!onlyPlainCharacters(d, n, &markup))
        return false;
    begin(n, markup + 16);
    NameCache names;
    TextSink text(&m_text, n);
    TextSink values(&m_valueText, n);
    QVector<int> open = {0};
    int lastText = -1;
    bool rootDone = false;
    const auto decline = [this] {
        *this = ReportTree();
        return false;
    };
    // Adjacent text, CDATA and references make one text node.
    const auto openText = [this, &lastText, &text](int parent) {
        if (lastText >= 0)
            return;
        lastText = m_nodes.size();
        Node node;
        node.kind = Text;
        node.parent = parent;
        node.end = lastText + 1;
        node.textBegin = text.size();
        m_nodes.append(node);
    };
    const auto addValueLeaf = [this, d, &values](Kind kind, int parent, int from, int to) {
        Node item;
        item.kind = kind;
        item.parent = parent;
        item.end = m_nodes.size() + 1;
        item.textBegin = values.size();
        values.append(d + from, to - from);
        item.textEnd = values.size();
        m_nodes.append(item);
    };
    int i = 0;
    // Only the usual declaration; any other is the full reader's to judge.
    if (r.at(0, "<?xml")) {
        static const QRegularExpression declaration(
            QStringLiteral("^<\\?xml[ \n\t]+version[ \n\t]*=[ \n\t]*([\"'])1\\.0\\1(?:[ \n\t]+encoding[ "
                           "\n\t]*=[ \n\t]*([\"'])UTF-8\\2)?[ \n\t]*\\?>"),
            QRegularExpression::CaseInsensitiveOption);
        // Unit by unit, so that where the match ends is where the declaration ends in the text.
        QString head(std::min(n, 200), Qt::Uninitialized);
        for (int k = 0; k < head.size(); ++k)
            head[k] = QChar(ushort(d[k]));
        const QRegularExpressionMatch match = declaration.match(head);
        if (!match.hasMatch())
            return decline();
        i = match.capturedEnd();
    }
    while (i < n) {
        if (d[i] != '<') {
            // One pass over the run: where it ends, whether it holds references, no "]]>" in it.
            int end = i;
            bool references = false;
            for (;;) {
                end = findFirstOf(d, end, n, '<', '&', ']');
                if (end >= n || d[end] == '<')
                    break;
                if (d[end] == '&')
                    references = true;
                else if (end + 2 < n && d[end + 1] == ']' && d[end + 2] == '>')
                    return decline();
                ++end;
            }
            if (open.size() == 1) {
                // Around the document element only blanks may stand.
                for (int k = i; k < end; ++k) {
                    if (!isBlank(d[k]))
                        return decline();
                }
            } else {
                openText(open.last());
                if (!references)
                    text.append(d + i, end - i);
                else if (!r.appendResolved(i, end, &text))
                    return decline();
                m_nodes[lastText].textEnd = text.size();
            }
            i = end;
            continue;
        }
        if (r.at(i, "<!--")) {
            const int close = r.find(i + 4, "--");
            if (close < 0 || !r.at(close, "-->"))
                return decline();
            addValueLeaf(Comment, open.last(), i + 4, close);
            lastText = -1;
            i = close + 3;
        } else if (r.at(i, "<![CDATA[")) {
            const int close = r.find(i + 9, "]]>");
            if (open.size() == 1 || close < 0)
                return decline();
            if (close > i + 9) {
                openText(open.last());
                text.append(d + i + 9, close - i - 9);
                m_nodes[lastText].textEnd = text.size();
            }
            i = close + 3;
        } else if (r.at(i, "<?")) {
            const int targetEnd = r.nameEnd(i + 2);
            if (targetEnd == i + 2 || (targetEnd == i + 5 && (d[i + 2] | 0x20) == 'x' &&
                                       (d[i + 3] | 0x20) == 'm' && (d[i + 4] | 0x20) == 'l'))
                return decline();
            const int close = r.find(targetEnd, "?>");
            if (close < 0 || (close > targetEnd && !isBlank(d[targetEnd])))
                return decline();
            const int data = std::min(r.skipBlanks(targetEnd), close);
            addValueLeaf(Instruction, open.last(), data, close);
            lastText = -1;
            i = close + 2;
        } else if (r.at(i, "<!")) {
            return decline(); // a document type or something stranger
        } else if (r.at(i, "</")) {
            const int nameEnd = r.nameEnd(i + 2);
            const int close = r.skipBlanks(nameEnd);
            if (open.size() == 1 || close >= n || d[close] != '>')
                return decline();
            Node& node = m_nodes[open.last()];
            if (!sameName(d + i + 2, nameEnd - i - 2, m_names.at(node.localName)))
                return decline();
            node.end = m_nodes.size();
            node.textEnd = text.size();
            open.removeLast();
            rootDone = open.size() == 1;
            lastText = -1;
            i = close + 1;
        } else {
            const int nameEnd = r.nameEnd(i + 1);
            if (rootDone || nameEnd == i + 1 || open.size() > maxDepth)
                return decline();
            const int element = m_nodes.size();
            Node node;
            node.kind = Element;
            node.parent = open.last();
            node.localName = intern(d + i + 1, nameEnd - i - 1, &names);
            node.textBegin = text.size();
            m_nodes.append(node);
            int k = nameEnd;
            bool empty = false;
            for (;;) {
                const int next = r.skipBlanks(k);
                if (next >= n)
                    return decline();
                if (d[next] == '>') {
                    k = next + 1;
                    break;
                }
                if (d[next] == '/') {
                    if (next + 1 >= n || d[next + 1] != '>')
                        return decline();
                    empty = true;
                    k = next + 2;
                    break;
                }
                // An attribute: blanks before it, a plain name (no namespace), a quoted value.
                const int attributeEnd = r.nameEnd(next);
                if (next == k || attributeEnd == next)
                    return decline();
                if (r.at(next, "xmlns"))
                    return decline();
                int quote = r.skipBlanks(attributeEnd);
                if (quote >= n || d[quote] != '=')
                    return decline();
                quote = r.skipBlanks(quote + 1);
                if (quote >= n || (d[quote] != '"' && d[quote] != '\''))
                    return decline();
                // Raw tabs and line breaks are normalised in values; the full reader does that.
                const int valueEnd = findFirstOf(d, quote + 1, n, d[quote], '<', '\t');
                if (valueEnd >= n || d[valueEnd] != d[quote] ||
                    findFirstOf(d, quote + 1, valueEnd, '\n', '\n', '\n') < valueEnd)
                    return decline();
                const int localName = intern(d + next, attributeEnd - next, &names);
                for (int a = element + 1; a < m_nodes.size(); ++a) {
                    if (m_nodes.at(a).localName == localName)
                        return decline(); // the same attribute twice
                }
                if (attributeEnd - next == 4 && r.at(next, "name"))
                    m_nodes[element].value = m_nodes.size();
                Node item;
                item.kind = Attribute;
                item.parent = element;
                item.end = m_nodes.size() + 1;
                item.localName = localName;
                item.textBegin = values.size();
                if (!r.appendResolved(quote + 1, valueEnd, &values))
                    return decline();
                item.textEnd = values.size();
                m_nodes.append(item);
                k = valueEnd + 1;
            }
            if (empty) {
                m_nodes[element].end = m_nodes.size();
                m_nodes[element].textEnd = text.size();
                rootDone = open.size() == 1;
            } else {
                open.append(element);
            }
            lastText = -1;
            i = k;
        }
    }
    if (!rootDone || open.size() != 1)
        return decline();
    text.close();
    values.close();
    finish();
    return true;
}

bool ReportTree::buildQuickly(const QString& xml, int maxDepth)
{
    return readQuickly(reinterpret_cast<const ushort*>(xml.unicode()), xml.size(), maxDepth);
}

bool ReportTree::buildQuickly(const QByteArray& utf8, int maxDepth)
{
    return readQuickly(reinterpret_cast<const uchar*>(utf8.constData()), utf8.size(), maxDepth);
}

bool ReportTree::buildFully(const QString& xml, int maxDepth, bool* tooDeep, QString* error,
                            qint64* errorLine)
{
    begin(xml.size());
    if (tooDeep)
        *tooDeep = false;
    QHash<uint, int> seen;
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
                if (attribute.name() == QLatin1String("name") && attribute.namespaceUri().isEmpty())
                    m_nodes[element].value = m_nodes.size();
                const int localName = intern(attribute.name(), &seen);
                addLeaf(Attribute, element, localName, intern(attribute.namespaceUri(), &seen),
                        attribute.value());
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
            const bool comment = reader.tokenType() == QXmlStreamReader::Comment;
            addLeaf(comment ? Comment : Instruction, open.last(), -1, 0,
                    comment ? reader.text() : reader.processingInstructionData());
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
    finish();
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
            if (namedIn(m_sectionNames, part)) {
                step.kind = StepKind::Section;
                step.entryName = part;
            } else if (namedIn(m_entryNames, part)) {
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
               valueOf(node.value) == step.entryName;
    case StepKind::Self:
    case StepKind::Parent:
        break;
    }
    return true;
}

bool ReportTree::applyToNamed(const Step& step, const QVector<int>& context, QVector<int>* result) const
{
    int name = -1;
    if (step.kind == StepKind::Name && step.namespaceUri == 0)
        name = step.localName;
    else if (step.kind == StepKind::Section)
        name = m_entriesName;
    else if (step.kind == StepKind::Entry)
        name = m_entryName;
    if (!step.descendants || name < 0)
        return false;
    // An element is below the context when some earlier context node ends after it (an attribute
    // ends where the next node starts, so it covers none); the context is in document order.
    int next = 0;
    int coveredTo = 0;
    for (int i = m_firstNamed.at(name); i >= 0; i = m_nodes.at(i).nextNamed) {
        for (; next < context.size() && context.at(next) < i; ++next)
            coveredTo = std::max(coveredTo, m_nodes.at(context.at(next)).end);
        if (i < coveredTo && matches(i, step))
            result->append(i);
    }
    return true;
}

void ReportTree::apply(const Step& step, const QVector<int>& context, QVector<int>* result) const
{
    if (applyToNamed(step, context, result))
        return;
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
        return valueOf(index).toString();
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
    for (int i = id >= 0 ? m_firstNamed.at(id) : -1; i >= 0; i = m_nodes.at(i).nextNamed)
        found.append(i);
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
            return valueOf(i).toString();
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

int ReportTree::parentElement(int element) const
{
    if (element <= 0 || element >= m_nodes.size())
        return -1;
    const int parent = m_nodes.at(element).parent;
    return parent > 0 ? parent : -1;
}

int ReportTree::endOf(int element) const
{
    return element >= 0 && element < m_nodes.size() ? m_nodes.at(element).end : -1;
}

QString ReportTree::tag(int element) const
{
    if (element <= 0 || element >= m_nodes.size() || m_nodes.at(element).kind != Element)
        return QString();
    return m_names.at(m_nodes.at(element).localName);
}

QString ReportTree::nameOrTag(int element) const
{
    if (element <= 0 || element >= m_nodes.size() || m_nodes.at(element).kind != Element)
        return QString();
    const Node& node = m_nodes.at(element);
    if (node.value >= 0 && m_nodes.at(node.value).textEnd > m_nodes.at(node.value).textBegin)
        return valueOf(node.value).toString();
    return m_names.at(node.localName);
}

QString ReportTree::ownText(int element) const
{
    if (element < 0 || element >= m_nodes.size())
        return QString();
    QString result;
    for (int i = element + 1; i < m_nodes.at(element).end; i = m_nodes.at(i).end) {
        if (m_nodes.at(i).kind == Text)
            result += stringValue(i);
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
