// The print driver: reports printed in a batch, layout lookup, the default layout and printer.

#include "app/popupnoteprovider.h"
#include "printing/fileprinter.h"
#include "printing/printhandler.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QtTest>

class TestPrintHandler : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    QString m_labels;

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        m_labels = m_root->path() + "/labels";
        QVERIFY(TestSupport::preparePrinting(m_labels, m_root->path() + "/log.csv"));
    }

    // A batch of reports prints. The default layout and printer stand in for
    // a job that names none; what cannot print is refused and the user told. (doPrint's own log row
    // has no caller in the program: the spool's rows are tested in tst_printspool.)
    void printsWithProgressAndDefaults()
    {
        PrintHandler handler;
        SettingsManager* s = SettingsManager::instance();
        QSignalSpy written(&handler, &PrintHandler::labelFileWritten);
        QSignalSpy errors(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        QStringList reports;
        for (int n = 1; n <= 3; ++n)
            reports << QString::fromUtf8(TestSupport::sampleReportVariant("Apple", n));
        handler.printReports("Job A", "Station label", FilePrinter::kName, reports, 11, 13);
        QCOMPARE(handler.pendingReports(), 3); // nothing prints before the event loop runs
        QTRY_COMPARE_WITH_TIMEOUT(handler.pendingReports(), 0, 20000);
        // No layout named and no default layout.
        QString error;
        QVERIFY(!handler.doPrint(TestSupport::sampleReport(), "Job", "", FilePrinter::kName, error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(errors.count(), 1);
        s->setValue("defaultLayout", "Station label", true);
        s->setValue("defaultPrinter", FilePrinter::kName, true);
        QVERIFY(handler.doPrint(TestSupport::sampleReport(), "Job", "", "", error));
        // The file notices come once their round of recording is back on this thread.
        QTRY_COMPARE_WITH_TIMEOUT(written.count(), 4, 20000);
        // Text that is not a report prints no blank label.
        QVERIFY(!handler.doPrint("this is not xml", "Job", "Station label", FilePrinter::kName, error));
        QCOMPARE(errors.count(), 2);
        QCOMPARE(TestSupport::labelFiles(m_labels).size(), 4);
        s->removeKey("defaultLayout", true);
        s->removeKey("defaultPrinter", true);
    }

    void layoutNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("found");
        QTest::newRow("plain") << "Station label" << true;
        QTest::newRow("with ending") << "Station label.lyson" << true;
        QTest::newRow("outside the folder") << "../global/Station label" << false;
        QTest::newRow("absolute") << "/etc/passwd" << false;
    }
    void layoutNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, found);
        QCOMPARE(!PrintHandler::loadLayoutFile(name).isEmpty(), found);
    }
};

QTEST_MAIN(TestPrintHandler)
#include "tst_printhandler.moc"
