#include "printing/cupsoutput.h"

#include "printing/pdffileoutput.h"

#include <QBuffer>
#include <QDateTime>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QTransform>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>

// A raster driver's page (resolution, dot format, its own settings such as darkness) is described
// only by its PPD; libcups marks that interface deprecated but keeps it for exactly these drivers.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <unistd.h>

namespace {

constexpr int kConnectMs = 3000;
// A queue's driver description is read again after this long (a changed driver or paper).
constexpr qint64 kDriverCacheMs = 60000;
constexpr double kPointsPerMm = 72.0 / 25.4;
// Papers within this much of the label count as its size (drivers round to points or inches).
constexpr double kToleranceMm = 0.5;

// One connection to the print system, for one operation; every wait on it ends after kCallMs.
class Connection
{
public:
    Connection()
    {
        m_clock.start();
        m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectMs,
                              nullptr);
        // Refused at once: nothing listens, so there is no print system (and no queue) here at all.
        m_noServer = !m_http && m_clock.elapsed() < kConnectMs / 2;
        if (m_http)
            httpSetTimeout(m_http, 0.5, &Connection::keepWaiting, this);
    }
    ~Connection()
    {
        if (m_http)
            httpClose(m_http);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    http_t* http() const { return m_http; }
    bool noServer() const { return m_noServer; }
    // Each call gets its own time.
    http_t* call()
    {
        m_clock.restart();
        return m_http;
    }

private:
    static int keepWaiting(http_t*, void* data)
    {
        auto* self = static_cast<Connection*>(data);
        return !LabelOutput::aborting() && self->m_clock.elapsed() < CupsOutput::kCallMs ? 1 : 0;
    }

    http_t* m_http = nullptr;
    bool m_noServer = false;
    QElapsedTimer m_clock;
};

QString notAnswering()
{
    return QStringLiteral("the print system does not answer");
}

// The last error of a call, in words the user can act on.
QString lastError()
{
    switch (cupsLastError()) {
    case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS:
        return QStringLiteral("the queue does not accept jobs");
    case IPP_STATUS_ERROR_NOT_FOUND:
        return QStringLiteral("the printer is not available");
    case IPP_STATUS_ERROR_INTERNAL:
    case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
        return notAnswering();
    default:
        return QString::fromUtf8(cupsLastErrorString());
    }
}

QByteArray printerUri(const QString& queue)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", queue.toUtf8().constData());
    return QByteArray(uri);
}

// Printer state reasons that keep labels from coming out, in words.
QString reasonInWords(const QString& keyword)
{
    static const QHash<QString, QString> words{
        {QStringLiteral("media-empty"), QStringLiteral("out of labels")},
        {QStringLiteral("media-needed"), QStringLiteral("needs labels")},
        {QStringLiteral("media-jam"), QStringLiteral("labels are jammed")},
        {QStringLiteral("door-open"), QStringLiteral("the door is open")},
        {QStringLiteral("cover-open"), QStringLiteral("the cover is open")},
        {QStringLiteral("offline"), QStringLiteral("the printer is offline")},
        {QStringLiteral("shutdown"), QStringLiteral("the printer is switched off")},
        {QStringLiteral("paused"), QStringLiteral("the queue is stopped")},
        {QStringLiteral("marker-supply-empty"), QStringLiteral("out of ribbon")},
        {QStringLiteral("toner-empty"), QStringLiteral("out of ribbon")},
        {QStringLiteral("input-tray-missing"), QStringLiteral("the label holder is missing")},
        {QStringLiteral("output-area-full"), QStringLiteral("the output is full")},
        {QStringLiteral("printer-stopped"), QStringLiteral("the printer is stopped")},
    };
    return words.value(keyword);
}

QString stringOf(ipp_t* response, const char* name)
{
    ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
    const char* text = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
    return text ? QString::fromUtf8(text) : QString();
}

QStringList stringsOf(ipp_t* response, const char* name)
{
    QStringList values;
    ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_KEYWORD);
    for (int i = 0; attribute && i < ippGetCount(attribute); ++i)
        values << QString::fromUtf8(ippGetString(attribute, i, nullptr));
    return values;
}

// The reasons among `keywords` that stop printing, in words ("-report" and "-warning" do not).
QStringList blockingReasons(const QStringList& keywords)
{
    QStringList reasons;
    for (QString keyword : keywords) {
        if (keyword.endsWith(QLatin1String("-report")) || keyword.endsWith(QLatin1String("-warning")))
            continue;
        keyword.remove(QRegularExpression(QStringLiteral("-error$")));
        const QString words = reasonInWords(keyword);
        if (!words.isEmpty() && !reasons.contains(words))
            reasons << words;
    }
    return reasons;
}

