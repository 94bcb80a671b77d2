// The stand-in Management Console: its console requests, filters, control endpoints and faults,
// tested against the real server process; the report generator in-process.

#include "mc/mcrequest.h"
#include "reportgenerator.h"
#include "reportstore.h"
#include "standinprocess.h"

#include <QDomDocument>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include <curl/curl.h>

#include <memory>

namespace {

struct Reply
{
    CURLcode code = CURLE_OK;
    long status = 0;
    QByteArray body;
    QByteArray headers;
    qint64 elapsedMs = 0;
};

size_t appendTo(char* data, size_t size, size_t count, void* buffer)
{
    static_cast<QByteArray*>(buffer)->append(data, int(size * count));
    return size * count;
}

// One request the way the client makes it: Basic authentication, the envelope as a file part
// named "xmlRequest" when there is one.
Reply call(const QString& url, const QByteArray& envelope = {}, const char* credentials = "demo:demo",
           bool verifyTls = false, const char* formField = "xmlRequest")
{
    Reply reply;
    CURL* curl = curl_easy_init();
    const QByteArray address = url.toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, verifyTls ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, verifyTls ? 2L : 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendTo);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, appendTo);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.headers);
    if (credentials) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
        curl_easy_setopt(curl, CURLOPT_USERPWD, credentials);
    }
    curl_mime* mime = nullptr;
    if (!envelope.isNull()) {
        mime = curl_mime_init(curl);
        curl_mimepart* part = curl_mime_addpart(mime);
        curl_mime_name(part, formField);
        curl_mime_filename(part, "request.xml");
        curl_mime_data(part, envelope.constData(), size_t(envelope.size()));
        curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    }
    QElapsedTimer timer;
    timer.start();
    reply.code = curl_easy_perform(curl);
    reply.elapsedMs = timer.elapsed();
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_mime_free(mime);
    curl_easy_cleanup(curl);
    return reply;
}

QByteArray control(const QString& url)
{
    return call(url, {}, nullptr).body;
}

QString line(const QString& path, const QString& value, const QString& op, const QString& type,
             const QString& conjunction = QStringLiteral("true"))
{
    return QStringLiteral(
               "<search path=\"%1\" value=\"%2\" operator=\"%3\" datatype=\"%4\" conjunction=\"%5\" />")
        .arg(path, value, op, type, conjunction);
}

// The envelopes as the client writes them.
QByteArray csvEnvelope(const QStringList& lines)
{
    return McRequest::searchEnvelope(lines).toUtf8();
}

QByteArray xmlEnvelope(const QStringList& lines)
{
    return McRequest::exportEnvelope(lines).toUtf8();
}

// Ids in a CSV reply, read the way the client reads them.
QList<int> csvIds(const QByteArray& body)
{
    QList<int> ids;
    for (const QString& row : QString::fromUtf8(body).remove(QLatin1Char('"')).split(QLatin1Char('\n'))) {
        bool ok = false;
        const int id = row.toInt(&ok);
        if (ok)
            ids.append(id);
    }
    return ids;
}

// Report documents of an export reply, cut the way the client cuts them.
QStringList exportedDocuments(const QByteArray& body)
{
    const QString text = QString::fromUtf8(body);
    const int root = text.indexOf(QLatin1String("<root>"));
    if (root < 0)
        return {};
    QStringList parts = text.mid(root + 6).split(QStringLiteral("</report>"));
    parts.removeLast();
    for (QString& part : parts)
        part = QLatin1String("<root>") + part + QLatin1String("</report></root>");
    return parts;
}

const QString manufacturerPath = QStringLiteral("korvex_data.korvex_hardware_report.system.manufacturer");
const QString modelPath = QStringLiteral("korvex_data.korvex_hardware_report.system.model");
const QString imeiTwoPath = QStringLiteral("korvex_data.korvex_hardware_report.system.imei_two");
const QString capacityPath =
    QStringLiteral("korvex_data.korvex_erasure_report.erasures.erasure.target.capacity");
const QString info1Path = QStringLiteral("user_data.fields.info1");

struct KnownReport
{
    const char* manufacturer;
    const char* model;
    const char* info1;
    QStringList capacities;
    const char* date;
    bool exported;
    const char* imeiTwo;
};

