#include "zplstreamsplitter.h"

#include <QString>

#include <cctype>

namespace {

// Commands without parameters end with their name, so that a format prints as soon as ^XZ arrives and
// ~HS is answered before anything else is sent.
const char* const kNoParameters[] = {"^XA", "^XZ", "^FS", "~HS", "~JA", "~PS"};
// ~SD takes exactly two digits.
const char* const kTwoDigits = "~SD";
// A printer keeps a tilde inside field data as text; only the caret of ^FS ends it.
const char* const kFieldData[] = {"^FD", "^FV"};
const int kBinaryHeaderCommas = 4; // B,b,c,d, then b bytes
const qint64 kMaxBinaryBytes = 64LL * 1024 * 1024;

bool isPrefix(char c)
{
    return c == '^' || c == '~';
}

bool isLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

template <size_t N> bool isOneOf(const ZplCommand& command, const char* const (&codes)[N])
{
    for (const char* code : codes)
        if (command.is(code))
            return true;
    return false;
}

} // namespace

QString ZplCommand::summary() const
{
    if (is("^GF")) {
        int commas = 0;
        int header = 0;
        while (header < params.size() && commas < kBinaryHeaderCommas)
            commas += params.at(header++) == ',';
        return QString::fromLatin1(code() + params.left(header)) +
               QStringLiteral("<%1 bytes of data>").arg(params.size() - header);
    }
    return QString::fromLatin1(code() + params);
}

QList<ZplCommand> ZplStreamSplitter::feed(const QByteArray& data)
{
    QList<ZplCommand> done;
    for (int i = 0; i < data.size(); ++i, ++m_offset) {
        const char c = data.at(i);
        if (m_state == State::Binary) {
            // Binary data is taken as it is, prefixes and line breaks included.
            const int take = int(qMin<qint64>(m_binaryLeft, data.size() - i));
            m_command.params.append(data.constData() + i, take);
            m_binaryLeft -= take;
            i += take - 1;
            m_offset += take - 1;
            if (m_binaryLeft == 0)
                complete(m_offset + 1, &done);
            continue;
        }
        if (isLineBreak(c))
            continue;
        switch (m_state) {
        case State::Between:
            if (isPrefix(c))
                begin(c, m_offset);
            break;
        case State::Name:
            if (isPrefix(c)) {
                complete(m_offset, &done);
                begin(c, m_offset);
                break;
            }
            m_command.name.append(char(std::toupper(static_cast<unsigned char>(c))));
            if (m_command.name.size() == 2)
                nameComplete(&done);
            break;
        case State::Params:
            paramByte(c, &done);
            break;
        case State::Binary:
            break;
        }
    }
    return done;
}

void ZplStreamSplitter::begin(char prefix, qint64 offset)
{
    m_command = ZplCommand();
    m_command.prefix = prefix;
    m_command.start = offset;
    m_fixedLength = -1;
    m_state = State::Name;
}

void ZplStreamSplitter::nameComplete(QList<ZplCommand>* done)
{
    if (isOneOf(m_command, kNoParameters)) {
        complete(m_offset + 1, done);
        return;
    }
    m_fixedLength = m_command.is(kTwoDigits) ? 2 : -1;
    m_state = State::Params;
}

void ZplStreamSplitter::paramByte(char c, QList<ZplCommand>* done)
{
    if (isPrefix(c) && (c == '^' || !isOneOf(m_command, kFieldData))) {
        complete(m_offset, done);
        begin(c, m_offset);
        return;
    }
    m_command.params.append(c);
    if (m_fixedLength >= 0 && m_command.params.size() == m_fixedLength) {
        complete(m_offset + 1, done);
        return;
    }
    // ^GFB: once its header is complete, the byte count says where the data ends.
    if (c != ',' || !m_command.is("^GF") || m_command.params.count(',') != kBinaryHeaderCommas ||
        std::toupper(static_cast<unsigned char>(m_command.params.at(0))) != 'B')
        return;
    bool ok = false;
    const qint64 count = m_command.params.split(',').value(1).trimmed().toLongLong(&ok);
    if (!ok || count < 0 || count > kMaxBinaryBytes)
        return; // unreadable count: the data runs to the next prefix, as for ASCII data
    m_binaryLeft = count;
    if (count == 0)
        complete(m_offset + 1, done);
    else
        m_state = State::Binary;
}

void ZplStreamSplitter::complete(qint64 end, QList<ZplCommand>* done)
{
    m_command.end = end;
    done->append(m_command);
    m_command = ZplCommand();
    m_state = State::Between;
}
