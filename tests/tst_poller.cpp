// The connection check and the report poller against the stand-in console: states, the report-id
// watermark, jobs and their filters, issue reports, and a failed export or spool fetched again later.

#include "mc/certificatetrust.h"
#include "mc/connectioncheck.h"
#include "mc/xmlpoller.h"
#include "samplereports.h"
#include "settings/joblistmodel.h"
#include "settings/settingsmanager.h"
#include "standinprocess.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kMaker = QStringLiteral("korvex_data.korvex_hardware_report.system.manufacturer");
const QString kExport = QStringLiteral("/rest-service/report/export/xml");

QByteArray report(const QString& manufacturer, int n, bool issue = false)
{
    return TestSupport::sampleReportVariant(manufacturer, n, issue);
}

QString ago(int days)
{
    return QDateTime::currentDateTime().addDays(-days).toString("yyyy-MM-dd hh:mm:ss");
}

QStringList serials(const QStringList& reports)
{
    QStringList result;
    for (const QString& r : reports)
        result.append(QRegularExpression("SER\\d{6}").match(r).captured());
    return result;
}

QStringList serials(const QByteArrayList& reports)
{
    QStringList texts;
    for (const QByteArray& r : reports)
        texts << QString::fromUtf8(r);
    return serials(texts);
}

// A store handing each page to `stage` (the job's id, its reports and range; false fails the page)
// and each stored page's ids to `commit`.
XMLPoller::ReportStore
storeOf(const std::function<bool(const QString&, const QByteArrayList&, qint64, qint64, QStringList*)>& stage,
        const std::function<void(const QStringList&)>& commit = {})
{
    XMLPoller::ReportStore store;
    store.stage = [stage](const QString& job, const QString&, const QString&, const QString&,
                          const QByteArrayList& reports, const QHash<QString, qint64>&, qint64 from,
                          qint64 to, QStringList* ids) {
        return stage(job, reports, from, to, ids);
    };
    store.commit = commit;
    return store;
}

} // namespace

