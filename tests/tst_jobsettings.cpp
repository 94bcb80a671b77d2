// The print jobs and the settings panel's decisions: a job cannot be switched on half set up,
// filters are only stored whole, what is stored is what the poller reads, and a new report id says
// what it skips or repeats before it is stored.

#include "mc/connectionform.h"
#include "mc/mcreportfieldreader.h"
#include "settings/joblistmodel.h"
#include "settings/settingsmanager.h"
#include "testsupport.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include "settings/systempaths.h"

namespace {

// The global file as a fresh reader sees it: a change that was not written shows here.
QVariant stored(const QString& key)
{
    QSettings file(SystemPaths::instance().globalSettingsFile, QSettings::IniFormat);
    return file.value(key);
}

} // namespace

class TestJobSettings : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    SettingsManager* m_settings = nullptr;
    QStringList m_layouts;

    void useLayouts(JobListModel& model) const
    {
        const QStringList* layouts = &m_layouts;
        model.setLayoutSource([layouts] { return *layouts; });
        model.setPrinterSource([] { return QStringList{QStringLiteral("PDF files (label archive)")}; });
    }

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(m_root->isValid());
        m_settings = SettingsManager::instance();
        QVERIFY(m_settings);
    }
    void cleanupTestCase() { delete m_root; }
    void init()
    {
        m_settings->removeKey(QStringLiteral("jobs"), true);
        m_settings->removeKey(QStringLiteral("MC"), true);
        m_settings->syncGlobal();
        m_layouts = QStringList{QStringLiteral("Station label")};
    }

    // A new job is stored inactive and stays so until it has a printer, an existing layout and,
    // without filters, the user's word that it prints every report.
    void newJobIsActivatedOnlyWhenComplete()
    {
        JobListModel model(m_settings);
        useLayouts(model);
        QSignalSpy count(&model, &JobListModel::countChanged);
        const QString id = model.createJob(QStringLiteral("Apple phones"));
        QCOMPARE(count.count(), 1);
        QCOMPARE(stored("jobs/" + id + "/active").toString(), QStringLiteral("false"));
        QCOMPARE(JobListModel::read(m_settings).value(0).active, false);
        QVERIFY(!model.activationBlocker(id).isEmpty());
        QVERIFY(!model.setActive(id, true, true));

        QVERIFY(model.setPrinter(id, QStringLiteral("PDF files (label archive)")));
        QVERIFY(!model.setActive(id, true, true));
        QVERIFY(model.activationBlocker(id).contains(QStringLiteral("layout")));
        QVERIFY(model.setLayout(id, QStringLiteral("Gone")));
        QVERIFY(model.activationBlocker(id).contains(QStringLiteral("Gone")));
        QVERIFY(!model.setActive(id, true, true));

        QVERIFY(model.setLayout(id, QStringLiteral("Station label")));
        QCOMPARE(model.activationBlocker(id), QString());
        QVERIFY(model.needsUnfilteredConfirmation(id));
        QVERIFY(!model.setActive(id, true));
        QCOMPARE(stored("jobs/" + id + "/active").toString(), QStringLiteral("false"));
        QVERIFY(model.setActive(id, true, true));
        QCOMPARE(stored("jobs/" + id + "/active").toString(), QStringLiteral("true"));
        QCOMPARE(model.job(id).value("active").toBool(), true);

        // With a filter no confirmation is needed; switching off is always allowed.
        QVERIFY(model.setActive(id, false));
        QVERIFY(model.saveFilter(id, "f1", "report.uuid", "string", "==", "x"));
        QVERIFY(!model.needsUnfilteredConfirmation(id));
        QVERIFY(model.setActive(id, true));
    }

    // A job whose layout was deleted or whose printer is gone says so, and the question before a
    // layout is deleted names its jobs.
    void missingLayoutOrPrinterIsReported()
    {
        JobListModel model(m_settings);
        useLayouts(model);
        const QString a = model.createJob(QStringLiteral("A"));
        const QString b = model.createJob(QStringLiteral("B"));
        const QString c = model.createJob(QStringLiteral("C"));
        for (const QString& id : {a, b})
            QVERIFY(model.setLayout(id, QStringLiteral("Station label")));
        for (const QString& id : {a, b, c})
            QVERIFY(model.setPrinter(id, QStringLiteral("PDF files (label archive)")));
        QVERIFY(model.setLayout(c, QStringLiteral("Other")));
        QVERIFY(model.setActive(a, true, true));
        QCOMPARE(model.problem(a), QString());
        QVERIFY(model.problem(c).contains(QStringLiteral("Other")));
        QCOMPARE(model.jobsUsingLayout(QStringLiteral("Station label")), QStringList({"A", "B"}));
        QVERIFY(model.jobsUsingLayout(QString()).isEmpty());

        m_layouts.clear();
        QSignalSpy rows(&model, &QAbstractItemModel::dataChanged);
        model.refreshAvailability();
        QVERIFY(rows.count() > 0);
        const QModelIndex row = model.index(model.indexOf(a));
        QVERIFY(
            model.data(row, JobListModel::ProblemRole).toString().contains(QStringLiteral("Station label")));
        // Still active: the failed labels wait in the spool for a fixed layout.
        QVERIFY(model.data(row, JobListModel::ActiveRole).toBool());

        QVERIFY(model.setPrinter(b, QStringLiteral("Office laser")));
        m_layouts = QStringList{QStringLiteral("Station label")};
        model.refreshAvailability();
        QVERIFY(model.problem(b).contains(QStringLiteral("Office laser")));
        QCOMPARE(model.problem(a), QString());
    }

    // Removing one job leaves every other job as stored, in the model and in the file.
    void removingOneJobKeepsTheOthers()
    {
        JobListModel model(m_settings);
        useLayouts(model);
        const QString keep = model.createJob(QStringLiteral("Keep"));
        const QString drop = model.createJob(QStringLiteral("Drop"));
        QVERIFY(model.setPrinter(keep, QStringLiteral("PDF files (label archive)")));
        QVERIFY(model.setLayout(keep, QStringLiteral("Station label")));
        QVERIFY(model.saveFilter(drop, "f1", "report.uuid", "string", "==", "x"));
        QVERIFY(model.setActive(keep, true, true));

        QVERIFY(model.removeJob(drop));
        QVERIFY(!model.removeJob(drop));
        QCOMPARE(model.count(), 1);
        const QVariantMap job = model.job(keep);
        QCOMPARE(job.value("name").toString(), QStringLiteral("Keep"));
        QCOMPARE(job.value("printer").toString(), QStringLiteral("PDF files (label archive)"));
        QCOMPARE(job.value("layout").toString(), QStringLiteral("Station label"));
        QVERIFY(job.value("active").toBool());
        QVERIFY(!stored("jobs/" + drop + "/f1/filterName").isValid());
        QCOMPARE(stored("jobs/" + keep + "/jobname").toString(), QStringLiteral("Keep"));

        // A fresh model reads the same.
        JobListModel again(m_settings);
        QCOMPARE(again.job(keep), model.job(keep));
    }

    // Only complete filters are stored; what the poller reads is exactly what was saved, and
    // rows not yet saved stay with their job while another is shown.
    void filtersAreStoredWhole()
    {
        JobListModel model(m_settings);
        const QString id = model.createJob(QStringLiteral("Filtered"));
        QVERIFY(!model.filterProblem(QString(), QStringLiteral("==")).isEmpty());
        QVERIFY(!model.filterProblem(QStringLiteral("report.uuid"), QString()).isEmpty());
        QVERIFY(!model.saveFilter(id, "f1", QString(), "string", "==", "Apple"));
        QVERIFY(!model.saveFilter(id, "../x", "report.uuid", "string", "==", "Apple"));
        QVERIFY(JobListModel::read(m_settings).value(0).filters.isEmpty());

        const QString field = QStringLiteral("korvex_data.korvex_hardware_report.system.manufacturer");
        QVERIFY(model.saveFilter(id, "f1", field, "string", "~", "App%"));
        QVERIFY(model.saveFilter(id, "f1", field, "string", "==", "Apple")); // edited in place
        const QList<JobListModel::Filter> read = JobListModel::read(m_settings).value(0).filters;
        QCOMPARE(read.size(), 1);
        QCOMPARE(read.at(0).field, field);
        QCOMPARE(read.at(0).op, QStringLiteral("=="));
        QCOMPARE(read.at(0).value, QStringLiteral("Apple"));
        QCOMPARE(model.job(id).value("filterCount").toInt(), 1);

        // A group left without a field (by hand, or an older program) filters nothing and is not read.
        m_settings->setValue("jobs/" + id + "/f2/filterValue", "Samsung", true);
        QCOMPARE(JobListModel::read(m_settings).value(0).filters.size(), 1);

        const QVariantList drafts{QVariantMap{{"filterId", "d1"}, {"hint", "imei"}}};
        model.keepDrafts(id, drafts);
        QCOMPARE(model.drafts(id), drafts);
        QVERIFY(model.newFilterId(id) != QStringLiteral("d1"));
        // Saving a draft ends it.
        QVERIFY(model.saveFilter(id, "d1", "report.uuid", "string", "==", "u"));
        QVERIFY(model.drafts(id).isEmpty());
        model.keepDrafts(id, drafts);
        QVERIFY(model.removeFilter(id, "f1"));
        QVERIFY(!stored("jobs/" + id + "/f1/filterName").isValid());
        QVERIFY(model.removeJob(id));
        QVERIFY(model.drafts(id).isEmpty());
    }

    // Settings written before jobs had an "active" key keep printing, as they always did.
    void jobsWithoutActiveKeyStayActive()
    {
        m_settings->setValue("jobs/old/jobname", "Old", true);
        m_settings->setValue("jobs/old/layout", "Station label", true);
        JobListModel model(m_settings);
        QVERIFY(model.job("old").value("active").toBool());
        QVERIFY(JobListModel::read(m_settings).value(0).active);
    }

    // Typing a field's name chooses it; a hint that fits several fields leaves the choice open.
    void typedHintChoosesOneField()
    {
        MCReportFieldReader reader;
        QVERIFY(reader.importKeylist(QStringLiteral(":/resources/resources/report_columns.csv")));
        const QString all = QString::fromLatin1(MCReportFieldReader::kAllCategories);
        QCOMPARE(reader.fieldForHint(all, QStringLiteral(" manufacturer ")),
                 QStringLiteral("korvex_data.korvex_hardware_report.system.manufacturer"));
        QCOMPARE(reader.fieldForHint(all, QStringLiteral("REPORT.UUID")), QStringLiteral("report.uuid"));
        QCOMPARE(reader.fieldForHint(QStringLiteral("ZMC SPECIFIC REPORT VALUES"), QStringLiteral("date")),
                 QString());
        QCOMPARE(reader.fieldForHint(all, QStringLiteral("info")), QString());
        QCOMPARE(reader.fieldForHint(all, QStringLiteral("no such field at all")), QString());
        QCOMPARE(reader.fieldForHint(all, QString()), QString());
    }

    // A new watermark is stored only as digits and says how many reports it skips or repeats.
    void reportIdChangesAreExplained()
    {
        ConnectionForm form(m_settings);
        QCOMPARE(form.missingFields(), QStringList({"HostName/IP", "Port", "Username", "Password"}));
        m_settings->setValue("MC/address", "http://127.0.0.1", true);
        m_settings->setValue("MC/password", "x", true);
        QCOMPARE(form.missingFields(), QStringList({"Port", "Username"}));

        QCOMPARE(form.reportId(), qint64(-1));
        QCOMPARE(form.reportIdQuestion("1500"), QString()); // nothing stored yet: nothing to skip
        QVERIFY(form.commitReportId("1500"));
        QCOMPARE(stored("MC/lastReportId").toInt(), 1500);
        for (const char* bad : {"", "15a0", "-3", "1.5", " 12", "99999999999"}) {
            QVERIFY2(!form.commitReportId(bad), bad);
            QCOMPARE(form.reportIdQuestion(bad), QString());
        }
        QCOMPARE(form.reportId(), qint64(1500));

        QCOMPARE(form.reportIdQuestion("1500"), QString());
        const QString skip = form.reportIdQuestion("1600");
        QVERIFY2(skip.contains("1501") && skip.contains("1600") && skip.contains("100 reports"),
                 qPrintable(skip));
        const QString repeat = form.reportIdQuestion("15");
        QVERIFY2(repeat.contains("16") && repeat.contains("1485 reports") && repeat.contains("again"),
                 qPrintable(repeat));
        QVERIFY(form.commitReportId("15"));
        QCOMPARE(stored("MC/lastReportId").toInt(), 15);
    }
};

QTEST_GUILESS_MAIN(TestJobSettings)
#include "tst_jobsettings.moc"
