// The stand-in Management Console: its console requests and filters, tested against the real server
// process.

#include "mc/basichttpauthenticationclient.h"
#include "mc/curlwrapper.h"
#include "mc/mcrequest.h"
#include "samplereports.h"
#include "standinprocess.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

// One request through the client's own transport: Basic credentials, the envelope as a file part.
QByteArray call(const QString& url, const QByteArray& envelope, long* status)
{
    BasicHttpAuthenticationClient auth("demo", "demo");
    return QByteArray::fromStdString(CurlWrapper::blockingMultiPartPost(
        url.toStdString(), envelope.toStdString(), status, "xmlRequest", &auth, 30, nullptr, false));
}

// A search line as the client writes them: always joined with "and".
QString line(const QString& path, const QString& value, const QString& op, const QString& type)
{
    return QStringLiteral(
               "<search path=\"%1\" value=\"%2\" operator=\"%3\" datatype=\"%4\" conjunction=\"true\" />")
        .arg(path, value, op, type);
}

const QString kCsvPath = QStringLiteral("/rest-service/report/export/csv");
const QString kXmlPath = QStringLiteral("/rest-service/report/export/xml");

// The envelope as the client writes it for a search (CSV) or an export.
QByteArray envelope(const QString& path, const QStringList& lines)
{
    return (path == kCsvPath ? McRequest::searchEnvelope(lines) : McRequest::exportEnvelope(lines)).toUtf8();
}

// The ids a search or an export selected: CSV rows, or the known reports' document ids.
QList<int> selectedIds(const QString& path, const QByteArray& body)
{
    const QRegularExpression pattern(path == kCsvPath ? QStringLiteral("^\"?(\\d+)\"?$")
                                                      : QStringLiteral("<document_id>[0-9a-f-]*(\\d{12})<"),
                                     QRegularExpression::MultilineOption);
    QList<int> ids;
    for (auto it = pattern.globalMatch(QString::fromUtf8(body)); it.hasNext();)
        ids.append(it.next().captured(1).toInt());
    return ids;
}

const QString manufacturerPath = QStringLiteral("korvex_data.korvex_hardware_report.system.manufacturer");
const QString imeiTwoPath = QStringLiteral("korvex_data.korvex_hardware_report.system.imei_two");
const QString capacityPath =
    QStringLiteral("korvex_data.korvex_erasure_report.erasures.erasure.target.capacity");
const QString info1Path = QStringLiteral("user_data.fields.info1");

struct KnownReport
{
    const char* manufacturer;
    const char* info1;
    const char* capacity;
    const char* date;
    bool exported;
    const char* imeiTwo;
};

// Five reports with values picked to tell the comparisons apart (ids 1 to 5).
const QList<KnownReport> knownReports = {
    {"Apple", "PO-1", "64", "2026-01-10 08:00:00", true, "356789104567884"},
    {"Samsung", "PO-2", "128", "2026-01-15 12:30:00", false, nullptr},
    {"Google", "PO-10", "1000", "2026-02-01 00:00:00", true, "355605720000001"},
    {"Apple", "po-4", "256", "2026-02-10 18:45:30", true, nullptr},
    {"Xiaomi", "PO_5%", "512", "2026-03-01 09:00:00", false, nullptr},
};

// Report 3 carries this, longer than several of the server's send buffers.
const QByteArray& longNotes()
{
    static const QByteArray notes = TestSupport::unrepeatedText(700 * 1024);
    return notes;
}