class TestPoller : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    SettingsManager* m_settings = nullptr;

    void configure(const TestSupport::StandInProcess& server, const QString& password = "demo")
    {
        m_settings->removeKey("MC", true);
        m_settings->removeKey("jobs", true);
        TestSupport::setConsole(server.port(), password);
    }

    // The stand-in started, the station pointed at it and the watermark at 0.
    bool startConsole(TestSupport::StandInProcess& server)
    {
        if (!server.start())
            return false;
        configure(server);
        m_settings->setValue("MC/lastReportId", 0, true);
        return true;
    }

    // A console with reports 1 to `total` (each padded by `padding` bytes) and a job "all" for all.
    bool startBacklog(TestSupport::StandInProcess& server, int total, int padding = 0)
    {
        if (!startConsole(server))
            return false;
        addJob("all", "All", true);
        for (int n = 1; n <= total; ++n) {
            QByteArray xml = report("Apple", n);
            if (padding > 0)
                xml.insert(xml.lastIndexOf("</report>"),
                           "<padding>" + QByteArray(padding, 'x') + "</padding>");
            if (server.addReport(xml, true) != n)
                return false;
        }
        return true;
    }

    void addJob(const QString& id, const QString& name, bool active, const QString& maker = {},
                const QString& op = "==")
    {
        TestSupport::addJob(id, name, active, name + " layout", "PDF", maker.isEmpty() ? QString() : kMaker,
                            maker.isEmpty() ? QString() : op, maker);
    }

    int watermark() const { return m_settings->getIntValue("MC/lastReportId", -1, true); }

    QStringList check()
    {
        QStringList states;
        ConnectionCheck::run(m_settings, [&](const QString& s) { states.append(s); });
        return states;
    }

    // The jobs' fetched reports of one poll, keyed by job name.
    QMap<QString, QStringList> poll(XMLPoller& poller, QList<QVariantList>* signals_ = nullptr)
    {
        QSignalSpy fetched(&poller, &XMLPoller::ReportsFetched);
        poller.doCheck();
        QMap<QString, QStringList> byJob;
        for (const QVariantList& args : fetched) {
            byJob[args.at(0).toString()] += serials(args.at(3).toStringList());
            if (signals_)
                signals_->append(args);
        }
        return byJob;
    }

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        m_settings = SettingsManager::instance();
        QVERIFY(m_settings);
    }

    // The check's states; without a watermark it takes the newest (exported) report of the last 27
    // days, and a failed search stores none. A console that does not answer: tst_edges'
    // consoleDownAtStartAndHangUp.
    void connectionCheck()
    {
        TestSupport::StandInProcess server;
        QVERIFY(server.start());
        configure(server, "wrong");
        QCOMPARE(check(), QStringList({"Failed to connect"}));
        // A refused login is named, not only "Failed to connect".
        QVERIFY(ConnectionCheck::lastFailureDetail().contains(QStringLiteral("HTTP 401")));

        configure(server);
        m_settings->setValue("MC/lastReportId", 250, true);
        QCOMPARE(check(), QStringList({"Connected"}));
        QCOMPARE(watermark(), 250);

        m_settings->removeKey("MC/lastReportId", true);
        QCOMPARE(server.addReport(report("Apple", 1), true, ago(40)), 1);
        QCOMPARE(server.addReport(report("Apple", 2), true, ago(30)), 2);
        QVERIFY(server.setFault("/rest-service/report/export/csv", "status", 500));
        QCOMPARE(check(), QStringList({"Updating ReportInfo", "Failed to fetch Report info"}));
        QVERIFY(!m_settings->contains("MC/lastReportId", true));
        QCOMPARE(check(), QStringList({"Updating ReportInfo", "Connected"}));
        QCOMPARE(watermark(), 0);

        QCOMPARE(server.addReport(report("Apple", 3), true, ago(1)), 3);
        QCOMPARE(server.addReport(report("Apple", 4), false, ago(1)), 4); // not exported on the console
        m_settings->removeKey("MC/lastReportId", true);
        QCOMPARE(check(), QStringList({"Updating ReportInfo", "Connected"}));
        QCOMPARE(watermark(), 3);
        m_settings->removeKey("MC/lastReportId", true);
        m_settings->setValue("MC/onlyreported", false, true);
        QCOMPARE(check(), QStringList({"Updating ReportInfo", "Connected"}));
        QCOMPARE(watermark(), 4);
    }

    void pollsJobsByFilter()
    {
        TestSupport::StandInProcess server;
        QVERIFY(startConsole(server));
        const char* makers[] = {"Apple", "Samsung", "Apple", "Google", "Samsung", "Apple"};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(server.addReport(report(makers[i], i + 1), true), i + 1);
        QCOMPARE(server.addReport(report("Apple", 7, true), true), 7); // issue report: never printed
        QCOMPARE(server.addReport(report("Apple", 8), false), 8);      // not exported yet
        addJob("j1", "Apple job", true, "Apple");
        addJob("j2", "S job", true, "S%", "~");
        addJob("j3", "Idle job", false);
        addJob("j4", "Quote job", true, "Ap\"ple<");

        XMLPoller poller;
        QList<QVariantList> emitted;
        // Neither the inactive job nor the quoted value (escaped, it matches nothing and breaks nothing).
        QCOMPARE(poll(poller, &emitted),
                 (QMap<QString, QStringList>{{"Apple job", {"SER000001", "SER000003", "SER000006"}},
                                             {"S job", {"SER000002", "SER000005"}}}));
        QCOMPARE(watermark(), 7);
        // Each job's reports go with its own layout, and the range asked.
        for (const QVariantList& args : emitted) {
            QCOMPARE(args.at(1).toString(), args.at(0).toString() + " layout");
            QCOMPARE(args.at(4).toInt(), 1);
            QCOMPARE(args.at(5).toInt(), 7);
        }

        // Nothing new: no fetch, no change; then only new reports are fetched.
        QVERIFY(poll(poller).isEmpty());
        QCOMPARE(watermark(), 7);
        QCOMPARE(server.addReport(report("Apple", 9), true), 9);
        QCOMPARE(poll(poller), (QMap<QString, QStringList>{{"Apple job", {"SER000009"}}}));
        QCOMPARE(watermark(), 9);

        // Reports pass inactive jobs by, also when none is active (jobStartsWhereTheUserChose).
        for (const char* id : {"j1", "j2", "j4"})
            m_settings->setValue(QString("jobs/%1/active").arg(id), false, true);
        QCOMPARE(server.addReport(report("Google", 10), true), 10);
        QVERIFY(poll(poller).isEmpty());
        QCOMPARE(watermark(), 10);
        m_settings->setValue("jobs/j3/active", true, true);

        // Ticks start no poll while the poller is held (the settings panel holds it, whatever enables it
        // meanwhile); released, the next tick fetches the new report.
        QCOMPARE(server.addReport(report("Apple", 11), true), 11);
        QSignalSpy fetched(&poller, &XMLPoller::ReportsFetched);
        poller.setHeld(true);
        poller.setEnabled(true);
        poller.timeout();
        QTest::qWait(500);
        QCOMPARE(fetched.count(), 0);
        QCOMPARE(watermark(), 10);
        poller.setHeld(false);
        poller.timeout();
        QTRY_COMPARE(fetched.count(), 1);
    }

    // One job's export fails: its range is fetched again by later polls until it succeeds, from the
    // oldest start even when the retry fails too; the other job is not given its reports twice.
    void failedExportIsFetchedAgain()
    {
        TestSupport::StandInProcess server;
        QVERIFY(startConsole(server));
        QCOMPARE(server.addReport(report("Apple", 1), true), 1);
        QCOMPARE(server.addReport(report("Samsung", 2), true), 2);
        // Job "a" sorts first, so a single injected failure hits its export.
        addJob("a", "Apple job", true, "Apple");
        addJob("b", "Samsung job", true, "Samsung");

        XMLPoller poller;
        using Fetched = QMap<QString, QStringList>;
        QVERIFY(server.setFault(kExport, "status"));
        QCOMPARE(poll(poller), (Fetched{{"Samsung job", {"SER000002"}}}));
        QCOMPARE(watermark(), 2);
        QCOMPARE(m_settings->getValue("jobs/a/retryFromId", QString(), true), QString("0"));

        QVERIFY(server.setFault(kExport, "drop", 0));
        QCOMPARE(server.addReport(report("Apple", 3), true), 3);
        QVERIFY(poll(poller).isEmpty());
        QCOMPARE(watermark(), 3);

        QList<QVariantList> emitted;
        QCOMPARE(poll(poller, &emitted), (Fetched{{"Apple job", {"SER000001", "SER000003"}}}));
        QCOMPARE(emitted.first().at(4).toInt(), 1);
        QCOMPARE(emitted.first().at(5).toInt(), 3);
        QVERIFY(!m_settings->contains("jobs/a/retryFromId", true));
        QVERIFY(poll(poller).isEmpty());
    }

    // Jobs made active after 20 reports arrived: by default a job prints none of them, only what
    // arrives later; chosen so, it prints all 20 as well, once.
    void jobStartsWhereTheUserChose()
    {
        TestSupport::StandInProcess server;
        QVERIFY(startConsole(server));
        JobListModel jobs(m_settings);
        const QString fromNow = jobs.createJob("From now");
        const QString sinceCreated = jobs.createJob("Since created");
        for (const QString& id : {fromNow, sinceCreated})
            QVERIFY(jobs.setLayout(id, "Small label") && jobs.setPrinter(id, "PDF"));
        QCOMPARE(jobs.createdAfter(sinceCreated), qint64(0));
        for (int n = 1; n <= 20; ++n)
            QCOMPARE(server.addReport(report("Apple", n), true), n);
        XMLPoller poller;
        QVERIFY(poll(poller).isEmpty());

        QVERIFY(jobs.setActive(fromNow, true, true));
        QVERIFY(jobs.setActive(sinceCreated, true, true, jobs.createdAfter(sinceCreated)));
        const QMap<QString, QStringList> afterActivation = poll(poller);
        QVERIFY(!afterActivation.contains("From now"));
        const QStringList fetched = afterActivation.value("Since created");
        QCOMPARE(fetched.size(), 20);
        QCOMPARE(fetched.first(), QString("SER000001"));
        QCOMPARE(fetched.last(), QString("SER000020"));
        QVERIFY(jobs.startText(fromNow).contains("after report 20"));

        QCOMPARE(server.addReport(report("Apple", 21), true), 21);
        QCOMPARE(poll(poller),
                 (QMap<QString, QStringList>{{"From now", {"SER000021"}}, {"Since created", {"SER000021"}}}));
    }

    // Pages of at most two ids, each (first, last]: ids at or below the start do not count, and a
    // missed range below known ids is one page.
    void pageRanges()
    {
        const struct
        {
            QList<qint64> ids;
            qint64 from;
            qint64 newest;
            const char* pages;
        } cases[] = {{{5, 10, 11, 40, 41}, 0, 41, "0-10 10-40 40-41"},
                     {{1, 2, 3, 4, 5}, 3, 5, "3-5"},
                     {{}, 0, 7, "0-7"},
                     {{1}, 1, 1, ""}};
        for (const auto& c : cases) {
            QStringList got;
            for (const auto& page : XMLPoller::pageRanges(c.ids, c.from, c.newest, 2))
                got << QString("%1-%2").arg(page.first).arg(page.second);
            QCOMPARE(got.join(' '), QString(c.pages));
        }
    }

    // A backlog comes in pages of at most kPageSize reports (the page edges: pageRanges), each staged
    // and committed as soon as the watermark past it is stored: none lost, none twice, and the first
    // labels print while the rest is fetched.
    void backlogIsFetchedInPages()
    {
        TestSupport::StandInProcess server;
        const int page = XMLPoller::kPageSize;
        const int total = 2 * page + 20;
        QVERIFY(startBacklog(server, total));
        XMLPoller poller;
        QStringList committed;
        // Each page with the watermark stored when it was committed.
        poller.setReportStore(storeOf(
            [](const QString&, const QByteArrayList&, qint64 from, qint64 to, QStringList* ids) {
                *ids << QString("%1-%2").arg(from).arg(to);
                return true;
            },
            [&](const QStringList& ids) {
                committed << QString("%1 at %2").arg(ids.join(' ')).arg(watermark());
            }));
        QStringList fetched = poll(poller).value("All");
        const int first = XMLPoller::kFirstPageSize;
        QCOMPARE(committed, (QStringList{QString("0-%1 at %1").arg(first),
                                         QString("%1-%2 at %2").arg(first).arg(first + page),
                                         QString("%1-%2 at %2").arg(first + page).arg(first + 2 * page),
                                         QString("%1-%2 at %2").arg(first + 2 * page).arg(total)}));
        QCOMPARE(fetched.size(), total);
        QCOMPARE(fetched.removeDuplicates(), 0);
        QCOMPARE(watermark(), total);
    }

    // Large reports come in pages of about kPageChars of text, so a backlog of them never holds
    // more than that in memory at once; every report still arrives once.
    void largeReportsComeInSmallerPages()
    {
        TestSupport::StandInProcess server;
        const int size = 300 * 1024;
        const int total = 40;
        QVERIFY(startBacklog(server, total, size));
        XMLPoller poller;
        QList<int> pages;
        poller.setReportStore(
            storeOf([&](const QString&, const QByteArrayList& reports, qint64, qint64, QStringList* ids) {
                pages << reports.size();
                *ids << serials(reports);
                return true;
            }));
        QStringList fetched = poll(poller).value("All");
        const int perPage = int(XMLPoller::kPageChars / size);
        QCOMPARE(pages.value(0), XMLPoller::kFirstPageSize);
        QVERIFY(pages.size() > 2);
        // The last page holds what is left.
        for (int i = 1; i < pages.size(); ++i) {
            const int atLeast = i + 1 < pages.size() ? perPage - 1 : 1;
            QVERIFY2(pages.at(i) <= perPage && pages.at(i) >= atLeast,
                     qPrintable(QString::number(pages.at(i))));
        }
        QCOMPARE(fetched.size(), total);
        QCOMPARE(fetched.removeDuplicates(), 0);
        QCOMPARE(watermark(), total);
    }

    // The disk fills while the second job's second page is stored and its third is fetched already:
    // the pages stored before stay committed, the third goes with the failed one, the job's restart
    // point stays after its first page, and the next poll stores the rest, no report twice.
    void pagesBeforeAFailureStayStored()
    {
        TestSupport::StandInProcess server;
        const int first = XMLPoller::kFirstPageSize;
        const int total = first + XMLPoller::kPageSize + 10;
        QVERIFY(startBacklog(server, total));
        addJob("a", "Apple job", true, "Apple"); // sorts before "all"
        XMLPoller poller;
        // Job a's three pages, job b's first, then only job b's second fails: a poll that went on
        // with the third would lose the second.
        int pages = 0;
        QMap<QString, QStringList> committed;
        poller.setReportStore(storeOf(
            [&](const QString& job, const QByteArrayList& reports, qint64, qint64, QStringList* ids) {
                if (++pages == 5)
                    return false;
                for (const QString& serial : serials(reports))
                    *ids << job + ":" + serial;
                return true;
            },
            [&](const QStringList& ids) {
                for (const QString& id : ids)
                    committed[id.section(':', 0, 0)] << id.section(':', 1);
            }));
        poll(poller);
        QCOMPARE(committed.value("a").size(), total);
        QCOMPARE(committed.value("all").size(), first);
        QCOMPARE(watermark(), total);
        QCOMPARE(m_settings->getValue("jobs/all/retryFromId", QString(), true), QString::number(first));
        poll(poller);
        QCOMPARE(committed.value("a").size(), total);
        QStringList all = committed.value("all");
        QCOMPARE(all.size(), total);
        QCOMPARE(all.removeDuplicates(), 0);
        QVERIFY(!m_settings->contains("jobs/all/retryFromId", true));
    }

    // An HTTPS console is trusted at first contact; a console with another key (the stand-in
    // makes a new certificate at every start) is refused, and nothing is fetched, until the user
    // trusts the new certificate.
    void certificateIsPinnedOnFirstUse()
    {
        CertificateTrust* trust = CertificateTrust::instance();
        int port = 0;
        {
            TestSupport::StandInProcess first({"--tls"});
            QVERIFY(startConsole(first));
            m_settings->setValue("MC/address", "https://127.0.0.1", true);
            QVERIFY(trust->trustedFingerprint().isEmpty());
            QCOMPARE(check(), QStringList({"Connected"}));
            QVERIFY(!trust->trustedFingerprint().isEmpty());
            QCOMPARE(check(), QStringList({"Connected"})); // the same key again
            QVERIFY(trust->offeredFingerprint().isEmpty());
            port = first.port();
        }
        const QString firstKey = trust->trustedFingerprint();

        TestSupport::StandInProcess second({"--tls", "--port", QString::number(port)});
        QVERIFY(second.start());
        QCOMPARE(second.addReport(report("Apple", 1), true), 1);
        addJob("j1", "Apple job", true);
        QCOMPARE(check(), QStringList({"Certificate changed"}));
        QCOMPARE(trust->trustedFingerprint(), firstKey);
        QVERIFY(!trust->offeredFingerprint().isEmpty() && trust->offeredFingerprint() != firstKey);

        XMLPoller poller;
        QSignalSpy refused(trust, &CertificateTrust::refused);
        QVERIFY(poll(poller).isEmpty());
        QCOMPARE(refused.count(), 1);
        QCOMPARE(watermark(), 0);

        QVERIFY(trust->trustOffered());
        QVERIFY(trust->trustedFingerprint() != firstKey);
        QVERIFY(!trust->trustOffered()); // nothing left to trust
        QCOMPARE(check(), QStringList({"Connected"}));
        QCOMPARE(poll(poller).value("Apple job"), QStringList({"SER000001"}));

        // A plain HTTP console has no certificate: nothing is pinned or refused.
        TestSupport::StandInProcess plain;
        QVERIFY(startConsole(plain));
        QCOMPARE(check(), QStringList({"Connected"}));
        QVERIFY(trust->trustedFingerprint().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPoller)
#include "tst_poller.moc"