// What a queue's driver needs to know, read from its PPD and kept for a while.
struct Driver
{
    QDateTime readAt;
    CupsOutput::Format format = CupsOutput::Format::Pdf;
    int dotsPerInch = 300;
    QList<QPageSize> papers;
    QStringList paperNames; // the PPD's names of `papers`
    bool customSizes = false;
    ppd_file_t* ppd = nullptr; // guarded by the cache's lock (marking changes it)
};

struct DriverCache
{
    QMutex lock;
    QHash<QString, Driver> drivers;
};

DriverCache& driverCache()
{
    static DriverCache cache;
    return cache;
}

int resolutionOf(ppd_file_t* ppd)
{
    ppd_attr_t* attribute = ppdFindAttr(ppd, "DefaultResolution", nullptr);
    const int dpi = attribute && attribute->value ? atoi(attribute->value) : 0;
    return dpi >= 72 && dpi <= 2400 ? dpi : 300;
}

CupsOutput::Format formatOf(ppd_file_t* ppd)
{
    bool pwg = false;
    for (const char* name : {"cupsFilter", "cupsFilter2"}) {
        for (ppd_attr_t* attribute = ppdFindAttr(ppd, name, nullptr); attribute;
             attribute = ppdFindNextAttr(ppd, name, nullptr)) {
            const QByteArray source = QByteArray(attribute->value).simplified().split(' ').value(0);
            if (source == "application/vnd.cups-raster")
                return CupsOutput::Format::CupsRaster;
            pwg = pwg || source == "image/pwg-raster";
        }
    }
    return pwg ? CupsOutput::Format::PwgRaster : CupsOutput::Format::Pdf;
}

// Reads the queue's driver description (when not known or old); false with the reason.
bool loadDriver(const QString& queue, QString* error)
{
    DriverCache& cache = driverCache();
    {
        QMutexLocker locker(&cache.lock);
        const auto known = cache.drivers.constFind(queue);
        if (known != cache.drivers.constEnd() && known->readAt.isValid() &&
            known->readAt.msecsTo(QDateTime::currentDateTimeUtc()) < kDriverCacheMs)
            return true;
    }
    Connection connection;
    if (!connection.http()) {
        *error = notAnswering();
        return false;
    }
    char file[1024] = "";
    time_t modified = 0;
    const http_status_t got =
        cupsGetPPD3(connection.call(), queue.toUtf8().constData(), &modified, file, sizeof(file));
    Driver driver;
    driver.readAt = QDateTime::currentDateTimeUtc();
    if (got == HTTP_STATUS_OK) {
        driver.ppd = ppdOpenFile(file);
        unlink(file);
    } else if (got != HTTP_STATUS_NOT_FOUND) {
        // A queue without a PPD (a raw or driverless queue without one) takes PDF.
        *error = got == HTTP_STATUS_ERROR ? notAnswering() : lastError();
        return false;
    }
    if (!driver.ppd) {
        // Not kept: the queue may be about to be set up with a driver.
        driver.readAt = QDateTime();
    } else {
        driver.format = formatOf(driver.ppd);
        driver.dotsPerInch = resolutionOf(driver.ppd);
        driver.customSizes = driver.ppd->variable_sizes != 0;
        for (int i = 0; i < driver.ppd->num_sizes; ++i) {
            const ppd_size_t& size = driver.ppd->sizes[i];
            if (QByteArray(size.name) == "Custom" || size.width <= 0 || size.length <= 0)
                continue;
            driver.papers << QPageSize(QSizeF(size.width, size.length), QPageSize::Point,
                                       QString::fromUtf8(size.name), QPageSize::ExactMatch);
            driver.paperNames << QString::fromUtf8(size.name);
        }
    }
    QMutexLocker locker(&cache.lock);
    Driver& slot = cache.drivers[queue];
    if (slot.ppd)
        ppdClose(slot.ppd);
    slot = driver;
    return true;
}

ssize_t appendTo(void* buffer, unsigned char* data, size_t length)
{
    static_cast<QByteArray*>(buffer)->append(reinterpret_cast<const char*>(data), int(length));
    return ssize_t(length);
}

} // namespace

// The page a label goes out on, as the driver wants it.
struct CupsOutput::Page
{
    Format format = Format::Pdf;
    QPageSize size;
    QString sizeName; // the driver's name of the paper (or "Custom.WxH")
    cups_page_header2_t header;
    // Where the driver's raster starts on the page, in dots.
    QPoint rasterOrigin;
};

