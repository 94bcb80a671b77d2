// The station at its edges, against the stand-in console: replies that are not a usable export,
// reports, layouts and printers that cannot be printed on, a console whose ids went back or that is
// down at start, a damaged settings file and a hang-up signal. Each case counts the labels: none lost,
// none printed twice, none blank. Also the Report Log's console ids, which need the whole station.

#include "app/popupnoteprovider.h"
#include "app/viewer.h"
#include "mc/xmlpoller.h"
#include "printing/fileprinter.h"
#include "printing/layoutmanager.h"
#include "printing/printhandler.h"
#include "printing/printspool.h"
#include "printing/reportlistmodel.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"
#include "settings/watermark.h"
#include "standinprocess.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTcpServer>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>

namespace {

using TestSupport::labelFiles;
using TestSupport::labelsOf;
using TestSupport::linesOf;
using TestSupport::readAll;
using TestSupport::StandInProcess;
using TestSupport::Station;

QByteArray variant(int n)
{
    return TestSupport::sampleReportVariant("Apple", n);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

void discardFailed(Station& station)
{
    for (const SpoolEntry& e : station.handler()->spool()->failed())
        station.handler()->discardEntry(e.id);
}

} // namespace

class TestEdges : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    QString m_labels;
    QString m_csv;
    int m_case = 0;

    // One active job for every report, printing `layout` on the built-in PDF printer, from the console
    // on `port`.
    void prepareStation(int port, int watermark, const QString& layout = QStringLiteral("Edge label"))
    {
        QDir(m_labels).removeRecursively();
        ReportListModel::instance()->setReportLogPath(m_csv);
        QVERIFY(TestSupport::prepareStation(port, m_labels, m_csv, FilePrinter::kName));
        QVERIFY(
            TestSupport::writeLayout("Edge label", TestSupport::smallLayout("Edge label", "<IMEI> <model>")));
        SettingsManager* s = SettingsManager::instance();
        s->setValue("jobs/all/layout", layout, true);
        s->setValue("MC/lastReportId", watermark, true);
        s->flush();
    }

