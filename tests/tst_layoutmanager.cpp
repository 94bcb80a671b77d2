// The layout store: files and cache in step, refused names. Drive export and import (and logoNames)
// have no caller in the program or its QML, so they are not tested here.

#include "printing/fileprinter.h"
#include "printing/labeljob.h"
#include "printing/layoutmanager.h"
#include "printing/zplprinters.h"
#include "settings/joblistmodel.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QtTest>

namespace {

using TestSupport::readAll;

void writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

// A file in the layout folder.
QString inLayoutDir(const QString& name)
{
    return QDir(SystemPaths::instance().layoutDir).filePath(name);
}

QByteArray layoutText(const QString& name, int width = 496)
{
    const QJsonObject layout{{"name", name}, {"width", width}, {"height", 800}, {"objects", QJsonArray()}};
    return QJsonDocument(layout).toJson(QJsonDocument::Compact);
}

} // namespace

class TestLayoutManager : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;

private slots:
    void init()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        QVERIFY(m_root->isValid());
    }
    void cleanup() { m_root.reset(); }

    void saveLoadListRemove()
    {
        LayoutManager store;
        QSignalSpy changed(&store, &LayoutManager::layoutsChanged);
        // Written as given, not re-serialised: the editor's formatting and key order survive.
        const QString text = "{ \"name\": \"Shelf\",  \"width\": 500, \"objects\": [] }";
        QVERIFY(store.saveLayout(text, "Shelf"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(readAll(inLayoutDir("Shelf.lyson")), text);
        QCOMPARE(store.loadJsonLayout("Shelf").value("width").toInt(), 500);
        // A fresh store reads the directory: listed once per name, sorted case-sensitively; broken
        // files and other endings are left out.
        for (const char* name : {"b", "C", "a", "B"})
            writeFile(inLayoutDir(name + QString(".lyson")), layoutText(name));
        writeFile(inLayoutDir("one.lyson"), layoutText("Same"));
        writeFile(inLayoutDir("two.lyson"), layoutText("Same"));
        writeFile(inLayoutDir("broken.lyson"), "{");
        writeFile(inLayoutDir("other.json"), layoutText("Other"));
        LayoutManager reread;
        QCOMPARE(reread.customLayouts(), (QStringList{"B", "C", "Same", "Shelf", "a", "b"}));
        QVERIFY(reread.removeLayout("Shelf"));
        QVERIFY(!QFileInfo::exists(inLayoutDir("Shelf.lyson")));
        QCOMPARE(reread.customLayouts(), (QStringList{"B", "C", "Same", "a", "b"}));
    }

    // Text that is not a layout object, and names that leave the layout directory.
    void refused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const QString shelf = "Shelf", victim = layoutText("victim");
        QTest::newRow("garbage") << shelf << "not json";
        QTest::newRow("array") << shelf << "[1, 2]";
        QTest::newRow("parent") << "../victim" << victim;
        QTest::newRow("dots") << ".." << victim;
        QTest::newRow("sub") << "sub/victim" << victim;
        QTest::newRow("absolute") << "/tmp/victim" << victim;
        QTest::newRow("backslash") << "..\\victim" << victim;
        QTest::newRow("empty name") << QString() << victim;
    }
    // The editor checks a code's fit at the coarsest printer that prints the layout.
    void lowestPrinterResolutionOfItsJobs()
    {
        SettingsManager* s = SettingsManager::instance();
        QCOMPARE(LayoutManager::lowestPrinterResolution("Shelf"), LayoutManager::kAssumedDotsPerInch);
        TestSupport::addJob("pdf", "Into files", true, "Shelf", FilePrinter::kName);
        s->setValue(FilePrinter::kResolutionKey, 600, true);
        QCOMPARE(LayoutManager::lowestPrinterResolution("Shelf"), 600);
        ZplPrinterConfig zpl;
        zpl.name = "Desk printer";
        zpl.address = "127.0.0.1:9100";
        zpl.dotsPerInch = 300;
        QString error;
        QVERIFY2(ZplPrinters::write(s, zpl, QString(), &error), qPrintable(error));
        TestSupport::addJob("zpl", "On the desk", true, "Shelf", zpl.name);
        TestSupport::addJob("other", "Other layout", true, "Bin", zpl.name);
        TestSupport::addJob("cups", "A queue", true, "Shelf", "Some queue");
        QCOMPARE(LayoutManager::lowestPrinterResolution("Shelf"), 300);
        QCOMPARE(LayoutManager::lowestPrinterResolution("Nothing prints it"),
                 LayoutManager::kAssumedDotsPerInch);
    }

    void refused()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        LayoutManager store;
        const QByteArray good = layoutText("Shelf");
        QVERIFY(store.saveLayout(good, "Shelf"));
        // A file beside the layout directory that a "../victim" name would reach.
        const QString outside = inLayoutDir("../victim.lyson");
        writeFile(outside, "keep");
        QSignalSpy changed(&store, &LayoutManager::layoutsChanged);
        QVERIFY(!store.saveLayout(text, name));
        QVERIFY(name == "Shelf" || !store.removeLayout(name));
        QCOMPARE(readAll(inLayoutDir("Shelf.lyson")), good);
        QCOMPARE(readAll(outside), QByteArray("keep"));
        QCOMPARE(store.customLayouts(), QStringList{"Shelf"});
        QCOMPARE(changed.count(), 0);
        // No stray temporary file is left beside the layout.
        QCOMPARE(QDir(SystemPaths::instance().layoutDir).entryList(QDir::Files), QStringList{"Shelf.lyson"});
    }

    // Layouts copied into, changed in and removed from the folder reach the list, the jobs' markers
    // and what prints without a restart; a file caught half-written keeps the layout it replaces.
    void folderChangesAreFollowed()
    {
        LayoutManager store;
        JobListModel jobs(SettingsManager::instance());
        jobs.setLayoutSource([&store] { return store.customLayouts(); });
        jobs.setPrinterSource([] { return QStringList{"Label printer"}; });
        connect(&store, &LayoutManager::layoutsChanged, &jobs, &JobListModel::refreshAvailability);
        const QString job = jobs.createJob("Shelf job");
        QVERIFY(jobs.setLayout(job, "Shelf"));
        QVERIFY(jobs.setPrinter(job, "Label printer"));
        QVERIFY(jobs.problem(job).contains("does not exist"));

        QTemporaryDir elsewhere;
        const QString copy = elsewhere.filePath("Shelf.lyson");
        writeFile(copy, layoutText("Shelf"));
        QVERIFY(QFile::copy(copy, inLayoutDir("Shelf.lyson")));
        QTRY_COMPARE(store.customLayouts(), QStringList{"Shelf"});
        QCOMPARE(jobs.problem(job), QString());

        QSignalSpy changed(&store, &LayoutManager::layoutsChanged);
        writeFile(inLayoutDir("Shelf.lyson"), layoutText("Shelf", 600).left(20));
        store.rescan(); // at once, without waiting for the writer to finish
        QCOMPARE(store.loadJsonLayout("Shelf").value("width").toInt(), 496);
        QCOMPARE(changed.count(), 0);
        writeFile(inLayoutDir("Shelf.lyson"), layoutText("Shelf", 600));
        QTRY_COMPARE(store.loadJsonLayout("Shelf").value("width").toInt(), 600);
        QCOMPARE(LabelJob::loadLayoutFile("Shelf").value("width").toInt(), 600);

        const int revision = store.revision();
        writeFile(inLayoutDir("Shelf.png"), "picture");
        QTRY_VERIFY(store.revision() > revision);

        QVERIFY(QFile::remove(inLayoutDir("Shelf.lyson")));
        QTRY_VERIFY(store.customLayouts().isEmpty());
        QVERIFY(jobs.problem(job).contains("does not exist"));
    }
};

QTEST_MAIN(TestLayoutManager)
#include "tst_layoutmanager.moc"