CupsOutput::CupsOutput(const QString& queue) : LabelOutput(queue) {}

CupsOutput::~CupsOutput() = default;

QList<QPageSize> CupsOutput::papers()
{
    QString error;
    if (!loadDriver(m_name, &error))
        return {};
    QMutexLocker locker(&driverCache().lock);
    return driverCache().drivers.value(m_name).papers;
}

bool CupsOutput::open(const QPageSize& page, QString* error)
{
    if (!loadDriver(m_name, error))
        return false;
    auto chosen = std::make_unique<Page>();
    std::memset(&chosen->header, 0, sizeof(chosen->header));
    chosen->size = page;
    DriverCache& cache = driverCache();
    QMutexLocker locker(&cache.lock);
    Driver& driver = cache.drivers[m_name];
    chosen->format = driver.format;
    int dotsPerInch = driver.dotsPerInch;
    const QSizeF wanted = page.size(QPageSize::Millimeter);
    for (int i = 0; i < driver.papers.size(); ++i) {
        const QSizeF paper = driver.papers.at(i).size(QPageSize::Millimeter);
        if (qAbs(paper.width() - wanted.width()) <= kToleranceMm &&
            qAbs(paper.height() - wanted.height()) <= kToleranceMm) {
            chosen->sizeName = driver.paperNames.at(i);
            break;
        }
    }
    const QSizeF exactPoints(wanted.width() * kPointsPerMm, wanted.height() * kPointsPerMm);
    if (chosen->sizeName.isEmpty() && driver.customSizes)
        chosen->sizeName = QStringLiteral("Custom.%1x%2")
                               .arg(exactPoints.width(), 0, 'f', 2)
                               .arg(exactPoints.height(), 0, 'f', 2);

    if (chosen->format == Format::CupsRaster) {
        ppdMarkDefaults(driver.ppd);
        if (!chosen->sizeName.isEmpty())
            ppdMarkOption(driver.ppd, "PageSize", chosen->sizeName.toUtf8().constData());
        if (cupsRasterInterpretPPD(&chosen->header, driver.ppd, 0, nullptr, nullptr) != 0 ||
            chosen->header.HWResolution[0] == 0 || chosen->header.cupsWidth == 0) {
            *error = QStringLiteral("the printer's driver cannot describe the page (%1)")
                         .arg(QString::fromUtf8(cupsRasterErrorString()));
            return false;
        }
        const cups_page_header2_t& h = chosen->header;
        const bool grey = h.cupsColorSpace == CUPS_CSPACE_K || h.cupsColorSpace == CUPS_CSPACE_W ||
                          h.cupsColorSpace == CUPS_CSPACE_SW;
        if (!grey || h.cupsBitsPerColor != h.cupsBitsPerPixel ||
            (h.cupsBitsPerPixel != 1 && h.cupsBitsPerPixel != 8)) {
            // A colour driver: its own filters take the page as PDF.
            chosen->format = Format::Pdf;
        } else {
            dotsPerInch = int(h.HWResolution[0]);
            m_dotsPerInch = dotsPerInch;
            // The label fills the driver's page; the raster covers its imageable part.
            m_pagePixels = QSize(int(std::lround(h.PageSize[0] * dotsPerInch / 72.0)),
                                 int(std::lround(h.PageSize[1] * dotsPerInch / 72.0)));
            chosen->rasterOrigin =
                QPoint(int(std::lround(h.ImagingBoundingBox[0] * dotsPerInch / 72.0)),
                       int(std::lround((h.PageSize[1] - h.ImagingBoundingBox[3]) * dotsPerInch / 72.0)));
            if (h.ImagingBoundingBox[3] == 0)
                chosen->rasterOrigin.setY(0);
            m_page = std::move(chosen);
            return true;
        }
    }
    if (chosen->format == Format::PwgRaster) {
        pwg_media_t* media =
            pwgMediaForSize(int(std::lround(wanted.width() * 100)), int(std::lround(wanted.height() * 100)));
        if (!media || !cupsRasterInitPWGHeader(&chosen->header, media, "black_1", dotsPerInch, dotsPerInch,
                                               "one-sided", nullptr)) {
            *error = QStringLiteral("the printer cannot take a page of %1 x %2 mm")
                         .arg(wanted.width())
                         .arg(wanted.height());
            return false;
        }
        m_dotsPerInch = dotsPerInch;
        m_pagePixels = QSize(int(chosen->header.cupsWidth), int(chosen->header.cupsHeight));
        m_page = std::move(chosen);
        return true;
    }
    setPage(page, dotsPerInch);
    m_page = std::move(chosen);
    return true;
}