// Five reports with values picked to tell the comparisons apart (ids 1 to 5).
const QList<KnownReport> knownReports = {
    {"Apple", "iPhone 12 128GB Blue", "PO-1", {"64"}, "2026-01-10 08:00:00", true, "356789104567884"},
    {"Samsung", "Galaxy S21 128GB Gray", "PO-2", {"128"}, "2026-01-15 12:30:00", false, nullptr},
    {"Google", "Pixel 7 256GB Snow", "PO-10", {"1000"}, "2026-02-01 00:00:00", true, "355605720000001"},
    {"Apple", "iPhone 13 Pro 256GB Graphite", "po-4", {"256"}, "2026-02-10 18:45:30", true, nullptr},
    {"Xiaomi", "Xiaomi 12 256GB Purple", "PO_5%", {"512", "32"}, "2026-03-01 09:00:00", false, nullptr},
};

QString knownUuid(int id)
{
    return QStringLiteral("00000000-0000-4000-8000-%1").arg(id, 12, 10, QLatin1Char('0'));
}

QByteArray knownReportXml(int id)
{
    const KnownReport& known = knownReports.at(id - 1);
    QString erasures;
    for (const QString& capacity : known.capacities)
        erasures +=
            QStringLiteral("<entries name=\"erasure\"><entry name=\"state\">Successful</entry>"
                           "<entries name=\"target\"><entry name=\"capacity\" type=\"uint\">%1</entry>"
                           "</entries></entries>")
                .arg(capacity);
    const QString imeiTwo =
        known.imeiTwo
            ? QStringLiteral("<entry name=\"imei_two\">%1</entry>").arg(QLatin1String(known.imeiTwo))
            : QString();
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><report><korvex_data><description>"
               "<document_id>%1</document_id><document_log>"
               "<log_entry><product_name id=\"51\" name=\"Korvex Management Console\">Korvex Management "
               "Console"
               "</product_name><date>2026-06-01T00:00:00Z</date></log_entry>"
               "<log_entry><product_name id=\"23\" name=\"Korvex Mobile Eraser\">Korvex Mobile "
               "Eraser</product_name>"
               "<date>2025-12-01T09:14:05+02:00</date></log_entry></document_log></description>"
               "<korvex_erasure_report><entries name=\"erasures\">%2</entries></korvex_erasure_report>"
               "<korvex_hardware_report><entries name=\"system\"><entry name=\"manufacturer\">%3</entry>"
               "<entry name=\"model\">%4</entry>%5</entries></korvex_hardware_report></korvex_data>"
               "<user_data><entries name=\"fields\"><entry name=\"info1\">%6</entry></entries></user_data>"
               "</report></root>\n")
        .arg(knownUuid(id), erasures, QLatin1String(known.manufacturer), QLatin1String(known.model), imeiTwo,
             QString(QLatin1String(known.info1)).toHtmlEscaped())
        .toUtf8();
}

} // namespace

class TestMcStandIn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void authentication_data();
    void authentication();
    void filters_data();
    void filters();
    void watermarkSearchAsTheClientSendsIt();
    void csvColumnsAndDelimiter();
    void xmlExportShapeAndOrder();
    void unparseableRequests_data();
    void unparseableRequests();
    void controlEndpoints();
    void faults_data();
    void faults();
    void faultUntilCleared();
    void initialReportsAndSeed();
    void arrivalRate();

    void luhnCheckDigit_data();
    void luhnCheckDigit();
    void generatedReportsAreRealistic();

private:
    QString url(const QString& path) const { return m_server->baseUrl() + path; }

    std::unique_ptr<TestSupport::StandInProcess> m_server;
};

void TestMcStandIn::initTestCase()
{
    m_server = std::make_unique<TestSupport::StandInProcess>();
    QVERIFY(m_server->start());
    QVERIFY(m_server->port() > 0);
    for (int id = 1; id <= knownReports.size(); ++id) {
        const KnownReport& known = knownReports.at(id - 1);
        QCOMPARE(m_server->addReport(knownReportXml(id), known.exported, QLatin1String(known.date)), id);
    }
}

