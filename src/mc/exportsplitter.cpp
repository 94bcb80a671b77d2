#include "mc/exportsplitter.h"

#include <QVector>

#include <cstring>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameEnd(char c)
{
    return isSpace(c) || c == '/' || c == '>';
}

class Scanner
{
public:
    Scanner(const char* data, qint64 size) : m_data(data), m_size(size) {}

    // Position just past `marker` at or after `from`, or -1.
    qint64 after(qint64 from, const char* marker) const
    {
        const qint64 length = qint64(std::strlen(marker));
        const char* end = m_data + m_size;
        const char* at = m_data + from;
        while (end - at >= length) {
            const void* hit = std::memchr(at, marker[0], size_t(end - at - length + 1));
            if (!hit)
                return -1;
            at = static_cast<const char*>(hit);
            if (std::memcmp(at, marker, size_t(length)) == 0)
                return at - m_data + length;
            ++at;
        }
        return -1;
    }

    bool startsWith(qint64 at, const char* text) const
    {
        const qint64 length = qint64(std::strlen(text));
        return m_size - at >= length && std::memcmp(m_data + at, text, size_t(length)) == 0;
    }

    qint64 nameEnd(qint64 from) const
    {
        while (from < m_size && !isNameEnd(m_data[from]))
            ++from;
        return from;
    }

    // Position just past the '>' that closes a tag, skipping quoted attribute values, or -1. A
    // document type declaration may also hold '<' and '>' inside the brackets of its internal subset.
    qint64 tagEnd(qint64 from, bool declaration = false) const
    {
        int brackets = 0;
        char quote = 0;
        for (qint64 i = from; i < m_size; ++i) {
            const char c = m_data[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (declaration && (c == '[' || c == ']')) {
                brackets += c == '[' ? 1 : -1;
            } else if (c == '<' && !declaration) {
                return -1;
            } else if (c == '>' && brackets <= 0) {
                return i + 1;
            }
        }
        return -1;
    }

    bool onlySpace(qint64 from, qint64 to) const
    {
        for (qint64 i = from; i < to; ++i) {
            if (!isSpace(m_data[i]))
                return false;
        }
        return true;
    }

    QByteArray wrapped(qint64 from, qint64 to) const
    {
        QByteArray bytes;
        bytes.reserve(int(to - from) + 13);
        bytes.append("<root>", 6);
        bytes.append(m_data + from, int(to - from));
        bytes.append("</root>", 7);
        return bytes;
    }

    QByteArray text(qint64 from, qint64 to) const { return QByteArray(m_data + from, int(to - from)); }

    const char* m_data;
    qint64 m_size;
};

struct Open
{
    qint64 name;
    qint64 length;
};

} // namespace

bool ExportSplitter::split(const QByteArray& reply, QByteArrayList* reports, QString* error)
{
    reports->clear();
    const Scanner scan(reply.constData(), reply.size());
    const qint64 size = reply.size();
    QVector<Open> open; // the elements around the position: the root, a report, its descendants
    qint64 reportStart = -1;
    bool rootSeen = false;
    bool rootClosed = false;
    const auto fail = [&](const QString& why) {
        reports->clear();
        *error = why;
        return false;
    };
    const auto notComplete = [&](qint64 at, const QString& what) {
        return fail(QStringLiteral("the reply is not complete XML (%1 at byte %2)").arg(what).arg(at));
    };

    qint64 i = scan.startsWith(0, "\xEF\xBB\xBF") ? 3 : 0;
    while (i < size) {
        const void* hit = std::memchr(reply.constData() + i, '<', size_t(size - i));
        const qint64 lt = hit ? static_cast<const char*>(hit) - reply.constData() : size;
        // Text belongs inside the root; around it only blanks may stand.
        if (open.isEmpty() && !scan.onlySpace(i, lt))
            return notComplete(i, QStringLiteral("text outside the root element"));
        if (lt >= size)
            break;
        qint64 next = -1;
        if (scan.startsWith(lt, "<!--")) {
            next = scan.after(lt + 4, "-->");
            if (next < 0)
                return notComplete(lt, QStringLiteral("an unfinished comment"));
        } else if (scan.startsWith(lt, "<![CDATA[")) {
            next = scan.after(lt + 9, "]]>");
            if (open.isEmpty() || next < 0)
                return notComplete(lt, QStringLiteral("a misplaced or unfinished CDATA section"));
        } else if (scan.startsWith(lt, "<?")) {
            next = scan.after(lt + 2, "?>");
            if (next < 0)
                return notComplete(lt, QStringLiteral("an unfinished processing instruction"));
        } else if (scan.startsWith(lt, "<!")) {
            next = scan.tagEnd(lt + 2, true);
            if (rootSeen || !scan.startsWith(lt, "<!DOCTYPE") || next < 0)
                return notComplete(lt, QStringLiteral("a misplaced or unfinished declaration"));
        } else if (scan.startsWith(lt, "</")) {
            const qint64 name = lt + 2;
            const qint64 nameEnd = scan.nameEnd(name);
            next = scan.tagEnd(nameEnd);
            if (next < 0 || !scan.onlySpace(nameEnd, next - 1))
                return notComplete(lt, QStringLiteral("a broken end tag"));
            if (open.isEmpty() || open.last().length != nameEnd - name ||
                std::memcmp(reply.constData() + name, reply.constData() + open.last().name,
                            size_t(nameEnd - name)) != 0)
                return notComplete(lt, QStringLiteral("the end tag </%1> pairs with no start tag")
                                           .arg(QString::fromUtf8(scan.text(name, nameEnd))));
            open.removeLast();
            if (open.size() == 1) {
                reports->append(scan.wrapped(reportStart, next));
                reportStart = -1;
            } else if (open.isEmpty()) {
                rootClosed = true;
            }
        } else {
            const qint64 name = lt + 1;
            const qint64 nameEnd = scan.nameEnd(name);
            next = scan.tagEnd(nameEnd);
            if (nameEnd == name || next < 0)
                return notComplete(lt, QStringLiteral("a broken start tag"));
            const bool empty = reply.at(int(next - 2)) == '/' && next - 2 >= nameEnd;
            if (open.isEmpty()) {
                if (rootClosed)
                    return notComplete(lt, QStringLiteral("a second root element"));
                const QByteArray rootName = scan.text(name, nameEnd);
                if (rootName != "root")
                    return fail(QStringLiteral("the reply's root element is <%1>, not <root>")
                                    .arg(QString::fromUtf8(rootName)));
                rootSeen = true;
            } else if (open.size() == 1) {
                reportStart = lt;
            }
            if (!empty)
                open.append({name, nameEnd - name});
            else if (open.size() == 1)
                reports->append(scan.wrapped(lt, next));
            else if (open.isEmpty())
                rootClosed = true;
        }
        i = next;
    }
    if (!rootSeen)
        return fail(QStringLiteral("the reply has no <root> element"));
    if (!open.isEmpty())
        return notComplete(
            size,
            QStringLiteral("the reply ends inside <%1>")
                .arg(QString::fromUtf8(scan.text(open.last().name, open.last().name + open.last().length))));
    return true;
}