QByteArray CupsOutput::rasterDocument(const QImage& page) const
{
    const Page& target = *m_page;
    cups_page_header2_t header = target.header;
    QByteArray document;
    cups_raster_t* raster = cupsRasterOpenIO(
        appendTo, &document,
        target.format == Format::PwgRaster ? CUPS_RASTER_WRITE_PWG : CUPS_RASTER_WRITE_COMPRESSED);
    if (!raster)
        return {};
    if (!cupsRasterWriteHeader2(raster, &header)) {
        cupsRasterClose(raster);
        return {};
    }
    // Which colour index of the page is black, and how the driver writes black.
    const QImage mono =
        page.format() == QImage::Format_Mono ? page : page.convertToFormat(QImage::Format_Mono);
    const bool zeroIsBlack = qGray(mono.color(0)) < 128;
    const bool inkIsOne = header.cupsColorSpace == CUPS_CSPACE_K;
    const bool byteDots = header.cupsBitsPerPixel == 8;
    QByteArray line(int(header.cupsBytesPerLine), '\0');
    const char paper = inkIsOne ? '\0' : '\xff';
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
        line.fill(paper);
        const int sourceY = int(y) + target.rasterOrigin.y();
        if (sourceY >= 0 && sourceY < mono.height()) {
            const uchar* source = mono.constScanLine(sourceY);
            auto* dots = reinterpret_cast<uchar*>(line.data());
            for (unsigned x = 0; x < header.cupsWidth; ++x) {
                const int sourceX = int(x) + target.rasterOrigin.x();
                if (sourceX < 0 || sourceX >= mono.width())
                    continue;
                const bool bit = (source[sourceX >> 3] >> (7 - (sourceX & 7))) & 1;
                if (bit == zeroIsBlack) // white
                    continue;
                if (byteDots)
                    dots[x] = inkIsOne ? 0xff : 0x00;
                else if (inkIsOne)
                    dots[x >> 3] |= uchar(0x80 >> (x & 7));
                else
                    dots[x >> 3] &= uchar(~(0x80 >> (x & 7)));
            }
        }
        if (cupsRasterWritePixels(raster, reinterpret_cast<uchar*>(line.data()), header.cupsBytesPerLine) ==
            0) {
            cupsRasterClose(raster);
            return {};
        }
    }
    cupsRasterClose(raster);
    return document;
}

QByteArray CupsOutput::pdfDocument(const QImage& page, const QString& title) const
{
    QByteArray document;
    QBuffer buffer(&document);
    buffer.open(QIODevice::WriteOnly);
    return PdfFileOutput::writePdf(&buffer, page, m_page->size, m_dotsPerInch, title) ? document
                                                                                      : QByteArray();
}

HandOff CupsOutput::send(const QImage& page, const QString& title, const QString&, bool)
{
    HandOff result;
    if (!m_page) {
        result.error = QStringLiteral("the printer was not opened for a page");
        return result;
    }
    const bool pdf = m_page->format == Format::Pdf;
    const QByteArray document = pdf ? pdfDocument(page, title) : rasterDocument(page);
    if (document.isEmpty()) {
        result.error = QStringLiteral("the label could not be made into a print document");
        return result;
    }
    const char* mime =
        pdf ? "application/pdf"
            : (m_page->format == Format::PwgRaster ? "image/pwg-raster" : "application/vnd.cups-raster");
    Connection connection;
    if (!connection.http()) {
        result.error = notAnswering();
        return result;
    }
    const QByteArray queue = m_name.toUtf8();
    const QByteArray jobTitle = title.toUtf8();
    cups_option_t* options = nullptr;
    int optionCount = 0;
    if (pdf && !m_page->sizeName.isEmpty())
        optionCount = cupsAddOption("PageSize", m_page->sizeName.toUtf8().constData(), optionCount, &options);
    const int job =
        cupsCreateJob(connection.call(), queue.constData(), jobTitle.constData(), optionCount, options);
    cupsFreeOptions(optionCount, options);
    if (job == 0) {
        result.error = lastError();
        return result;
    }
    bool sent = cupsStartDocument(connection.call(), queue.constData(), job, jobTitle.constData(), mime, 1) ==
                HTTP_STATUS_CONTINUE;
    constexpr int kChunk = 64 * 1024;
    for (int offset = 0; sent && offset < document.size(); offset += kChunk) {
        const int length = std::min(kChunk, int(document.size()) - offset);
        sent = cupsWriteRequestData(connection.call(), document.constData() + offset, size_t(length)) ==
               HTTP_STATUS_CONTINUE;
    }
    const ipp_status_t finished =
        sent ? cupsFinishDocument(connection.call(), queue.constData()) : IPP_STATUS_ERROR_INTERNAL;
    if (!sent || finished > IPP_STATUS_OK_CONFLICTING) {
        result.error = lastError();
        if (result.error.isEmpty() || !sent)
            result.error = notAnswering();
        // A half-made job must not print later beside the label's next attempt.
        if (!cancel(job))
            qWarning() << "Job" << job << "on" << m_name << "could not be taken back after a failed hand-off";
        return result;
    }
    result.taken = true;
    result.jobId = job;
    return result;
}

