#include "printing/printnotes.h"

PrintNotes* PrintNotes::instance()
{
    static PrintNotes* const notes = [] {
        qRegisterMetaType<PrintNotes::Kind>();
        return new PrintNotes();
    }();
    return notes;
}
