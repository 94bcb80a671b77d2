#pragma once
// The printer behind the port: takes complete formats into its receive buffer, prints them one label
// at a time on its own thread, answers ~HS and keeps the state the control endpoint sets.
// Safe from any thread.

#include "labelstore.h"
#include "printersettings.h"
#include "printerstate.h"
#include "zplformat.h"

#include <QByteArray>
#include <QImage>
#include <QJsonObject>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class ZplPrinter
{
public:
    ZplPrinter(LabelStore* store, bool verbose);
    ~ZplPrinter(); // stops printing

    void start();
    void stop();

    // A complete format from connection `connection` (numbered from 1). It is dropped when the
    // printer cannot print now; otherwise its settings take effect and, if it holds graphics, its
    // labels join the buffer.
    void submit(const ZplFormat& format, int connection);

    // Commands a printer carries out as they arrive.
    // The ~HS answer, empty when the printer is silent.
    QByteArray hostStatus(bool partialFormat) const;
    void cancelAll();                             // ~JA
    void applySetting(const ZplCommand& command); // ~SD
    void resume();                                // ~PS

    // Control.
    bool setState(const QJsonObject& changes, QString* error);
    PrinterState state() const;
    // The state with the counters: formats, printed, dropped, cancelled, malformed, buffered,
    // labelsRemaining and the last error.
    QJsonObject stateJson() const;
    // The byte limit for the connection being accepted, 0 for none; it is used once.
    qint64 takeDropAfterBytes();

private:
    struct Job
    {
        QList<ZplFormat::Graphic> graphics;
        PrinterSettings settings;
        int quantity = 1;
        int done = 0;
        qint64 bytes = 0;
        int connection = 0;
        QStringList commands;
    };

    void printLoop();
    // Writes copy `copy` of `job` and counts it; a file that cannot be written becomes the last error.
    // Called with the mutex held.
    void print(const Job& job, int copy, const QImage& page);
    int labelsRemaining() const;
    void log(const QString& text) const;

    LabelStore* m_store;
    bool m_verbose;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    PrinterState m_state;
    qint64 m_paperOutAt = 0; // the number of the format that finds the paper out; 0 for none
    qint64 m_silentAt = 0;   // the number of the format after which the printer falls silent; 0 for none
    PrinterSettings m_settings;
    std::deque<Job> m_buffer;
    quint64 m_cancelGeneration = 0; // tells the printing thread that the buffer was emptied under it
    int m_cancelled = 0;            // formats
    int m_formats = 0;
    int m_printed = 0;
    int m_dropped = 0;
    int m_malformed = 0;
    QString m_lastError;
    bool m_stopping = false;
    std::thread m_thread;
};
