// Job and console settings decisions the jobs view and the settings panel (tests/qml) cannot reach:
// jobs whose layout or printer went away or that older programs wrote, filters stored only whole,
// and report ids that are no number.

#include "mc/connectionform.h"
#include "settings/joblistmodel.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"
#include "testsupport.h"

#include <QSettings>
#include <QTest>

namespace {

const QString kPrinter = QStringLiteral("PDF files (label archive)");

} // namespace

class TestJobSettings : public QObject
{
    Q_OBJECT
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    SettingsManager* m_settings = nullptr;
    QStringList m_layouts;

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(m_root->isValid());
        m_settings = SettingsManager::instance();
    }
    void cleanupTestCase() { delete m_root; }
    void init()
    {
        m_settings->removeKey(QStringLiteral("jobs"), true);
        m_settings->syncGlobal();
        m_layouts = QStringList{QStringLiteral("Station label")};
    }

    // A job whose printer is gone says so; one whose layout went stays active, so its failed labels
    // wait in the spool for a fixed layout. Jobs written before the "active" key keep printing.
    void jobsKeepPrintingWhenTheyCan()
    {
        m_settings->setValue("jobs/old/jobname", "Old", true);
        JobListModel model(m_settings);
        QVERIFY(model.job("old").value("active").toBool());
        QVERIFY(JobListModel::read(m_settings).value(0).active);
        const QStringList* layouts = &m_layouts;
        model.setLayoutSource([layouts] { return *layouts; });
        model.setPrinterSource([] { return QStringList{kPrinter}; });
        const QString a = model.createJob(QStringLiteral("A"));
        const QString b = model.createJob(QStringLiteral("B"));
        for (const QString& id : {a, b})
            QVERIFY(model.setLayout(id, QStringLiteral("Station label")));
        QVERIFY(model.setPrinter(a, kPrinter));
        QVERIFY(model.setPrinter(b, QStringLiteral("Office laser")));
        QVERIFY(model.setActive(a, true, true));
        QVERIFY(model.problem(b).contains(QStringLiteral("Office laser")));

        m_layouts.clear();
        model.refreshAvailability();
        const QModelIndex row = model.index(model.indexOf(a));
        QVERIFY(
            model.data(row, JobListModel::ProblemRole).toString().contains(QStringLiteral("Station label")));
        QVERIFY(model.data(row, JobListModel::ActiveRole).toBool());
        m_layouts = QStringList{QStringLiteral("Station label")};
        model.refreshAvailability();
        QCOMPARE(model.problem(a), QString());
    }

    // Only complete filters under a plain id are stored; what the poller reads is what was saved.
    void filtersAreStoredWhole()
    {
        JobListModel model(m_settings);
        const QString id = model.createJob(QStringLiteral("Filtered"));
        QVERIFY(!model.saveFilter(id, "f1", QString(), "string", "==", "Apple"));
        QVERIFY(!model.saveFilter(id, "f1", "report.uuid", "string", QString(), "Apple"));
        QVERIFY(!model.saveFilter(id, "../x", "report.uuid", "string", "==", "Apple"));
        QVERIFY(JobListModel::read(m_settings).value(0).filters.isEmpty());

        QVERIFY(model.saveFilter(id, "f1", "report.uuid", "string", "~", "App%"));
        QVERIFY(model.saveFilter(id, "f1", "report.uuid", "string", "==", "Apple")); // edited in place
        // A group left without a field (by hand, or an older program) filters nothing and is not read.
        m_settings->setValue("jobs/" + id + "/f2/filterValue", "Samsung", true);
        const QList<JobListModel::Filter> read = JobListModel::read(m_settings).value(0).filters;
        QCOMPARE(read.size(), 1);
        QCOMPARE(read.at(0).op + read.at(0).value, QStringLiteral("==Apple"));

        // A new row never takes a draft's id, and saving a draft ends it.
        const QVariantList drafts{QVariantMap{{"filterId", "d1"}, {"hint", "imei"}}};
        model.keepDrafts(id, drafts);
        QVERIFY(model.newFilterId(id) != QStringLiteral("d1"));
        QVERIFY(model.saveFilter(id, "d1", "report.uuid", "string", "==", "u"));
        QVERIFY(model.drafts(id).isEmpty());
    }

    // A report id is stored only as a plain number that fits; anything else is refused without a question.
    void reportIdIsOnlyDigits()
    {
        m_settings->removeKey(QStringLiteral("MC"), true);
        ConnectionForm form(m_settings);
        QVERIFY(form.commitReportId("5000000000")); // ids go past 2^31
        QCOMPARE(form.reportId(), qint64(5000000000));
        QVERIFY(form.commitReportId("1500"));
        for (const char* bad : {"", "15a0", "-3", "1.5", " 12", "99999999999999999999"}) {
            QVERIFY2(!form.commitReportId(bad), bad);
            QCOMPARE(form.reportIdQuestion(bad), QString());
        }
        // Read as a fresh reader does: a change that was not written shows here.
        const QSettings file(SystemPaths::instance().globalSettingsFile, QSettings::IniFormat);
        QCOMPARE(file.value("MC/lastReportId").toInt(), 1500);
    }
};

QTEST_GUILESS_MAIN(TestJobSettings)
#include "tst_jobsettings.moc"
