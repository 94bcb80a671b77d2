// The layout store: files and cache in step, refused names, drive exchange with logos.

#include "printing/layoutmanager.h"
#include "settings/systempaths.h"
#include "testsupport.h"

#include <QtTest>

#include <unistd.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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

QByteArray layoutText(const QString& name, const QJsonArray& objects = {})
{
    const QJsonObject layout{{"name", name}, {"width", 496}, {"height", 800}, {"objects", objects}};
    return QJsonDocument(layout).toJson(QJsonDocument::Compact);
}

QJsonObject logoShape(const QString& source)
{
    return QJsonObject{{"type", "ShapeObject.qml"}, {"sourceImage", source}};
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

    void saveLoadRemoveRoundTrip()
    {
        LayoutManager store;
        QSignalSpy changed(&store, &LayoutManager::layoutsChanged);
        // Written as given, not re-serialised: the editor's formatting and key order survive.
        const QString text = "{ \"name\": \"Shelf\",  \"width\": 500, \"objects\": [] }";
        QVERIFY(store.saveLayout(text, "Shelf"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(readAll(inLayoutDir("Shelf.lyson")), text);
        QCOMPARE(store.loadJsonLayout("Shelf").value("width").toInt(), 500);
        QVERIFY(store.loadJsonLayout("Nope").isEmpty());
        // A layout without a name is written but not listed.
        QVERIFY(store.saveLayout("{\"objects\": []}", "anonymous"));
        QVERIFY(QFileInfo::exists(inLayoutDir("anonymous.lyson")));
        QCOMPARE(store.customLayouts(), QStringList{"Shelf"});
        // A fresh store reads them back from the directory.
        LayoutManager reread;
        QCOMPARE(reread.customLayouts(), QStringList{"Shelf"});
        QVERIFY(reread.layoutsModified());
        writeFile(inLayoutDir("Shelf.png"), "png");
        QVERIFY(reread.removeLayout("Shelf"));
        QVERIFY(!QFileInfo::exists(inLayoutDir("Shelf.lyson")));
        QVERIFY(!QFileInfo::exists(inLayoutDir("Shelf.png")));
        QVERIFY(reread.customLayouts().isEmpty());
        // Removing what is not there still succeeds.
        QVERIFY(reread.removeLayout("Shelf"));
    }

    void saveRefusesTextThatIsNotAnObject_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("garbage") << "not json";
        QTest::newRow("truncated") << "{\"name\": \"Shelf\", \"objects\": [";
        QTest::newRow("array") << "[1, 2]";
        QTest::newRow("empty") << QString();
    }
    void saveRefusesTextThatIsNotAnObject()
    {
        QFETCH(QString, text);
        LayoutManager store;
        const QString good = layoutText("Shelf");
        QVERIFY(store.saveLayout(good, "Shelf"));
        QSignalSpy changed(&store, &LayoutManager::layoutsChanged);
        QVERIFY(!store.saveLayout(text, "Shelf"));
        QCOMPARE(readAll(inLayoutDir("Shelf.lyson")), good);
        QCOMPARE(store.customLayouts(), QStringList{"Shelf"});
        QCOMPARE(changed.count(), 0);
        // No stray temporary file is left beside the layout.
        QCOMPARE(QDir(SystemPaths::instance().layoutDir).entryList(QDir::Files), QStringList{"Shelf.lyson"});
    }

    // Listed once per name, sorted case-sensitively; broken files and other endings are left out.
    void listingFromDisk()
    {
        for (const char* name : {"b", "C", "a", "B"})
            writeFile(inLayoutDir(name + QString(".lyson")), layoutText(name));
        writeFile(inLayoutDir("one.lyson"), layoutText("Same"));
        writeFile(inLayoutDir("two.lyson"), layoutText("Same"));
        writeFile(inLayoutDir("broken.lyson"), "{");
        writeFile(inLayoutDir("other.json"), layoutText("Other"));
        LayoutManager store;
        QCOMPARE(store.customLayouts(), (QStringList{"B", "C", "Same", "a", "b"}));
    }

    void namesThatLeaveTheDirectoryAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("parent") << "../victim";
        QTest::newRow("dots") << "..";
        QTest::newRow("sub") << "sub/victim";
        QTest::newRow("absolute") << "/tmp/victim";
        QTest::newRow("backslash") << "..\\victim";
        QTest::newRow("empty") << QString();
    }
    void namesThatLeaveTheDirectoryAreRefused()
    {
        QFETCH(QString, name);
        LayoutManager store;
        // A file beside the layout directory that a "../victim" name would reach.
        const QString outside = inLayoutDir("../victim.lyson");
        writeFile(outside, "keep");
        QVERIFY(!store.saveLayout(layoutText("victim"), name));
        QVERIFY(!store.removeLayout(name));
        QVERIFY(!store.exportLayout(name, "stick"));
        QVERIFY(!store.importLayout(name, "stick"));
        QCOMPARE(readAll(outside), QByteArray("keep"));
        QVERIFY(store.customLayouts().isEmpty());
        // Mount points must stay below the drive root as well.
        QVERIFY(store.saveLayout(layoutText("ok"), "ok"));
        QVERIFY(!store.exportLayout("ok", "../tmp"));
        QVERIFY(store.layoutsInDrive("stick/../../etc").isEmpty());
    }

    void logoNamesAreUniqueAndStripped()
    {
        const QJsonArray objects{logoShape("/x/logos/a.png"),
                                 QJsonObject{{"type", "TextObject.qml"}, {"sourceImage", "t.png"}},
                                 logoShape("b.png"),
                                 logoShape("/y/a.png"),
                                 logoShape("/x/logos/a.png"),
                                 logoShape(""),
                                 logoShape("C:\\logos\\evil.png"),
                                 logoShape("/x/..")};
        // The same file name from two folders is copied twice onto the same target: harmless.
        QCOMPARE(LayoutManager::logoNames({{"name", "L"}, {"objects", objects}}),
                 (QStringList{"a.png", "b.png", "a.png"}));
    }

    void driveExchangeWithLogos()
    {
        if (geteuid() != 0 || !QFileInfo("/media").isWritable())
            QSKIP("Drive exchange needs a writable /media (run the tests as root)");
        QTemporaryDir drive("/media/tst_layoutmanager-XXXXXX");
        QVERIFY(drive.isValid());
        const QString mount = QFileInfo(drive.path()).fileName();
        const QString driveLayouts = drive.path() + "/customlayouts/";
        // A local layout whose two shapes share one logo, plus a logo that does not exist.
        const QString logo = LayoutManager::localLogoDir() + "logo.png";
        QDir().mkpath(LayoutManager::localLogoDir());
        writeFile(logo, "LOGO");
        LayoutManager store;
        const QJsonArray objects{logoShape(logo), logoShape(logo), logoShape("missing.png")};
        QVERIFY(store.saveLayout(layoutText("Shelf", objects), "Shelf"));
        QVERIFY(store.exportLayout("Shelf", mount));
        QCOMPARE(QJsonDocument::fromJson(readAll(driveLayouts + "Shelf.lyson")).object(),
                 store.loadJsonLayout("Shelf"));
        QCOMPARE(readAll(drive.path() + "/logo.png"), QByteArray("LOGO"));
        QVERIFY(!QFileInfo::exists(drive.path() + "/missing.png"));
        // A file whose base name differs from its "name", and one without objects, are not listed.
        writeFile(driveLayouts + "Renamed.lyson", layoutText("Original"));
        writeFile(driveLayouts + "Bare.lyson", "{\"name\": \"Bare\"}");
        QCOMPARE(store.layoutsInDrive(mount), QStringList{"Shelf"});
        for (const char* name : {"Renamed", "Original", "Bare"})
            QVERIFY2(!store.importLayout(QString::fromLatin1(name), mount), name);
        // Import into a fresh station: the layout and its logo arrive.
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        LayoutManager station;
        QVERIFY(station.customLayouts().isEmpty());
        QSignalSpy changed(&station, &LayoutManager::layoutsChanged);
        // From the drive file (no listing first) ...
        QVERIFY(station.importLayout("Shelf", mount));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(station.customLayouts(), QStringList{"Shelf"});
        QCOMPARE(readAll(LayoutManager::localLogoDir() + "logo.png"), QByteArray("LOGO"));
        QCOMPARE(readAll(inLayoutDir("Shelf.lyson")), readAll(driveLayouts + "Shelf.lyson"));
        // ... and from the drive cache after a listing.
        QVERIFY(QFile::remove(inLayoutDir("Shelf.lyson")));
        QVERIFY(station.layoutsInDrive(mount).contains("Shelf"));
        QVERIFY(station.importLayout("Shelf", mount));
        QVERIFY(QFileInfo::exists(inLayoutDir("Shelf.lyson")));
        station.flushCache();
        QVERIFY(!station.importLayout("Missing", mount));
    }
};

QTEST_MAIN(TestLayoutManager)
#include "tst_layoutmanager.moc"
