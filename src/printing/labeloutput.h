#pragma once
// Where a rendered label goes: one printer, opened for one page size. The built-in PDF-file
// printer, CUPS queues and the platform's own printers sit behind it, so the print path does not
// depend on the kind of printer it talks to. An output is used by one thread at a time.

#include <QImage>
#include <QList>
#include <QPageSize>
#include <QSize>
#include <QString>

#include <atomic>
#include <memory>

// How a printer is, as far as printing labels goes.
struct PrinterStatus
{
    bool ready = true;
    bool missing = false; // the printer is not there at all (removed, never set up)
    QString reason;       // why it is not ready, in words
};

// What came of handing one label over.
struct HandOff
{
    bool taken = false; // the printer (or its print system) accepted the label
    QString error;      // why not, in words
    QString file;       // the label file written, for the built-in PDF printer
    int jobId = 0;      // the print system's job, followed until it ends; 0: nothing to follow
    QString pending;    // written but not complete yet (sendLater): the output's completeAll() ends it
};

// A handed-over job as the print system sees it later.
struct JobFate
{
    enum State
    {
        Pending,  // queued or printing
        Stuck,    // stopped in the print system, or waiting in a queue that is not printing
        Finished, // printed
        Failed    // aborted or canceled: the label did not come out
    };
    State state = Finished;
    QString reason;
};

class LabelOutput
{
public:
    virtual ~LabelOutput();

    // The output for a printer as jobs name it: the built-in PDF printer, a CUPS queue (on
    // platforms with CUPS) or a platform printer.
    static std::unique_ptr<LabelOutput> create(const QString& printerName);
    // The resolution a printer's labels are rendered at when the station knows it without asking
    // the printer (the PDF printer, a ZPL printer's settings); 0 when it does not.
    static int knownDotsPerInch(const QString& printerName);

    QString name() const { return m_name; }
    // The papers the printer offers, to choose a label's page from; empty when any size goes.
    virtual QList<QPageSize> papers() = 0;
    // Prepares for labels on `page`; false with the reason in `error` when the printer cannot
    // take them (then status() tells whether it is missing or only not ready).
    virtual bool open(const QPageSize& page, QString* error) = 0;
    // Once open: the resolution and the size in dots that labels are rendered at.
    int dotsPerInch() const { return m_dotsPerInch; }
    QSize pagePixels() const { return m_pagePixels; }
    // Whether labels must reach the printer one after the other in spool order.
    virtual bool keepsOrder() const { return true; }
    // Where a label of this stable name was delivered completely before (a stop or crash came
    // between the hand-off and its record), empty when it was not; such a label is not sent again.
    virtual QString deliveredLabel(const QString& labelName) const;
    // Hands one label page over. `title` names the print job; `labelName` names the label where
    // the output keeps names (the PDF printer's file), made unique there unless it is stable.
    virtual HandOff send(const QImage& page, const QString& title, const QString& labelName,
                         bool stableName) = 0;
    // As send(), but an output that completes labels together may leave this one pending, to be
    // ended by completeAll() with the others of its batch: the PDF printer flushes a batch's files
    // to the disk at once instead of twice per label. Other outputs just send.
    virtual HandOff sendLater(const QImage& page, const QString& title, const QString& labelName,
                              bool stableName);
    // Ends the pending hand-offs that sendLater() of this kind of output left: each is then taken
    // or has its error.
    virtual void completeAll(const QList<HandOff*>& handOffs);
    // Asks the printer how it is (every call to a print system has a time-out).
    virtual PrinterStatus status() = 0;
    // What became of a job that send() handed over.
    virtual JobFate follow(int jobId);
    // Takes a job back from the print system (one that is stuck); false when it could not.
    virtual bool cancel(int jobId);
    // Ends every call to a print system or printer at once (the program stops): they fail as not
    // answering.
    static void abortCalls(bool abort);
    static bool aborting() { return s_aborting.load(); }
    // Closes the connections to printers this thread keeps open (end of a batch).
    static void closeConnections();

protected:
    explicit LabelOutput(const QString& name) : m_name(name) {}
    // The dots of `page` at `dotsPerInch`, the whole page without margins.
    void setPage(const QPageSize& page, int dotsPerInch);

    static std::atomic<bool> s_aborting;

    QString m_name;
    int m_dotsPerInch = 0;
    QSize m_pagePixels;
};