PrinterStatus CupsOutput::status()
{
    PrinterStatus status;
    status.ready = false;
    Connection connection;
    if (!connection.http()) {
        status.missing = connection.noServer();
        status.reason = status.missing
                            ? QStringLiteral("the printer is not available (no print system runs here)")
                            : notAnswering();
        return status;
    }
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 printerUri(m_name).constData());
    static const char* const wanted[] = {"printer-state", "printer-state-reasons",
                                         "printer-is-accepting-jobs", "printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr, wanted);
    ipp_t* response = cupsDoRequest(connection.call(), request, "/");
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        status.missing = cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND;
        status.reason = status.missing ? QStringLiteral("the printer is not available") : notAnswering();
        ippDelete(response);
        return status;
    }
    ipp_attribute_t* state = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM);
    ipp_attribute_t* accepting = ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    QStringList reasons = blockingReasons(stringsOf(response, "printer-state-reasons"));
    if (state && ippGetInteger(state, 0) == IPP_PSTATE_STOPPED && !reasons.contains(reasonInWords("paused")))
        reasons.prepend(reasonInWords("paused"));
    if (accepting && !ippGetBoolean(accepting, 0))
        reasons.prepend(QStringLiteral("the queue does not accept jobs"));
    const QString message = stringOf(response, "printer-state-message");
    ippDelete(response);
    status.ready = reasons.isEmpty();
    status.reason = reasons.join(QStringLiteral(", "));
    if (!status.ready && !message.isEmpty())
        status.reason += QStringLiteral(" (%1)").arg(message);
    return status;
}

JobFate CupsOutput::follow(int jobId)
{
    JobFate fate;
    fate.state = JobFate::Pending;
    Connection connection;
    if (!connection.http()) {
        fate.reason = notAnswering();
        return fate;
    }
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 printerUri(m_name).constData());
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    static const char* const wanted[] = {"job-state", "job-state-reasons", "job-printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
    ipp_t* response = cupsDoRequest(connection.call(), request, "/");
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        // A job the print system no longer knows left its history: it ended long ago.
        if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND)
            fate.state = JobFate::Finished;
        else
            fate.reason = notAnswering();
        ippDelete(response);
        return fate;
    }
    ipp_attribute_t* state = ippFindAttribute(response, "job-state", IPP_TAG_ENUM);
    const int jobState = state ? ippGetInteger(state, 0) : IPP_JSTATE_COMPLETED;
    const QStringList reasons = stringsOf(response, "job-state-reasons");
    const QString message = stringOf(response, "job-printer-state-message");
    ippDelete(response);
    const QString detail = message.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(message);
    switch (jobState) {
    case IPP_JSTATE_COMPLETED:
        fate.state = JobFate::Finished;
        break;
    case IPP_JSTATE_ABORTED:
        fate.state = JobFate::Failed;
        fate.reason = QStringLiteral("the print system aborted the job%1").arg(detail);
        break;
    case IPP_JSTATE_CANCELED:
        fate.state = JobFate::Failed;
        fate.reason = QStringLiteral("the job was canceled%1").arg(detail);
        break;
    case IPP_JSTATE_STOPPED:
        fate.state = JobFate::Stuck;
        fate.reason = QStringLiteral("the job stopped%1").arg(detail);
        break;
    case IPP_JSTATE_HELD:
        fate.state = JobFate::Stuck;
        fate.reason = QStringLiteral("the job is held%1").arg(detail);
        break;
    default:
        if (reasons.contains(QLatin1String("printer-stopped"))) {
            fate.state = JobFate::Stuck;
            fate.reason = reasonInWords("paused");
        }
        break;
    }
    return fate;
}

bool CupsOutput::cancel(int jobId)
{
    Connection connection;
    if (!connection.http())
        return false;
    return cupsCancelJob2(connection.call(), m_name.toUtf8().constData(), jobId, 0) == IPP_STATUS_OK;
}