void TestMcStandIn::cleanup()
{
    QVERIFY(m_server->clearFaults());
}

void TestMcStandIn::authentication_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("envelope");
    const QByteArray all = xmlEnvelope({});
    QTest::newRow("time") << "/mc/time" << QByteArray();
    QTest::newRow("legacy time") << "/bls/bls.asp?cmd=time" << QByteArray();
    QTest::newRow("csv search") << "/rest-service/report/export/csv" << csvEnvelope({});
    QTest::newRow("xml export") << "/rest-service/report/export/xml" << all;
}

void TestMcStandIn::authentication()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, envelope);
    for (const char* credentials : {static_cast<const char*>(nullptr), "demo:wrong", "nobody:demo"}) {
        const Reply refused = call(url(path), envelope, credentials);
        QCOMPARE(refused.status, 401L);
        QVERIFY2(refused.headers.contains("WWW-Authenticate: Basic realm=\""), refused.headers.constData());
    }
    QCOMPARE(call(url(path), envelope).status, 200L);
}

void TestMcStandIn::filters_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<int>>("expected");
    const QString u = QStringLiteral("uint");
    const QString s = QStringLiteral("string");
    const QString d = QStringLiteral("date");
    const QString id = QStringLiteral("report.id");
    const QString date = QStringLiteral("report.report_date");

    QTest::newRow("no lines select all") << QStringList() << QList<int>{1, 2, 3, 4, 5};
    QTest::newRow("uint eq") << QStringList{line(id, "2", "eq", u)} << QList<int>{2};
    QTest::newRow("uint neq") << QStringList{line(id, "2", "neq", u)} << QList<int>{1, 3, 4, 5};
    QTest::newRow("uint lt") << QStringList{line(id, "3", "lt", u)} << QList<int>{1, 2};
    QTest::newRow("uint gt") << QStringList{line(id, "3", "gt", u)} << QList<int>{4, 5};
    QTest::newRow("uint lte") << QStringList{line(id, "3", "lte", u)} << QList<int>{1, 2, 3};
    QTest::newRow("uint gte") << QStringList{line(id, "4", "gte", u)} << QList<int>{4, 5};
    QTest::newRow("uint compares numbers")
        << QStringList{line(capacityPath, "200", "gt", u)} << QList<int>{3, 4, 5};
    QTest::newRow("string compares text")
        << QStringList{line(capacityPath, "200", "gt", s)} << QList<int>{1, 4, 5};
    QTest::newRow("any value of several")
        << QStringList{line(capacityPath, "100", "lt", u)} << QList<int>{1, 5};
    QTest::newRow("neq means no value equal")
        << QStringList{line(capacityPath, "512", "neq", u)} << QList<int>{1, 2, 3, 4};
    QTest::newRow("was_exported eq") << QStringList{line("report.was_exported", "1", "eq", u)}
                                     << QList<int>{1, 3, 4};

    QTest::newRow("string eq") << QStringList{line(manufacturerPath, "Apple", "eq", s)} << QList<int>{1, 4};
    QTest::newRow("string eq is case-sensitive")
        << QStringList{line(manufacturerPath, "apple", "eq", s)} << QList<int>{};
    QTest::newRow("neq skips reports without the field")
        << QStringList{line(imeiTwoPath, "356789104567884", "neq", s)} << QList<int>{3};
    QTest::newRow("path that no report has")
        << QStringList{line("korvex_data.nothing.here", "x", "eq", s)} << QList<int>{};
    QTest::newRow("uuid eq") << QStringList{line("report.uuid", knownUuid(3), "eq", s)} << QList<int>{3};

    QTest::newRow("date eq") << QStringList{line(date, "2026-01-15 12:30:00", "eq", d)} << QList<int>{2};
    QTest::newRow("date gt") << QStringList{line(date, "2026-01-15 12:30:00", "gt", d)}
                             << QList<int>{3, 4, 5};
    QTest::newRow("date one second apart")
        << QStringList{line(date, "2026-02-10 18:45:29", "gt", d)} << QList<int>{4, 5};

    QTest::newRow("like prefix") << QStringList{line(modelPath, "iPhone%", "like", s)} << QList<int>{1, 4};
    QTest::newRow("like infix") << QStringList{line(modelPath, "%128GB%", "like", s)} << QList<int>{1, 2};
    QTest::newRow("like one character")
        << QStringList{line(info1Path, "PO-_", "like", s)} << QList<int>{1, 2};
    QTest::newRow("like wildcards") << QStringList{line(info1Path, "PO_%", "like", s)}
                                    << QList<int>{1, 2, 3, 5};
    QTest::newRow("like escaped wildcard")
        << QStringList{line(info1Path, "PO\\_%", "like", s)} << QList<int>{5};
    QTest::newRow("like is case-sensitive")
        << QStringList{line(info1Path, "po-%", "like", s)} << QList<int>{4};

    QTest::newRow("and") << QStringList{line(manufacturerPath, "Apple", "eq", s), line(id, "1", "gt", u)}
                         << QList<int>{4};
    QTest::newRow("or") << QStringList{line(manufacturerPath, "Samsung", "eq", s),
                                       line(manufacturerPath, "Google", "eq", s, "false")}
                        << QList<int>{2, 3};
    QTest::newRow("and binds tighter than or")
        << QStringList{line(manufacturerPath, "Apple", "eq", s), line(id, "1", "gt", u),
                       line(manufacturerPath, "Xiaomi", "eq", s, "false")}
        << QList<int>{4, 5};
    QTest::newRow("the poller's lines") << QStringList{line("report.was_exported", "1", "eq", u),
                                                       line(id, "1", "gt", u), line(id, "4", "lte", u)}
                                        << QList<int>{3, 4};
}

