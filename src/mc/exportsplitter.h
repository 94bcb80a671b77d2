#pragma once
// Cuts a console's XML export (<root> holding one element per report) into its reports, straight
// from the UTF-8 bytes of the reply. It follows the markup (comments, CDATA, instructions, quoted
// attribute values) and pairs every end tag with its start tag, so a reply cut short or garbled is
// refused, but it leaves the inside of each report to the full parse that reads it later: a whole
// XML pass over tens of megabytes cost more than printing their labels.

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringList>

class ExportSplitter
{
public:
    // Each report is wrapped in its own <root>, as the label side reads it, and kept in UTF-8 as the
    // spool stores it. False with *error (and no reports) when the bytes are not one complete export.
    static bool split(const QByteArray& reply, QByteArrayList* reports, QString* error);
};
