// Printed-reports log: the list model's roles and selection, the CSV file (header once, quoting,
// appending across runs) and the popup note when the file cannot be written.

#include "app/popupnoteprovider.h"
#include "printing/reportlistmodel.h"
#include "printing/reportlogfilter.h"
#include "settings/settingsmanager.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kSerialKey = QStringLiteral("/root/report/serial");
const QString kImeiKey = QStringLiteral("/root/report/imei");

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Records in the CSV sense: quoted fields may hold commas, doubled quotes and line breaks.
QList<QStringList> parseCsv(const QString& text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
        } else if (c == QLatin1Char('\n')) {
            records << (record << field);
            record.clear();
            field.clear();
        } else {
            field += c;
        }
    }
    return records;
}

QMap<QString, QString> custom(const QString& key, const QString& value)
{
    QMap<QString, QString> map;
    map.insert(key, value);
    return map;
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
    }
    void cleanupTestCase() { delete m_root; }

    void settingsAreReadAtConstruction()
    {
        {
            ReportListModel defaults;
            QCOMPARE(defaults.selectedCustomContentKey(), QString(ReportListModel::kDefaultCustomFieldKey));
            QVERIFY(defaults.reportLogPath().endsWith(QStringLiteral("/PrintedReports.csv")));
            QVERIFY(defaults.customContentKeyList().isEmpty());
        }
        const QString path = freshPath();
        SettingsManager::instance()->setValue(QStringLiteral("ReportView/customFieldKey"), kImeiKey, true);
        SettingsManager::instance()->setValue(QStringLiteral("ReportView/reportLogPath"), path, true);
        ReportListModel model;
        QCOMPARE(model.selectedCustomContentKey(), kImeiKey);
        QCOMPARE(model.reportLogPath(), path);
        QVERIFY(!QFile::exists(path)); // opened on first use
        SettingsManager::instance()->removeKey(QStringLiteral("ReportView/customFieldKey"), true);
        SettingsManager::instance()->removeKey(QStringLiteral("ReportView/reportLogPath"), true);
    }

    void rowsAndSelection()
    {
        ReportListModel model;
        model.setReportLogPath(freshPath());
        model.setSelectedCustomContentKey(kSerialKey);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        model.addReport("Job A", "Label", "Printer 1", "uuid-1", custom(kSerialKey, "SN1"));
        model.addReport("Job B", "Label", "", "uuid-2", custom(kSerialKey, "SN2, SN3"));
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(inserted.at(1).at(1).toInt(), 1);
        QCOMPARE(model.rowCount(), 2);

        const QModelIndex second = model.index(1);
        QCOMPARE(model.data(second, ReportListModel::JobNameRole).toString(), QStringLiteral("Job B"));
        QCOMPARE(model.data(second, ReportListModel::LayoutNameRole).toString(), QStringLiteral("Label"));
        QCOMPARE(model.data(second, ReportListModel::PrinterNameRole).toString(), QString());
        QCOMPARE(model.data(second, ReportListModel::ReportUuidRole).toString(), QStringLiteral("uuid-2"));
        QCOMPARE(model.data(second, ReportListModel::CustomContentRole).toString(),
                 QStringLiteral("SN2, SN3"));
        QVERIFY(model.data(second, ReportListModel::PrintTimeRole).toDateTime() >= before);
        QCOMPARE(model.data(second, ReportListModel::SelectedRole).toBool(), false);

        // Selecting toggles whatever value is passed.
        QVERIFY(model.setData(second, true, ReportListModel::SelectedRole));
        QCOMPARE(model.data(second, ReportListModel::SelectedRole).toBool(), true);
        QVERIFY(model.setData(second, true, ReportListModel::SelectedRole));
        QCOMPARE(model.data(second, ReportListModel::SelectedRole).toBool(), false);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{ReportListModel::SelectedRole});

        QVERIFY(!model.setData(second, "Other", ReportListModel::JobNameRole));
        QCOMPARE(model.data(second, ReportListModel::JobNameRole).toString(), QStringLiteral("Job B"));
        QVERIFY(!model.data(model.index(2), ReportListModel::JobNameRole).isValid());
        QVERIFY(!model.setData(model.index(5), true, ReportListModel::SelectedRole));
        QVERIFY(model.flags(second).testFlag(Qt::ItemIsEditable));

        // A new key changes what earlier rows show.
        QSignalSpy keySpy(&model, &ReportListModel::selectedCustomContentKeyChanged);
        model.setSelectedCustomContentKey(kImeiKey);
        model.setSelectedCustomContentKey(kImeiKey);
        QCOMPARE(keySpy.count(), 1);
        QCOMPARE(model.data(second, ReportListModel::CustomContentRole).toString(), QString());
    }

    // The Report Log's search: any column, any case; counts follow; a tick on a shown row ticks
    // that row of the log.
    void searchShowsMatchingRows()
    {
        ReportListModel model;
        model.setReportLogPath(freshPath());
        model.setSelectedCustomContentKey(kSerialKey);
        auto* shown = qobject_cast<ReportLogFilter*>(model.shownRows());
        QVERIFY(shown);
        QSignalSpy counts(shown, &ReportLogFilter::countsChanged);
        model.addReport("Apple phones", "Label", "PDF", "uuid-1", custom(kSerialKey, "SN1"));
        model.addReport("Samsung phones", "Label", "Office", "uuid-2", custom(kSerialKey, "SN2"));
        model.addReport("Apple tablets", "Big label", "PDF", "uuid-3", custom(kSerialKey, "XY9"));
        QVERIFY(counts.count() >= 3);
        QCOMPARE(shown->shownCount(), 3);

        shown->setSearchText(QStringLiteral("apple"));
        QCOMPARE(shown->shownCount(), 2);
        QCOMPARE(shown->totalCount(), 3);
        shown->setSearchText(QStringLiteral("xy9")); // the custom field
        QCOMPARE(shown->shownCount(), 1);
        QCOMPARE(shown->data(shown->index(0, 0), ReportListModel::ReportUuidRole).toString(),
                 QStringLiteral("uuid-3"));
        shown->setSearchText(QStringLiteral("office"));
        QCOMPARE(shown->shownCount(), 1);
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        shown->setSearchText(today);
        QCOMPARE(shown->shownCount(), 3);
        shown->setSearchText(QStringLiteral("nothing like it"));
        QCOMPARE(shown->shownCount(), 0);

        // A row added while searching counts in the total, and shows when it matches.
        shown->setSearchText(QStringLiteral("Samsung"));
        model.addReport("Samsung tablets", "Label", "PDF", "uuid-4", custom(kSerialKey, "SN4"));
        QCOMPARE(shown->shownCount(), 2);
        QCOMPARE(shown->totalCount(), 4);
        QVERIFY(shown->setData(shown->index(1, 0), true, ReportListModel::SelectedRole));
        QVERIFY(model.data(model.index(3), ReportListModel::SelectedRole).toBool());
        QVERIFY(!model.data(model.index(1), ReportListModel::SelectedRole).toBool());
        shown->setSearchText(QString());
        QCOMPARE(shown->shownCount(), 4);
    }

    void fieldQuoting_data()
    {
        QTest::addColumn<QString>("jobName");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain") << "Daily run"
                               << "Daily run";
        QTest::newRow("comma") << "North, South"
                               << "\"North, South\"";
        QTest::newRow("double quote") << "a\"b"
                                      << "\"a\"\"b\"";
        QTest::newRow("apostrophe") << "it's"
                                    << "\"it's\"";
        QTest::newRow("slash") << "HP/Office"
                               << "\"HP/Office\"";
        QTest::newRow("line feed") << "two\nlines"
                                   << "\"two\nlines\"";
        QTest::newRow("carriage return") << "two\r\nlines"
                                         << "\"two\r\nlines\"";
        QTest::newRow("non-ascii") << "Étiquette"
                                   << "Étiquette";
    }
    void fieldQuoting()
    {
        QFETCH(QString, jobName);
        QFETCH(QString, written);
        ReportListModel model;
        const QString path = freshPath();
        model.setReportLogPath(path);
        model.setSelectedCustomContentKey(kSerialKey);
        model.addReport(jobName, "Layout", "Printer", "uuid", custom(kSerialKey, "SN 1"));

        const QString text = QString::fromUtf8(readAll(path));
        const QString header = QString::fromLatin1(ReportListModel::kHeaderLine);
        QVERIFY(text.startsWith(header));
        QVERIFY2(text.mid(header.size()).section(QLatin1Char(','), 1).startsWith(written + ","),
                 qPrintable(text));
        const QList<QStringList> records = parseCsv(text);
        QCOMPARE(records.size(), 2);
        QCOMPARE(records.at(1).size(), 6);
        QCOMPARE(records.at(1).at(1), jobName);
        QCOMPARE(records.at(1).at(5), QStringLiteral("SN 1"));
    }

    // The file accumulates across runs: a later model appends below, with the header only once,
    // and the value written follows the key at the time of printing.
    void appendsAcrossRuns()
    {
        const QString path = freshPath();
        {
            ReportListModel first;
            first.setReportLogPath(path);
            first.setSelectedCustomContentKey(kSerialKey);
            QVERIFY(first.openReportLogFile());
            first.addReport("Job", "L", "P", "uuid-1", custom(kSerialKey, "SN1"));
            first.setSelectedCustomContentKey(kImeiKey);
            first.addReport("Job", "L", "P", "uuid-2", custom(kSerialKey, "SN2"));
        }
        ReportListModel second;
        second.setReportLogPath(path);
        second.setSelectedCustomContentKey(kSerialKey);
        second.addReport("Job", "L", "P", "uuid-3", custom(kSerialKey, "SN3"));
        QCOMPARE(second.rowCount(), 1);

        const QList<QStringList> records = parseCsv(QString::fromUtf8(readAll(path)));
        QCOMPARE(records.size(), 4);
        QCOMPARE(records.at(0).join(QLatin1Char(',')) + "\n", QString(ReportListModel::kHeaderLine));
        QCOMPARE(records.at(1).at(4), QStringLiteral("uuid-1"));
        QCOMPARE(records.at(1).at(5), QStringLiteral("SN1"));
        QCOMPARE(records.at(2).at(5), QString()); // key changed, no value for it
        QCOMPARE(records.at(3).at(4), QStringLiteral("uuid-3"));
        QVERIFY(QDateTime::fromString(records.at(3).at(0), Qt::TextDate).isValid());
    }

    void existingFileGetsNoHeader()
    {
        const QString path = freshPath();
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("kept line without line feed"); // e.g. saved by a spreadsheet program
        existing.close();

        ReportListModel model;
        QSignalSpy pathSpy(&model, &ReportListModel::reportLogPathChanged);
        model.setReportLogPath(path);
        model.setReportLogPath(path);
        QCOMPARE(pathSpy.count(), 1);
        model.addReport("Job", "L", "P", "uuid-1", {});
        model.addReport("Job", "L", "P", "uuid-2", {});
        const QList<QStringList> records = parseCsv(QString::fromUtf8(readAll(path)));
        QCOMPARE(records.size(), 3);
        QCOMPARE(records.at(0), QStringList{QStringLiteral("kept line without line feed")});
        QCOMPARE(records.at(1).at(4), QStringLiteral("uuid-1"));
        QCOMPARE(records.at(2).at(4), QStringLiteral("uuid-2"));
    }

    void unwritableLogRaisesNote_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("directory") << m_files.path();
        QTest::newRow("missing folder") << m_files.filePath(QStringLiteral("no/such/folder/log.csv"));
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
        const QList<QStringList> records = parseCsv(QString::fromUtf8(readAll(good)));
        QCOMPARE(records.size(), 2);
        QCOMPARE(records.at(1).at(4), QStringLiteral("uuid-3"));
    }
};

QTEST_MAIN(TestReportListModel)
#include "tst_reportlistmodel.moc"