void TestMcStandIn::filters()
{
    QFETCH(QStringList, lines);
    QFETCH(QList<int>, expected);

    const Reply csv = call(url("/rest-service/report/export/csv"), csvEnvelope(lines));
    QCOMPARE(csv.status, 200L);
    QCOMPARE(csvIds(csv.body), expected);

    // The export selects the same reports.
    const Reply xml = call(url("/rest-service/report/export/xml"), xmlEnvelope(lines));
    QCOMPARE(xml.status, 200L);
    QList<int> exported;
    for (const QString& text : exportedDocuments(xml.body)) {
        QDomDocument document;
        QVERIFY(document.setContent(text));
        // The known reports carry their id in the last digits of their document id.
        exported.append(document.elementsByTagName("document_id").at(0).toElement().text().right(12).toInt());
    }
    QCOMPARE(exported, expected);
}

void TestMcStandIn::watermarkSearchAsTheClientSendsIt()
{
    // The connection check's search text.
    const QString search = McRequest::idSearch(
        true, 1, McRequest::reportDateLine(QDateTime(QDate(2026, 1, 12), QTime(0, 0, 0))));
    const Reply reply = call(url("/rest-service/report/export/csv"), csvEnvelope({search}));
    QCOMPARE(reply.status, 200L);
    QCOMPARE(csvIds(reply.body), (QList<int>{3, 4}));
}

void TestMcStandIn::csvColumnsAndDelimiter()
{
    const QString columns =
        QStringLiteral(
            "<reportColumns><columnPath>report.id</columnPath><columnPath>%1</columnPath>"
            "<columnPath>report.report_date</columnPath><columnPath>%2</columnPath></reportColumns>"
            "<csv-options csvLanguage=\"en_US\" delimiter=\",\" subDelimiter=\"|\"/>")
            .arg(info1Path, capacityPath);
    const Reply reply = call(
        url("/rest-service/report/export/csv"),
        csvEnvelope({line("report.id", "2", "gte", "uint"), line("report.id", "5", "lte", "uint"), columns}));
    QCOMPARE(reply.status, 200L);
    const QStringList rows = QString::fromUtf8(reply.body).split(QLatin1Char('\n'));
    QCOMPARE(
        rows.value(0),
        QStringLiteral("\"report.id\",\"%1\",\"report.report_date\",\"%2\"").arg(info1Path, capacityPath));
    QCOMPARE(rows.value(1), QStringLiteral("\"2\",\"PO-2\",\"2026-01-15 12:30:00\",\"128\""));
    // Several values at one path join with the sub-delimiter.
    QCOMPARE(rows.value(4), QStringLiteral("\"5\",\"PO_5%\",\"2026-03-01 09:00:00\",\"512|32\""));
    QCOMPARE(rows.size(), 6); // header, four rows and the empty part after the last "\n"
    QVERIFY(rows.last().isEmpty());
}

