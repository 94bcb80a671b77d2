#pragma once
// Cuts a ZPL byte stream, arriving in pieces of any size, into commands: a prefix (^ or ~), a
// two-letter name and the parameters up to the next prefix.

#include <QByteArray>
#include <QList>

struct ZplCommand
{
    char prefix = '^';
    QByteArray name;   // two characters in upper case, e.g. "GF"
    QByteArray params; // CR and LF left out, except inside binary graphic data
    qint64 start = 0;  // stream offset of the prefix
    qint64 end = 0;    // stream offset just past the command's last byte

    bool is(const char* code) const { return code[0] == prefix && name == code + 1; }
    QByteArray code() const { return prefix + name; }
    // The command as text for a record; graphic data is shown by its length only.
    QString summary() const;
};

class ZplStreamSplitter
{
public:
    // The commands that `data` completed; a command whose end is not known yet waits for more data.
    QList<ZplCommand> feed(const QByteArray& data);

private:
    enum class State
    {
        Between, // before the first prefix, or after a command that ends by itself
        Name,
        Params,
        Binary // counted bytes of ^GFB data
    };

    void begin(char prefix, qint64 offset);
    void nameComplete(QList<ZplCommand>* done);
    void paramByte(char c, QList<ZplCommand>* done);
    void complete(qint64 end, QList<ZplCommand>* done);

    State m_state = State::Between;
    ZplCommand m_command;
    qint64 m_offset = 0;     // stream offset of the next byte fed
    int m_fixedLength = -1;  // parameters of a command with a fixed length, else -1
    qint64 m_binaryLeft = 0; // bytes of binary data still to come
};
