// Printed-reports log: the list model's rows, selection and search, the CSV file (header once,
// quoting, appending across runs) and the popup note when the file cannot be written.

#include "app/popupnoteprovider.h"
#include "printing/reportlistmodel.h"
#include "printing/reportlogfilter.h"
#include "settings/settingsmanager.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kSerialKey = QStringLiteral("/root/report/serial");
const QString kImeiKey = QStringLiteral("/root/report/imei");

QString readText(const QString& path)
{
    return QString::fromUtf8(TestSupport::readAll(path));
}

// The file's lines (no field in these rows holds a line break) and a field of one of them.
QStringList lines(const QString& path)
{
    return readText(path).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString field(const QString& line, int index)
{
    return line.section(QLatin1Char(','), index, index);
}

QMap<QString, QString> serial(const QString& value)
{
    return {{kSerialKey, value}};
}

} // namespace

class TestReportListModel : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    QTemporaryDir m_files;
    int m_fileCounter = 0;

    QString freshPath() { return m_files.filePath(QStringLiteral("log%1.csv").arg(++m_fileCounter)); }

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot();
        QVERIFY(m_root->isValid());
        QVERIFY(SettingsManager::instance());
        QVERIFY(m_files.isValid());
        // Every model shows the serial number unless a test picks another key.
        SettingsManager::instance()->setValue(QStringLiteral("ReportView/customFieldKey"), kSerialKey, true);
    }
    void cleanupTestCase() { delete m_root; }
    // One log through its life: the settings read at construction, rows and their roles, selection,
    // the Report Log's search (any column, any case, counts following, a tick on a shown row ticking
    // that row of the log), and a new key changing what earlier rows show.
    void rowsSelectionAndSearch()
    {
        const QString path = freshPath();
        SettingsManager::instance()->setValue(QStringLiteral("ReportView/reportLogPath"), path, true);
        ReportListModel model;
        SettingsManager::instance()->removeKey(QStringLiteral("ReportView/reportLogPath"), true);
        QCOMPARE(model.selectedCustomContentKey(), kSerialKey);
        QCOMPARE(model.reportLogPath(), path);

        auto* shown = qobject_cast<ReportLogFilter*>(model.shownRows());
        QVERIFY(shown);
        QSignalSpy counts(shown, &ReportLogFilter::countsChanged);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        model.addReport("Apple phones", "Label", "PDF", "uuid-1", serial("SN1"));
        model.addReport("Samsung phones", "Label", "", "uuid-2", serial("SN2, SN3"));
        model.addReport("Apple tablets", "Big label", "Office", "uuid-3", serial("XY9"));
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(inserted.at(1).at(1).toInt(), 1);
        QVERIFY(counts.count() >= 3);
        QCOMPARE(shown->shownCount(), 3);

        const QModelIndex second = model.index(1);
        QCOMPARE(model.data(second, ReportListModel::ReportUuidRole).toString(), QStringLiteral("uuid-2"));
        QCOMPARE(model.data(second, ReportListModel::CustomContentRole).toString(),
                 QStringLiteral("SN2, SN3"));
        QVERIFY(model.data(second, ReportListModel::PrintTimeRole).toDateTime() >= before);
        // Selecting toggles whatever value is passed; other roles and rows are refused.
        QVERIFY(model.setData(second, true, ReportListModel::SelectedRole));
        QCOMPARE(model.data(second, ReportListModel::SelectedRole).toBool(), true);
        QVERIFY(model.setData(second, true, ReportListModel::SelectedRole));
        QCOMPARE(model.data(second, ReportListModel::SelectedRole).toBool(), false);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{ReportListModel::SelectedRole});
        QVERIFY(!model.setData(second, "Other", ReportListModel::JobNameRole));
        QCOMPARE(model.data(second, ReportListModel::JobNameRole).toString(),
                 QStringLiteral("Samsung phones"));
        QVERIFY(!model.data(model.index(3), ReportListModel::JobNameRole).isValid());
        // Search: job, printer, custom field and date columns, in any case.
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        for (const auto& [text, count] : {std::pair<QString, int>{"apple", 2},
                                          {"office", 1},
                                          {today, 3},
                                          {"nothing like it", 0},
                                          {"xy9", 1}}) {
            shown->setSearchText(text);
            QCOMPARE(shown->shownCount(), count);
            QCOMPARE(shown->totalCount(), 3);
        }
        // A row added while searching counts in the total, and shows when it matches.
        shown->setSearchText(QStringLiteral("Samsung"));
        model.addReport("Samsung tablets", "Label", "PDF", "uuid-4", serial("SN4"));
        QCOMPARE(shown->shownCount(), 2);
        QCOMPARE(shown->totalCount(), 4);
        QVERIFY(shown->setData(shown->index(1, 0), true, ReportListModel::SelectedRole));
        QVERIFY(model.data(model.index(3), ReportListModel::SelectedRole).toBool());
        QVERIFY(!model.data(model.index(1), ReportListModel::SelectedRole).toBool());
        shown->setSearchText(QString());
        QCOMPARE(shown->shownCount(), 4);

        model.setSelectedCustomContentKey(kImeiKey);
        QCOMPARE(model.data(second, ReportListModel::CustomContentRole).toString(), QString());
    }
    void fieldQuoting_data()
    {
        QTest::addColumn<QString>("jobName");
        QTest::addColumn<QString>("written");
        const char* const rows[][3] = {
            {"plain", "Daily run", "Daily run"},     {"comma", "North, South", "\"North, South\""},
            {"double quote", "a\"b", "\"a\"\"b\""},  {"line feed", "two\nlines", "\"two\nlines\""},
            {"non-ascii", "Étiquette", "Étiquette"},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
    }
    void fieldQuoting()
    {
        QFETCH(QString, jobName);
        QFETCH(QString, written);
        ReportListModel model;
        const QString path = freshPath();
        model.setReportLogPath(path);
        model.addReport(jobName, "Layout", "Printer", "uuid", serial("SN 1"));
        // The header once, then one record: the time, then the job as written and the other fields.
        const QString text = readText(path);
        const QString header = QString::fromLatin1(ReportListModel::kHeaderLine);
        QVERIFY(text.startsWith(header));
        QCOMPARE(text.mid(header.size()).section(QLatin1Char(','), 1),
                 written + ",Layout,Printer,uuid,SN 1\n");
    }
    // The file accumulates across runs: a later model appends below, a file that is not empty gets
    // no header, a last line without line feed (e.g. saved by a spreadsheet program) is not glued
    // to, and the value written follows the key at the time of printing.
    void appendsAcrossRuns()
    {
        const QString path = freshPath();
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("kept line without line feed");
        existing.close();
        {
            ReportListModel first;
            first.setReportLogPath(path);
            QVERIFY(first.openReportLogFile());
            first.addReport("Job", "L", "P", "uuid-1", serial("SN1"));
            first.setSelectedCustomContentKey(kImeiKey);
            first.addReport("Job", "L", "P", "uuid-2", serial("SN2"));
        }
        ReportListModel second;
        second.setReportLogPath(path);
        second.addReport("Job", "L", "P", "uuid-3", serial("SN3"));
        QCOMPARE(second.rowCount(), 1);

        const QStringList records = lines(path);
        QCOMPARE(records.size(), 4);
        QCOMPARE(records.at(0), QStringLiteral("kept line without line feed"));
        QCOMPARE(field(records.at(1), 4), QStringLiteral("uuid-1"));
        QCOMPARE(field(records.at(1), 5), QStringLiteral("SN1"));
        QCOMPARE(field(records.at(2), 5), QString()); // key changed, no value for it
        QCOMPARE(field(records.at(3), 4), QStringLiteral("uuid-3"));
    }
    void unwritableLogRaisesNote_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("directory") << m_files.path();
        // Accepts the open but not the data: only a checked flush notices.
        if (QFile::exists(QStringLiteral("/dev/full")))
            QTest::newRow("device full") << "/dev/full";
    }
    void unwritableLogRaisesNote()
    {
        QFETCH(QString, path);
        QSignalSpy noteSpy(PopupNoteProvider::instance(), &PopupNoteProvider::showPopup);
        ReportListModel model;
        model.setReportLogPath(path);
        QVERIFY(!model.openReportLogFile());
        model.addReport("Job", "L", "P", "uuid-1", {});
        model.addReport("Job", "L", "P", "uuid-2", {});
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(noteSpy.count(), 2);
        QCOMPARE(noteSpy.at(0).at(0).value<PopupNoteProvider::PopupNoteTypes>(),
                 PopupNoteProvider::PrintedReportsWritingToLogFailed);
        // A usable path again: the next print is written, with the header.
        const QString good = freshPath();
        model.setReportLogPath(good);
        model.addReport("Job", "L", "P", "uuid-3", {});
        QCOMPARE(noteSpy.count(), 2);
        const QStringList records = lines(good);
        QCOMPARE(records.size(), 2);
        QCOMPARE(field(records.at(1), 4), QStringLiteral("uuid-3"));
    }
};

QTEST_MAIN(TestReportListModel)
#include "tst_reportlistmodel.moc"