void TestMcStandIn::xmlExportShapeAndOrder()
{
    const Reply reply =
        call(url("/rest-service/report/export/xml"), xmlEnvelope({line("report.id", "0", "gt", "uint")}));
    QCOMPARE(reply.status, 200L);
    QVERIFY(reply.body.startsWith("<root><report>"));
    QVERIFY(reply.body.endsWith("</report></root>"));

    const QStringList documents = exportedDocuments(reply.body);
    QCOMPARE(documents.size(), knownReports.size());
    for (int i = 0; i < documents.size(); ++i) {
        QDomDocument document;
        QVERIFY2(document.setContent(documents.at(i)), qPrintable(documents.at(i)));
        QCOMPARE(document.elementsByTagName("document_id").at(0).toElement().text(), knownUuid(i + 1));
        // The date given when the report was added replaced the product's date in the report.
        const QDomNodeList dates = document.elementsByTagName("date");
        QCOMPARE(dates.size(), 2);
        const QDateTime productDate = QDateTime::fromString(dates.at(1).toElement().text(), Qt::ISODate);
        QCOMPARE(ReportStore::formatDate(productDate), QLatin1String(knownReports.at(i).date));
        QCOMPARE(dates.at(0).toElement().text(), QStringLiteral("2026-06-01T00:00:00Z"));
    }

    const Reply none =
        call(url("/rest-service/report/export/xml"), xmlEnvelope({line("report.id", "99", "gt", "uint")}));
    QCOMPARE(none.status, 200L);
    QCOMPARE(none.body, QByteArray("<root></root>"));
}

void TestMcStandIn::unparseableRequests_data()
{
    QTest::addColumn<QByteArray>("envelope");
    QTest::addColumn<QByteArray>("formField");
    QTest::addColumn<QString>("reason");
    const QByteArray field("xmlRequest");
    QTest::newRow("not xml") << QByteArray("report.id > 5") << field << "not well-formed";
    QTest::newRow("unescaped quote in a value")
        << xmlEnvelope({"<search path=\"user_data.fields.info1\" value=\"a\"b\" operator=\"eq\" "
                        "datatype=\"string\" />"})
        << field << "not well-formed";
    QTest::newRow("other root") << QByteArray("<query><export-report/></query>") << field << "<request>";
    QTest::newRow("no export-report") << QByteArray("<request/>") << field << "export-report";
    QTest::newRow("unknown operator")
        << xmlEnvelope({line("report.id", "1", "between", "uint")}) << field << "operator";
    QTest::newRow("unknown datatype")
        << xmlEnvelope({line("report.id", "1", "eq", "float")}) << field << "datatype";
    QTest::newRow("uint value not a number")
        << xmlEnvelope({line("report.id", "abc", "gt", "uint")}) << field << "number";
    QTest::newRow("date value not a date")
        << xmlEnvelope({line("report.report_date", "yesterday", "gt", "date")}) << field << "date";
    QTest::newRow("search without path")
        << xmlEnvelope({"<search value=\"1\" operator=\"eq\" datatype=\"uint\"/>"}) << field << "path";
    QTest::newRow("form part missing") << xmlEnvelope({}) << QByteArray("request") << "xmlRequest";
}

void TestMcStandIn::unparseableRequests()
{
    QFETCH(QByteArray, envelope);
    QFETCH(QByteArray, formField);
    QFETCH(QString, reason);
    for (const char* format : {"csv", "xml"}) {
        const Reply reply = call(url(QStringLiteral("/rest-service/report/export/") + QLatin1String(format)),
                                 envelope, "demo:demo", false, formField.constData());
        QCOMPARE(reply.status, 400L);
        QVERIFY2(QString::fromUtf8(reply.body).contains(reason), reply.body.constData());
    }
    QCOMPARE(call(url("/mc/time")).status, 200L);
}

