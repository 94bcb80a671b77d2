#pragma once
// How printing tells the user about a problem: a signal that the window's note system picks up,
// so the printing code needs nothing of the interface. Any thread may raise a note.

#include <QObject>
#include <QString>

class PrintNotes : public QObject
{
    Q_OBJECT
public:
    enum Kind
    {
        Error,                // a label or layout cannot be printed as it is
        PrinterNotConfigured, // no printer chosen
        PrinterNotWorking,    // the printer refused, is not ready or does not answer
        PrinterRemoved,       // the printer is not there any more
        LogNotWritten         // the printed-reports log could not be written
    };
    Q_ENUM(Kind)

    static PrintNotes* instance();
    void raise(Kind kind, const QString& title, const QString& text) { emit note(kind, title, text); }
    // One note per cause: a note raised again under the same key replaces the text of the one on
    // show instead of adding another; withdraw closes it (its cause is gone).
    void raiseGrouped(Kind kind, const QString& key, const QString& title, const QString& text)
    {
        emit groupedNote(kind, key, title, text);
    }
    void withdraw(const QString& key) { emit withdrawn(key); }
    // Changes the text of the note on show under the key; shows nothing when it was closed.
    void update(const QString& key, const QString& text) { emit updated(key, text); }

    // "1 label", "12 labels".
    static QString labels(int count);

signals:
    void note(PrintNotes::Kind kind, QString title, QString text);
    void groupedNote(PrintNotes::Kind kind, QString key, QString title, QString text);
    void withdrawn(QString key);
    void updated(QString key, QString text);

private:
    PrintNotes() = default;
};
