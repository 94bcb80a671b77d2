#include "zplprinter.h"

#include "hoststatus.h"
#include "labelpage.h"

#include <QDateTime>
#include <QJsonArray>

#include <chrono>
#include <cstdio>

ZplPrinter::ZplPrinter(LabelStore* store, bool verbose) : m_store(store), m_verbose(verbose) {}

ZplPrinter::~ZplPrinter()
{
    stop();
}

void ZplPrinter::start()
{
    m_thread = std::thread([this] { printLoop(); });
}

void ZplPrinter::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ZplPrinter::submit(const ZplFormat& format, int connection)
{
    QStringList errors;
    const QList<ZplFormat::Graphic> graphics = format.graphics(&errors);
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_formats;
    if (m_paperOutAt > 0 && m_formats >= m_paperOutAt) {
        m_state.paperOut = true;
        m_state.paperOutAfter = 0;
        m_paperOutAt = 0;
    }
    if (m_silentAt > 0 && m_formats >= m_silentAt) {
        m_state.silent = true;
        m_state.silentAfter = 0;
        m_silentAt = 0;
    }
    if (m_state.stopsPrinting()) {
        ++m_dropped;
        log(QStringLiteral("format of %1 bytes on connection %2 dropped: the printer cannot print")
                .arg(format.bytes())
                .arg(connection));
        return;
    }
    for (const ZplCommand& command : format.commands())
        if (command.prefix == '^')
            m_settings.apply(command);
    // A printer would print something broken; printing nothing makes the fault plain.
    if (!errors.isEmpty()) {
        ++m_malformed;
        m_lastError = errors.join(QStringLiteral("; "));
        std::fprintf(stderr, "zpl-standin: format on connection %d not printed: %s\n", connection,
                     qPrintable(m_lastError));
        return;
    }
    if (graphics.isEmpty())
        return;
    Job job;
    job.graphics = graphics;
    job.settings = m_settings;
    job.quantity = format.quantity();
    job.bytes = format.bytes();
    job.connection = connection;
    job.commands = format.summaries();
    m_buffer.push_back(job);
    m_wake.notify_all();
}

QByteArray ZplPrinter::hostStatus(bool partialFormat) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state.silent)
        return {};
    HostStatus status;
    status.paperOut = m_state.paperOut;
    status.paused = m_state.paused;
    status.labelLength = m_settings.labelLength;
    status.formatsInBuffer = int(m_buffer.size());
    status.bufferFull = m_state.bufferFull;
    status.partialFormat = partialFormat;
    status.headOpen = m_state.headOpen;
    status.ribbonOut = m_state.ribbonOut;
    status.continuousMedia = m_settings.media == 'N';
    status.printMode = m_settings.printMode;
    status.labelsRemaining = labelsRemaining();
    return status.toBytes();
}

void ZplPrinter::cancelAll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    log(QStringLiteral("~JA: %1 buffered formats cancelled").arg(m_buffer.size()));
    m_cancelled += int(m_buffer.size());
    m_buffer.clear();
    ++m_cancelGeneration;
    m_wake.notify_all();
}

void ZplPrinter::applySetting(const ZplCommand& command)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_settings.apply(command);
}

void ZplPrinter::resume()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state.paused = false;
    m_wake.notify_all();
}

bool ZplPrinter::setState(const QJsonObject& changes, QString* error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_state.merge(changes, error))
        return false;
    if (changes.contains(QLatin1String("paperOutAfter")))
        m_paperOutAt = m_state.paperOutAfter > 0 ? m_formats + m_state.paperOutAfter + 1 : 0;
    if (changes.contains(QLatin1String("silentAfter")))
        m_silentAt = m_state.silentAfter > 0 ? m_formats + m_state.silentAfter + 1 : 0;
    m_wake.notify_all();
    return true;
}

PrinterState ZplPrinter::state() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state;
}

QJsonObject ZplPrinter::stateJson() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QJsonObject object = m_state.toJson();
    object.insert(QStringLiteral("formats"), m_formats);
    object.insert(QStringLiteral("printed"), m_printed);
    object.insert(QStringLiteral("dropped"), m_dropped);
    object.insert(QStringLiteral("cancelled"), m_cancelled);
    object.insert(QStringLiteral("malformed"), m_malformed);
    object.insert(QStringLiteral("buffered"), int(m_buffer.size()));
    object.insert(QStringLiteral("labelsRemaining"), labelsRemaining());
    object.insert(QStringLiteral("lastError"), m_lastError);
    return object;
}

qint64 ZplPrinter::takeDropAfterBytes()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const qint64 bytes = m_state.dropAfterBytes;
    m_state.dropAfterBytes = 0;
    return bytes;
}

void ZplPrinter::printLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || (!m_buffer.empty() && !m_state.stopsPrinting()); });
        if (m_stopping)
            return;
        // The label stays in the buffer while it is being printed, as ~HS shows it.
        const quint64 generation = m_cancelGeneration;
        if (m_state.slowMs > 0)
            m_wake.wait_for(lock, std::chrono::milliseconds(m_state.slowMs),
                            [this, generation] { return m_stopping || m_cancelGeneration != generation; });
        if (m_stopping)
            return;
        if (m_cancelGeneration != generation || m_buffer.empty() || m_state.stopsPrinting())
            continue;
        const Job job = m_buffer.front();
        const int copy = job.done + 1;
        lock.unlock();
        const QImage page = LabelPage::render(job.graphics, job.settings);
        lock.lock();
        // The file, the counters and the buffer change together, so that whoever sees the label also
        // sees it gone from the buffer.
        if (m_cancelGeneration != generation)
            continue;
        print(job, copy, page);
        if (++m_buffer.front().done >= m_buffer.front().quantity)
            m_buffer.pop_front();
    }
}

void ZplPrinter::print(const Job& job, int copy, const QImage& page)
{
    QJsonObject record = job.settings.toJson();
    record.insert(QStringLiteral("width"), page.width());
    record.insert(QStringLiteral("height"), page.height());
    record.insert(QStringLiteral("quantity"), job.quantity);
    record.insert(QStringLiteral("copy"), copy);
    record.insert(QStringLiteral("bytes"), double(job.bytes));
    record.insert(QStringLiteral("connection"), job.connection);
    record.insert(QStringLiteral("graphics"), job.graphics.size());
    record.insert(QStringLiteral("commands"), QJsonArray::fromStringList(job.commands));
    record.insert(QStringLiteral("printedAt"), QDateTime::currentDateTime().toString(Qt::ISODateWithMs));
    QString error;
    record = m_store->add(page, record, &error);
    if (record.isEmpty()) {
        m_lastError = error;
        std::fprintf(stderr, "zpl-standin: %s\n", qPrintable(error));
        return;
    }
    ++m_printed;
    if (m_verbose)
        std::fprintf(stderr, "zpl-standin: printed %s (%dx%d dots, copy %d of %d, connection %d)\n",
                     qPrintable(record.value(QStringLiteral("file")).toString()), page.width(), page.height(),
                     copy, job.quantity, job.connection);
}

int ZplPrinter::labelsRemaining() const
{
    int remaining = 0;
    for (const Job& job : m_buffer)
        remaining += job.quantity - job.done;
    return remaining;
}

void ZplPrinter::log(const QString& text) const
{
    if (m_verbose)
        std::fprintf(stderr, "zpl-standin: %s\n", qPrintable(text));
}