    // The stand-in started with exported sample reports 1 to `count`, the station set up for it.
    bool startConsole(StandInProcess& server, int count, int watermark = 0,
                      const QString& layout = QStringLiteral("Edge label"))
    {
        if (!server.start())
            return false;
        prepareStation(server.port(), watermark, layout);
        for (int n = 1; n <= count; ++n)
            if (server.addReport(variant(n), true) != n)
                return false;
        return true;
    }

private slots:
    void initTestCase()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        QVERIFY(SettingsManager::instance());
        m_labels = m_root->path() + "/labels";
    }

    // Each case its own printed-reports log: the log keeps its file open.
    void init() { m_csv = QStringLiteral("%1/PrintedReports-%2.csv").arg(m_root->path()).arg(++m_case); }

    // One station through replies that are not a whole export (a failed status, garbage, cut short,
    // connection lost in the body: they keep the range, nothing prints from them and every report prints
    // once, later), and a report it cannot read.
    void unusableRepliesAndReports()
    {
        auto server = std::make_unique<StandInProcess>();
        QVERIFY(startConsole(*server, 5));
        Station station;
        QVERIFY(station.connected());
        for (const char* fault : {"status", "garbage", "truncate", "cut"}) {
            QVERIFY(server->setFault("/rest-service/report/export/xml", fault));
            station.pollNow();
            QVERIFY2(labelFiles(m_labels).isEmpty(), fault);
        }
        station.pollNow();
        for (int n = 1; n <= 5; ++n) {
            QCOMPARE(labelsOf(m_labels, n), 1);
            QCOMPARE(linesOf(m_csv, n), 1);
        }
        QCOMPARE(labelFiles(m_labels).size(), 5);

        // A report that cannot be read (nested too deep) prints no blank label: it goes to the failed
        // list. Stored as is: only the report element, no declaration or <root> inside the export.
        QByteArray deep = variant(6);
        deep = deep.left(deep.lastIndexOf("</report>") + 9).mid(deep.indexOf("<report"));
        deep.insert(deep.lastIndexOf("</report>"),
                    QByteArray("<n>").repeated(300) + QByteArray("</n>").repeated(300));
        QCOMPARE(server->addRawReport(deep), 6);
        QCOMPARE(server->addReport(variant(7), true), 7);
        const int failedBefore = station.handler()->failedLabels();
        station.pollNow();
        QCOMPARE(station.handler()->failedLabels(), failedBefore + 1);
        QCOMPARE(labelsOf(m_labels, 6), 0);
        QCOMPARE(labelsOf(m_labels, 7), 1);
        QCOMPARE(labelFiles(m_labels).size(), 6);
        QCOMPARE(readAll(m_csv).trimmed().count('\n'), 6); // the header and the printed reports
        discardFailed(station);
    }

    // A console that numbers its reports from 1 again: with new reports past the watermark's id (the
    // report at the watermark is another one), and with fewer reports than the watermark. Either is
    // said once and nothing prints until the user continues from the report offered; then every new
    // report prints once and none printed before prints again.
    void consoleIdsStartAgain()
    {
        auto server = std::make_unique<StandInProcess>();
        QVERIFY(startConsole(*server, 5));
        Station station;
        QVERIFY(station.connected());
        station.pollNow();
        QCOMPARE(labelFiles(m_labels).size(), 5);

        // Restored empty, then eight reports before the next poll: ids 1 to 8 again.
        const auto restart = [&](int first, int last) {
            const int port = server->port();
            server.reset();
            server = std::make_unique<StandInProcess>(QStringList{"--port", QString::number(port)});
            QVERIFY(server->start());
            for (int n = first; n <= last; ++n)
                QCOMPARE(server->addReport(variant(n), true), n - first + 1);
        };
        restart(11, 18);
        QSignalSpy notes(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        station.pollNow();
        station.pollNow();
        QCOMPARE(notes.count(), 1);
        QCOMPARE(station.viewer().connectionState(), Viewer::kConsoleBehind);
        QCOMPARE(station.viewer().consoleBehindId(), qint64(0));
        QCOMPARE(labelFiles(m_labels).size(), 5);
        QVERIFY(station.viewer().moveWatermarkToConsole());
        QCOMPARE(station.viewer().connectionState(), QString("Connected"));
        station.pollNow();
        QCOMPARE(server->addReport(variant(19), true), 9);
        station.pollNow();
        for (int n = 11; n <= 19; ++n)
            QCOMPARE(labelsOf(m_labels, n), 1);
        QCOMPARE(labelFiles(m_labels).size(), 5 + 9);

        // Restored from an older copy with three reports, below the watermark.
        restart(21, 23);
        station.pollNow();
        station.pollNow();
        QCOMPARE(notes.count(), 2);
        QCOMPARE(station.viewer().connectionState(), Viewer::kConsoleBehind);
        QCOMPARE(station.viewer().consoleBehindId(), qint64(3));
        QVERIFY(station.viewer().moveWatermarkToConsole());
        QCOMPARE(Watermark(SettingsManager::instance()).lastId(), qint64(3));
        QCOMPARE(station.viewer().connectionState(), QString("Connected"));
        QCOMPARE(server->addReport(variant(24), true), 4);
        station.pollNow();
        QCOMPARE(labelsOf(m_labels, 24), 1);
        QCOMPARE(labelFiles(m_labels).size(), 5 + 9 + 1);
        for (int n = 1; n <= 5; ++n)
            QCOMPARE(labelsOf(m_labels, n), 1);
    }

    // Each label fetched comes out in the Report Log with its report's id on the console (the export
    // does not carry it), a search by that id finds its row alone, and a reprint keeps the id.
    void reportLogShowsConsoleIds()
    {
        StandInProcess server;
        QVERIFY(server.start());
        prepareStation(server.port(), 101);
        // Ids of three digits, which no time, IMEI or document id of a printed report holds, and
        // reports numbered otherwise than their ids.
        for (int id = 1; id <= 104; ++id)
            QCOMPARE(server.addReport(variant(id + 829), true), id);
        Station station;
        QVERIFY(station.connected());
        station.pollNow();
        QCOMPARE(labelFiles(m_labels).size(), 3);
        auto* shown = qobject_cast<QSortFilterProxyModel*>(ReportListModel::instance()->shownRows());
        for (int id = 102; id <= 104; ++id) {
            shown->setProperty("searchText", QString::number(id));
            QCOMPARE(shown->rowCount(), 1);
            QCOMPARE(shown->index(0, 0).data(ReportListModel::ReportUuidRole).toString(),
                     TestSupport::variantDocumentId(id + 829));
            QCOMPARE(shown->index(0, 0).data(ReportListModel::ReportIdRole).toString(), QString::number(id));
        }
        QCOMPARE(
            station.handler()->reprint({shown->index(0, 0).data(ReportListModel::ArchiveIdRole).toString()}),
            1);
        QTRY_COMPARE_WITH_TIMEOUT(shown->rowCount(), 2, 30000);
        QCOMPARE(shown->index(1, 0).data(ReportListModel::ReportIdRole).toString(), QStringLiteral("104"));
        shown->setProperty("searchText", QString());
    }

    // Layouts that would crash the renderer or print a blank label: refused at load (the editor does not
    // list them), and each job's label goes to the failed list with the reason. Then, on the same
    // station, a missing layout, a missing or unplugged printer and an unwritable log: the user is told,
    // and the labels print once the job is fixed.
    void labelsThatCannotBePrinted()
    {
        const QByteArray text = "[{\"type\":\"TextObject.qml\",\"unformattedString\":\"<IMEI>\",\"y\":20,"
                                "\"height\":30,\"rotation\":0,";
        const QByteArray size = "\"width\":240,\"height\":160";
        // The layout's size and objects, and the word its failure names.
        const QList<std::tuple<QByteArray, QByteArray, QString>> layouts = {
            {"\"width\":100000,\"height\":100000", text + "\"x\":120,\"width\":220}]", "width"},
            {size, "{\"a\":1}", "objects"},
            {size, text + "\"x\":120,\"width\":3e9}]", "width"},
            {size, text + "\"x\":5000000,\"width\":220}]", "\"x\""}};
        StandInProcess server;
        QVERIFY(startConsole(server, 1, 0, "Bad0"));
        QHash<QString, QString> reasonOf; // layout name -> the word
        for (int i = 0; i < layouts.size(); ++i) {
            const auto& [bounds, objects, key] = layouts.at(i);
            const QString name = QStringLiteral("Bad%1").arg(i);
            writeFile(SystemPaths::instance().layoutDir + name + ".lyson",
                      "{\"name\":\"" + name.toUtf8() + "\"," + bounds + ",\"objects\":" + objects + "}");
            if (i > 0)
                TestSupport::addJob(name, name, true, name, FilePrinter::kName);
            reasonOf.insert(name, key);
        }

        Station station;
        QVERIFY(station.connected());
        for (const QString& name : reasonOf.keys())
            QVERIFY2(!station.viewer().layoutManager()->customLayouts().contains(name), qPrintable(name));
        const int failedBefore = station.handler()->failedLabels();
        station.pollNow();
        QCOMPARE(station.handler()->failedLabels(), failedBefore + layouts.size());
        QVERIFY(labelFiles(m_labels).isEmpty());
        QCOMPARE(linesOf(m_csv, 1), 0);
        for (const SpoolEntry& e : station.handler()->spool()->failed())
            QVERIFY2(e.reason.contains(reasonOf.take(e.layout)), qPrintable(e.layout + ": " + e.reason));
        QVERIFY(reasonOf.isEmpty());
        discardFailed(station);
        SettingsManager* s = SettingsManager::instance();
        for (int i = 0; i < layouts.size(); ++i) {
            QFile::remove(SystemPaths::instance().layoutDir + QStringLiteral("Bad%1.lyson").arg(i));
            s->removeKey(QStringLiteral("jobs/Bad%1").arg(i), true);
        }

        // A layout that does not exist: the user is told, the label goes to the failed list and
        // nothing is logged as printed.
        QSignalSpy errors(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        QSignalSpy popups(PopupNoteProvider::instance(), &PopupNoteProvider::showPopup);
        QSignalSpy grouped(PopupNoteProvider::instance(), &PopupNoteProvider::showGroupedNote);
        PrintHandler* handler = station.handler();
        const auto printNext = [&](int n, int waiting = 0) {
            QCOMPARE(server.addReport(variant(n), true), n);
            station.pollNow(waiting);
        };
        const auto lastNote = [&] {
            return errors.last().at(2).value<PopupNoteProvider::PopupNoteTypes>();
        };
        s->setValue("jobs/all/layout", "No such layout", true);
        printNext(2);
        QCOMPARE(grouped.count(), 1);
        QVERIFY(grouped.last().at(2).toString().contains("No such layout"));
        QCOMPARE(handler->failedLabels(), failedBefore + 1);
        // No printer at all: the label waits, and the user is told why.
        s->setValue("jobs/all/layout", "Edge label", true);
        s->setValue("jobs/all/printer", "", true);
        printNext(3, 1);
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(lastNote(), PopupNoteProvider::PrinterNotConfigured);
        // A printer that is not there: the waiting labels (the job's, with its new printer) wait on.
        s->setValue("jobs/all/printer", "Printer that was unplugged", true);
        handler->retryWaiting();
        printNext(4, 2);
        QTRY_COMPARE(errors.count(), 2);
        QCOMPARE(lastNote(), PopupNoteProvider::PrinterRemoved);
        QVERIFY(handler->spoolState().contains("2 labels waiting for Printer that was unplugged"));
        QVERIFY(labelFiles(m_labels).isEmpty());
        // The job gets a working printer: both print, and the failed label prints after Retry.
        s->setValue("jobs/all/printer", FilePrinter::kName, true);
        handler->retryWaiting();
        QTRY_COMPARE_WITH_TIMEOUT(handler->pendingReports(), 0, 30000);
        QVERIFY(handler->retryFailed(handler->spool()->failed().first().id));
        QTRY_COMPARE_WITH_TIMEOUT(handler->pendingReports(), 0, 30000);
        // An unwritable printed-reports log: the user is told, the label prints once and waits for its
        // log line, which is written as soon as the log can be written again.
        ReportListModel::instance()->setReportLogPath(m_root->path() + "/no/such/folder/log.csv");
        printNext(5, 1);
        QVERIFY(std::any_of(popups.cbegin(), popups.cend(), [](const QVariantList& args) {
            return args.at(0).value<PopupNoteProvider::PopupNoteTypes>() ==
                   PopupNoteProvider::PrintedReportsWritingToLogFailed;
        }));
        QCOMPARE(labelsOf(m_labels, 5), 1);
        ReportListModel::instance()->setReportLogPath(m_csv);
        QTRY_COMPARE_WITH_TIMEOUT(handler->pendingReports(), 0, 10000);
        for (int n = 2; n <= 5; ++n) {
            QCOMPARE(labelsOf(m_labels, n), 1);
            QCOMPARE(linesOf(m_csv, n), 1);
        }
        QVERIFY(station.viewer().waitForWorkers(30000));
    }

    // The console stops while the station is connected: within a poll interval the state says
    // "Failed to connect", with one note; the station checks again by itself and, once the console
    // is back, says "Connected" and prints what arrived meanwhile, each report once.
    void consoleStoppedWhileConnected()
    {
        auto server = std::make_unique<StandInProcess>();
        QVERIFY(startConsole(*server, 2));
        const int port = server->port();
        Station station;
        QVERIFY(station.connected());
        station.pollNow();
        QCOMPARE(labelFiles(m_labels).size(), 2);
        QSignalSpy notes(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        const auto outageNotes = [&] {
            return std::count_if(notes.cbegin(), notes.cend(), [](const QList<QVariant>& note) {
                return note.at(0) == "Failed to connect";
            });
        };

        server.reset();
        QTRY_COMPARE_WITH_TIMEOUT(station.viewer().connectionState(), QString("Failed to connect"),
                                  XMLPoller::kIntervalMs + 5000);
        QVERIFY(!station.viewer().poller()->isEnabled());
        QCOMPARE(outageNotes(), 1);

        // Back with the reports it had and three new ones.
        server = std::make_unique<StandInProcess>(QStringList{"--port", QString::number(port)});
        QVERIFY(server->start());
        for (int n = 1; n <= 5; ++n)
            QCOMPARE(server->addReport(variant(n), true), n);
        // The first check again comes 10 s after the failure.
        QTRY_COMPARE_WITH_TIMEOUT(station.viewer().connectionState(), QString("Connected"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(labelFiles(m_labels).size(), 5, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(station.handler()->pendingReports(), 0, 10000);
        for (int n = 1; n <= 5; ++n) {
            QCOMPARE(labelsOf(m_labels, n), 1);
            QCOMPARE(linesOf(m_csv, n), 1);
        }
        QCOMPARE(outageNotes(), 1);
    }

    // Without a window nobody else checks again: the program does, and prints once the console is up.
    // A report of megabytes is not copied into the log. A hang-up stops the program as SIGTERM does,
    // with exit code 0.
    void consoleDownAtStartAndHangUp()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const int port = probe.serverPort();
        probe.close();
        prepareStation(port, 0);
        TestSupport::ProgramProcess program(*m_root);
        program.start();
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("MC Connection: \"Failed to connect\""), 20000);

        StandInProcess server({"--port", QString::number(port)});
        QVERIFY(server.start());
        QByteArray big = variant(1);
        const QByteArray model = "<entry name=\"model\" type=\"string\">";
        const int at = big.indexOf(model);
        QVERIFY(at > 0);
        big.insert(at + model.size(), QByteArray(10 * 1024 * 1024, 'M'));
        QCOMPARE(server.addReport(big, true), 1);
        QCOMPARE(server.addReport(variant(2), true), 2);
        QTRY_COMPARE_WITH_TIMEOUT(labelFiles(m_labels).size(), 2, 60000);
        QCOMPARE(program.stop(SIGHUP), 0);
        const qint64 logSize = QFileInfo(program.logFile()).size();
        QVERIFY2(logSize < 1024 * 1024, qPrintable(QString::number(logSize)));
    }

    // A global settings file with a format error is repaired at start; nothing prints twice. Last:
    // when it fails, this process's own settings store has read the damaged file.
    void damagedSettingsFile_data()
    {
        QTest::addColumn<bool>("cutInJobs");
        QTest::addColumn<int>("cutAfter"); // characters after the first "=" of the jobs, when cut
        QTest::newRow("a line without =") << false << 0;
        QTest::newRow("cut in the middle of a value") << true << 2;
    }

    void damagedSettingsFile()
    {
        QFETCH(bool, cutInJobs);
        QFETCH(int, cutAfter);
        StandInProcess server;
        QVERIFY(startConsole(server, 4, 2));

        const QString file = SystemPaths::instance().globalSettingsFile;
        const QString folder = QFileInfo(file).absolutePath();
        for (const QString& old : QDir(folder).entryList({"*.damaged-*"}))
            QFile::remove(folder + "/" + old);
        QByteArray text = readAll(file);
        const int jobs = text.indexOf("[jobs]");
        QVERIFY(jobs >= 0);
        if (cutInJobs)
            text.truncate(text.indexOf('=', jobs) + cutAfter);
        else
            text.insert(jobs, "this line has no equals sign\n");
        writeFile(file, text);

        TestSupport::ProgramProcess program(*m_root);
        program.start();
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("MC Connection: \"Connected\""), 20000);
        const QStringList copies = QDir(folder).entryList({"settingsStorage.ini.damaged-*"});
        QVERIFY2(copies.size() == 1, qPrintable(program.log()));
        QCOMPARE(readAll(folder + "/" + copies.first()), text);
        QVERIFY(program.log().contains(copies.first())); // the user is told where the copy is
        if (!cutInJobs) {
            QTRY_COMPARE_WITH_TIMEOUT(labelFiles(m_labels).size(), 2, 30000);
            QTest::qWait(11000); // one more poll
        }
        QCOMPARE(program.stop(), 0);

        QSettings clean(file, QSettings::IniFormat);
        QCOMPARE(clean.status(), QSettings::NoError);
        QCOMPARE(clean.value("MC/username").toString(), QString("demo"));
        if (!cutInJobs) {
            QCOMPARE(clean.value("MC/lastReportId").toInt(), 4);
            QCOMPARE(labelFiles(m_labels).size(), 2);
            for (int n = 3; n <= 4; ++n) {
                QCOMPARE(labelsOf(m_labels, n), 1);
                QCOMPARE(linesOf(m_csv, n), 1);
            }
        }
    }
};

QTEST_MAIN(TestEdges)
#include "tst_edges.moc"
