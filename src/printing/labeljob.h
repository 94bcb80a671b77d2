#pragma once
// The work of printing one label, in steps that may run on any thread: prepare (layout, printer,
// report), render (the page at the printer's resolution) and hand over (to the label's output).
// Touches no interface object. A batch of jobs asks each printer how it is once, and encodes all
// its barcodes in one run of the barcode program first.

#include <QHash>
#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include "printing/labeloutput.h"
#include "printing/printnotes.h"
#include "report/reportidentity.h"

#include <atomic>
#include <functional>
#include <memory>

class PrintWorker;
class ReportDevice;
class ReportDocument;

// Platform printers take their labels in spool order although several are rendered at once: each
// label holds a ticket per printer and hands over only when all earlier tickets have passed.
// A printer that refused stays blocked, so the labels after it wait instead of overtaking it.
// The gate also holds hand-offs (a pause, or one job's labels while the user is asked about them).
class HandOffGate
{
public:
    quint64 nextTicket(const QString& printer);
    // Blocks until every earlier ticket of the printer has passed.
    void waitForTurn(const QString& printer, quint64 ticket);
    void pass(const QString& printer, quint64 ticket);
    void block(const QString& printer);
    void unblock(const QString& printer);
    bool isBlocked(const QString& printer);

    // Holds every hand-off (an empty `group`) or those of one group (a job). Holding returns when
    // the hand-offs under way have ended, so no label leaves after it, or after kHoldWaitMs when a
    // print system is slow to answer (that one label may then still leave).
    void hold(const QString& group, bool held);
    static constexpr int kHoldWaitMs = 1000;
    // False while the label's group or everything is held (the label is handed back unprinted).
    bool beginHandOff(const QString& group);
    void endHandOff();

private:
    struct Line
    {
        quint64 issued = 0;
        quint64 next = 0;
        QSet<quint64> passed;
    };
    QMutex m_lock;
    QWaitCondition m_turn;
    QMap<QString, Line> m_lines;
    QSet<QString> m_blocked;
    QSet<QString> m_held;
    int m_handingOver = 0;
    QWaitCondition m_handedOver;
};

class LabelJob
{
public:
    enum class Outcome
    {
        Printed,            // handed over
        PrinterUnavailable, // the printer is missing, not ready or refused: try again later
        Failed,             // the label cannot be made as things are (layout missing or unusable)
        Dropped             // the entry could not be read (moved aside) or printing is stopping
    };

    // What the job is asked to do.
    QString layoutName;    // empty: the default layout
    QString printerName;   // empty: the default printer
    QString title;         // print job title
    QString labelBaseName; // the PDF printer's file name; empty: a new unique name
    QString customKey;     // the report path whose values the printed-reports log keeps
    QString holdGroup;     // held with this group at the gate (the spool entry's job)
    QByteArray report;
    // Fills `report` when prepare starts, so a batch reads each report just before parsing it and
    // holds one report's text at a time; false with a reason when it cannot be read (Dropped).
    std::function<bool(QByteArray* report, QString* error)> readReport;
    quint64 ticket = 0;

    // What came of it.
    Outcome outcome = Outcome::Failed;
    QString reason;
    bool layoutMissing = false; // the layout could not be loaded
    PrintNotes::Kind noteType = PrintNotes::Error;
    QString usedLayout;
    QString printerKey; // the printer asked (the default printer's name when the job names none)
    QString reportUuid;
    QMap<QString, QString> customContent;
    ReportIdentity identity; // the device as the label shows it, for the Report Log
    QStringList problems;
    QString labelFile;
    int printJobId = 0;             // the print system's job, to follow until it ends
    bool refusedByPrinter = false;  // the printer was ready but did not take the label
    bool handedInOrder = false;     // printed on a printer that takes its labels in spool order
    std::atomic<bool> taken{false}; // the printer took it (readable from any thread)

    LabelJob();
    ~LabelJob();
    LabelJob(const LabelJob&) = delete;
    LabelJob& operator=(const LabelJob&) = delete;

    // What a batch learns once and shares: layouts by name, and how each printer is.
    struct BatchContext
    {
        QHash<QString, QJsonObject> layouts;
        QHash<QString, PrinterStatus> printers;
    };
    // Loads the layout, checks and opens the printer and parses the report; false when the job has
    // ended (outcome set), including a label completed before a stop, which counts as printed.
    bool prepare(BatchContext* batch = nullptr);
    // Paints the page; false (outcome Failed) when the layout cannot be drawn.
    bool render();
    // Sends the page (waiting for its turn at `gate` on a platform printer) and sets the outcome,
    // unless the output leaves the label pending for completeHandOvers() to end.
    void handOver(HandOffGate* gate);
    // prepare, render and handOver of one job, alone.
    void run(HandOffGate* gate);
    // Prepares, encodes all barcodes at once, renders and hands over a batch in order; once
    // `stopping` is set, rendered labels are not handed over any more (outcome Dropped).
    // `ended` is called for each job as soon as it has ended, in the batch's order, before the
    // printer's next label may be handed over.
    static void runBatch(const QList<LabelJob*>& jobs, HandOffGate* gate, const std::atomic<bool>* stopping,
                         const std::function<void(LabelJob*)>& ended = {});

    // The layout document of a layout name; empty when it cannot be loaded.
    static QJsonObject loadLayoutFile(const QString& layoutName);
    // The printer a job names, or the default printer when it names none.
    static QString printerKeyOf(const QString& printerName);

private:
    void release();
    // Sets the outcome from the hand-off and ends it at the gate.
    void endHandOver(HandOffGate* gate);
    // Completes the pending labels, each printer's together, and ends their jobs.
    static void completeHandOvers(QList<LabelJob*> pending, HandOffGate* gate,
                                  const std::function<void(LabelJob*)>& ended);
    // The job has ended: tells `ended` and lets the printer's next label go.
    void endJob(HandOffGate* gate, const std::function<void(LabelJob*)>& ended);
    // The label waits for its printer: `why` says why, the note kind whether it is missing.
    void waitForPrinter(const PrinterStatus& why);

    QJsonObject m_layout;
    std::unique_ptr<ReportDocument> m_document;
    std::unique_ptr<ReportDevice> m_device;
    std::unique_ptr<LabelOutput> m_output;
    bool m_holdsLine = false; // waits for a printer that takes its labels in order
    std::unique_ptr<PrintWorker> m_worker;
    QImage m_page;
    HandOff m_handOff;
};