QByteArray knownReportXml(int id)
{
    const KnownReport& known = knownReports.at(id - 1);
    const QString imeiTwo =
        known.imeiTwo ? QStringLiteral("<entry name='imei_two'>%1</entry>").arg(known.imeiTwo) : QString();
    return QStringLiteral(
               "<?xml version='1.0' encoding='UTF-8'?>\n<root><report><korvex_data><description>"
               "<document_id>%1</document_id></description><korvex_erasure_report><entries name='erasures'>"
               "<entries name='erasure'><entry name='state'>Successful</entry><entries name='target'>"
               "<entry name='capacity' type='uint'>%2</entry></entries></entries></entries>"
               "</korvex_erasure_report><korvex_hardware_report><entries name='system'><entry "
               "name='manufacturer'>%3</entry>%4</entries></korvex_hardware_report></korvex_data><user_data>"
               "<entries name='fields'><entry "
               "name='info1'>%5</entry></entries><notes>%6</notes></user_data></report></root>\n")
        .arg(QStringLiteral("00000000-0000-4000-8000-%1").arg(id, 12, 10, QLatin1Char('0')), known.capacity,
             known.manufacturer, imeiTwo, QString(known.info1).toHtmlEscaped(),
             id == 3 ? QString::fromLatin1(longNotes()) : QString())
        .toUtf8();
}

} // namespace

class TestMcStandIn : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    std::unique_ptr<TestSupport::StandInProcess> m_server;
    QString url(const QString& path) const { return m_server->baseUrl() + path; }

private slots:
    void initTestCase()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        m_server = std::make_unique<TestSupport::StandInProcess>();
        QVERIFY(m_server->start());
        for (int id = 1; id <= knownReports.size(); ++id) {
            const KnownReport& known = knownReports.at(id - 1);
            QCOMPARE(m_server->addReport(knownReportXml(id), known.exported, known.date), id);
        }
    }

    void filters_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QList<int>>("expected");
        const QString u = QStringLiteral("uint");
        const QString s = QStringLiteral("string");
        const auto row = [](const char* name, const QStringList& lines, const QList<int>& ids) {
            QTest::newRow(name) << lines << ids;
        };
        row("no lines select all", {}, {1, 2, 3, 4, 5});
        row("uint compares numbers", {line(capacityPath, "200", "gt", u)}, {3, 4, 5});
        row("string eq is case-sensitive", {line(manufacturerPath, "apple", "eq", s)}, {});
        row("neq skips reports without the field", {line(imeiTwoPath, "356789104567884", "neq", s)}, {3});
        row("date one second apart", {line("report.report_date", "2026-02-10 18:45:29", "gt", "date")},
            {4, 5});
        row("like escaped wildcard", {line(info1Path, "PO\\_%", "like", s)}, {5});
    }

    // The search and the export select the same reports, in id order. The export is one document
    // with the reports right inside <root> (the client cuts it at those tags). The date compared is the
    // one given when a report was added (tst_poller's connectionCheck relies on it).
    void filters()
    {
        QFETCH(QStringList, lines);
        QFETCH(QList<int>, expected);
        QByteArray body; // the export's, after the loop
        for (const QString& path : {kCsvPath, kXmlPath}) {
            long status = 0;
            body = call(url(path), envelope(path, lines), &status);
            QCOMPARE(status, 200L);
            QCOMPARE(selectedIds(path, body), expected);
        }
        QVERIFY2(expected.isEmpty() ? body == "<root></root>"
                                    : body.startsWith("<root><report>") && body.endsWith("</report></root>"),
                 body.right(40).constData());
        QCOMPARE(body.contains("<notes>" + longNotes() + "</notes>"), expected.contains(3));
    }

    // Requests that are not well-formed XML are refused on both paths (what the poller's escaping
    // checks rely on). The faults are checked where they are used: a failed status and a dropped
    // connection in tst_poller, every kind the station meets in tst_edges.
    void malformedRequestsAreRefused()
    {
        for (const QByteArray& request :
             {QByteArray("report.id > 5"),
              envelope(kXmlPath, {"<search path=\"user_data.fields.info1\" value=\"a\"b\" "
                                  "operator=\"eq\" datatype=\"string\" />"})}) {
            for (const QString& path : {kCsvPath, kXmlPath}) {
                long status = 0;
                const QByteArray reply = call(url(path), request, &status);
                QCOMPARE(status, 400L);
                QVERIFY2(reply.contains("not well-formed"), reply.constData());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestMcStandIn)
#include "tst_mcstandin.moc"