void TestMcStandIn::controlEndpoints()
{
    TestSupport::StandInProcess server;
    QVERIFY(server.start());

    QCOMPARE(server.addReport(knownReportXml(1), true, "2026-05-04 03:02:01"), 1);
    // A bare <report> element without declaration, and without a date: it keeps the product's date.
    QByteArray bare = knownReportXml(2);
    bare = bare.mid(bare.indexOf("<report>"));
    bare.chop(bare.size() - bare.lastIndexOf("</report>") - 9);
    QCOMPARE(server.addReport(bare), 2);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused the report"));
    QCOMPARE(server.addReport("<report><unclosed></report>"), -1);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused the report"));
    QCOMPARE(server.addReport("<device/>"), -1);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused the report"));
    QCOMPARE(server.addReport("<root><report/><report/></root>"), -1);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused the report"));
    QCOMPARE(server.addReport(knownReportXml(3), false, "not a date"), -1);
    // Deep nesting is refused instead of exhausting the server's stack.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused the report"));
    QCOMPARE(server.addReport("<report>" + QByteArray("<a>").repeated(100000) +
                              QByteArray("</a>").repeated(100000) + "</report>"),
             -1);

    // Reports larger than a form body limit still go in.
    QByteArray large = knownReportXml(4);
    large.replace("<entry name=\"info1\">",
                  "<entry name=\"notes\">" + QByteArray(40000, 'x') + "</entry><entry name=\"info1\">");
    QCOMPARE(server.addReport(large, true), 3);

    QCOMPARE(server.generate(3), (QList<int>{4, 5, 6}));

    const QJsonArray list = QJsonDocument::fromJson(control(server.baseUrl() + "/standin/reports")).array();
    QCOMPARE(list.size(), 6);
    const QJsonObject first = list.at(0).toObject();
    QCOMPARE(first.value("id").toInt(), 1);
    QCOMPARE(first.value("date").toString(), QStringLiteral("2026-05-04 03:02:01"));
    QCOMPARE(first.value("exported").toBool(), true);
    QCOMPARE(first.value("uuid").toString(), knownUuid(1));
    QCOMPARE(first.value("issue").toBool(), false);
    const QJsonObject second = list.at(1).toObject();
    QCOMPARE(second.value("exported").toBool(), false);
    QCOMPARE(second.value("date").toString(),
             ReportStore::formatDate(QDateTime::fromString("2025-12-01T09:14:05+02:00", Qt::ISODate)));
    // Generated reports arrive dated now.
    const QDateTime generated =
        QDateTime::fromString(list.at(5).toObject().value("date").toString(), "yyyy-MM-dd hh:mm:ss");
    QVERIFY(qAbs(generated.secsTo(QDateTime::currentDateTime())) <= 5);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused the fault"));
    QVERIFY(!server.setFault("/mc/time", "explode"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused the fault"));
    QVERIFY(!server.setFault("/mc/time", "status", 500, 0, 0));
    QVERIFY(server.generate(0).isEmpty());
}

void TestMcStandIn::faults_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("delayMs");
    QTest::newRow("status on export") << "/rest-service/report/export/xml"
                                      << "status" << 500 << 0;
    QTest::newRow("garbage on time") << "/mc/time"
                                     << "garbage" << 0 << 0;
    QTest::newRow("drop on search") << "/rest-service/report/export/csv"
                                    << "drop" << 0 << 0;
    QTest::newRow("delay on legacy time") << "/bls/bls.asp"
                                          << "delay" << 0 << 700;
}

void TestMcStandIn::faults()
{
    QFETCH(QString, path);
    QFETCH(QString, kind);
    QFETCH(int, status);
    QFETCH(int, delayMs);

    const QString target = path == QLatin1String("/bls/bls.asp") ? path + QStringLiteral("?cmd=time") : path;
    const QByteArray envelope = path.startsWith(QLatin1String("/rest-service"))
                                    ? xmlEnvelope({line("report.id", "0", "gt", "uint")})
                                    : QByteArray();
    QVERIFY(m_server->setFault(path, kind, status, delayMs, 1));

    // A fault on one path leaves the others alone.
    const QString other = path == QLatin1String("/mc/time") ? QStringLiteral("/bls/bls.asp?cmd=time")
                                                            : QStringLiteral("/mc/time");
    QCOMPARE(call(url(other)).status, 200L);

    const Reply faulty = call(url(target), envelope);
    if (kind == QLatin1String("status")) {
        QCOMPARE(faulty.status, long(status));
        QVERIFY(!faulty.body.isEmpty());
    } else if (kind == QLatin1String("garbage")) {
        QCOMPARE(faulty.status, 200L);
        bool isNumber = false;
        faulty.body.trimmed().toLongLong(&isNumber);
        QVERIFY(!isNumber);
        QVERIFY(!faulty.body.contains("<root>"));
        QDomDocument document;
        QVERIFY(!document.setContent(faulty.body));
    } else if (kind == QLatin1String("drop")) {
        QCOMPARE(faulty.code, CURLE_GOT_NOTHING);
        QCOMPARE(faulty.status, 0L);
    } else {
        QCOMPARE(faulty.status, 200L);
        QVERIFY2(faulty.elapsedMs >= delayMs, qPrintable(QString::number(faulty.elapsedMs)));
    }

    // Used up after one request.
    const Reply next = call(url(target), envelope);
    QCOMPARE(next.code, CURLE_OK);
    QCOMPARE(next.status, 200L);
    QVERIFY(next.elapsedMs < 600);
}

void TestMcStandIn::faultUntilCleared()
{
    QVERIFY(m_server->setFault("/mc/time", "status", 500, 0, -1));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(call(url("/mc/time")).status, 500L);
    QVERIFY(m_server->clearFaults());
    QCOMPARE(call(url("/mc/time")).status, 200L);
}

void TestMcStandIn::initialReportsAndSeed()
{
    const QStringList args{QStringLiteral("--reports"), QStringLiteral("30"), QStringLiteral("--seed"),
                           QStringLiteral("7")};
    TestSupport::StandInProcess first(args);
    TestSupport::StandInProcess second(args);
    QVERIFY(first.start());
    QVERIFY(second.start());

    const QJsonArray listing = QJsonDocument::fromJson(control(first.baseUrl() + "/standin/reports")).array();
    const QJsonArray again = QJsonDocument::fromJson(control(second.baseUrl() + "/standin/reports")).array();
    QCOMPARE(listing.size(), 30);
    QCOMPARE(again.size(), 30);

    const QDateTime now = QDateTime::currentDateTime();
    QDateTime previous;
    int olderThan27Days = 0;
    for (int i = 0; i < listing.size(); ++i) {
        const QJsonObject report = listing.at(i).toObject();
        const QJsonObject twin = again.at(i).toObject();
        QCOMPARE(report.value("id").toInt(), i + 1);
        // Same seed, same reports.
        QCOMPARE(report.value("uuid"), twin.value("uuid"));
        QCOMPARE(report.value("exported"), twin.value("exported"));
        QCOMPARE(report.value("issue"), twin.value("issue"));

        const QDateTime date = QDateTime::fromString(report.value("date").toString(), "yyyy-MM-dd hh:mm:ss");
        QVERIFY(date.isValid());
        QVERIFY(date.daysTo(now) <= 41);
        QVERIFY(date < now);
        QVERIFY(!previous.isValid() || previous < date);
        previous = date;
        if (date.daysTo(now) > 27)
            ++olderThan27Days;
    }
    QVERIFY(olderThan27Days >= 5 && olderThan27Days <= 15);
}

void TestMcStandIn::arrivalRate()
{
    TestSupport::StandInProcess server({QStringLiteral("--rate"), QStringLiteral("20")});
    QVERIFY(server.start());
    QJsonArray listing;
    QTRY_VERIFY_WITH_TIMEOUT(
        (listing = QJsonDocument::fromJson(control(server.baseUrl() + "/standin/reports")).array()).size() >=
            3,
        5000);
    const QDateTime date =
        QDateTime::fromString(listing.at(0).toObject().value("date").toString(), "yyyy-MM-dd hh:mm:ss");
    QVERIFY(qAbs(date.secsTo(QDateTime::currentDateTime())) <= 5);
}

void TestMcStandIn::luhnCheckDigit_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("digit");
    QTest::newRow("imei") << "49015420323751" << 8;
    QTest::newRow("imei ending in 9") << "35678910456789" << 4;
    QTest::newRow("textbook") << "7992739871" << 3;
    QTest::newRow("zero") << "00000000000000" << 0;
}

