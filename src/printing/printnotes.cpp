#include "printing/printnotes.h"

PrintNotes* PrintNotes::instance()
{
    static PrintNotes* const notes = [] {
        qRegisterMetaType<PrintNotes::Kind>();
        return new PrintNotes();
    }();
    return notes;
}

QString PrintNotes::labels(int count)
{
    return count == 1 ? QStringLiteral("1 label") : QStringLiteral("%1 labels").arg(count);
}