void TestMcStandIn::luhnCheckDigit()
{
    QFETCH(QString, body);
    QFETCH(int, digit);
    QCOMPARE(ReportGenerator::luhnCheckDigit(body), digit);
}

void TestMcStandIn::generatedReportsAreRealistic()
{
    ReportGenerator generator(1);
    const QDateTime date(QDate(2026, 11, 3), QTime(10, 20, 30));
    const QRegularExpression uuidPattern(
        "^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$");
    QSet<QString> manufacturers, states, summaries, uuids;
    QSet<QString> computerMakers;
    int issues = 0;
    int notExported = 0;
    int computers = 0;
    const int count = 300;
    for (int i = 0; i < count; ++i) {
        const ReportGenerator::Report report = generator.next(date);
        ReportStore::Record record;
        QString error;
        QVERIFY2(ReportStore::parseReport(report.xml, std::nullopt, &record, &error), qPrintable(error));
        QCOMPARE(record.date, date);
        QVERIFY(uuidPattern.match(record.uuid).hasMatch());
        uuids.insert(record.uuid);
        QCOMPARE(record.issue, report.issue);
        issues += report.issue ? 1 : 0;
        notExported += report.exported ? 0 : 1;

        const QString chassis =
            record.index.values("korvex_data.korvex_hardware_report.system.chassis_type").value(0);
        if (chassis != "Phone") {
            // A computer erased by the drive eraser: its disk is the erased target.
            QVERIFY2(chassis == "Laptop" || chassis == "Desktop", qPrintable(chassis));
            ++computers;
            const QString disk =
                record.index.values("korvex_data.korvex_hardware_report.disks.disk.serial").value(0);
            QCOMPARE(disk.size(), 12);
            QCOMPARE(record.index.values("korvex_data.korvex_erasure_report.erasures.erasure.target.serial")
                         .value(0),
                     disk);
            computerMakers.insert(
                record.index.values("korvex_data.korvex_hardware_report.system.manufacturer").value(0));
            continue;
        }
        const QString imei = record.index.values("korvex_data.korvex_hardware_report.system.imei").value(0);
        QCOMPARE(imei.size(), 15);
        QCOMPARE(ReportGenerator::luhnCheckDigit(imei.left(14)), imei.at(14).digitValue());
        QVERIFY(
            record.index.values("korvex_data.korvex_hardware_report.system.model").value(0).contains("GB"));
        QVERIFY(!record.index.values("user_data.fields.info1").isEmpty());
        manufacturers.insert(
            record.index.values("korvex_data.korvex_hardware_report.system.manufacturer").value(0));
        if (!report.issue) {
            states.insert(
                record.index.values("korvex_data.korvex_erasure_report.erasures.erasure.state").value(0));
            summaries.insert(
                record.index.values("korvex_data.korvex_hardware_report.hardware_tests.summary").value(0));
        }
    }
    QCOMPARE(uuids.size(), count);
    QCOMPARE(manufacturers, (QSet<QString>{"Apple", "Samsung", "Google", "Motorola", "Xiaomi"}));
    QCOMPARE(states, (QSet<QString>{"Successful", "Failed"}));
    QCOMPARE(computerMakers, (QSet<QString>{"Dell Inc.", "HP", "Lenovo"}));
    QVERIFY2(computers >= 40 && computers <= 110, qPrintable(QString::number(computers))); // about 1 in 4
    QVERIFY(summaries.contains("failed") && summaries.contains("successful"));
    QVERIFY2(issues >= 8 && issues <= 35, qPrintable(QString::number(issues))); // about 1 in 15
    QVERIFY2(notExported >= 25 && notExported <= 80, qPrintable(QString::number(notExported)));
}

QTEST_GUILESS_MAIN(TestMcStandIn)
#include "tst_mcstandin.moc"
