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

QString layoutText(const QString& name, const QJsonArray& objects = {})
{
    QJsonObject layout{{"name", name}, {"width", 496}, {"height", 800}, {"objects", objects}};
    return QString::fromUtf8(QJsonDocument(layout).toJson(QJsonDocument::Compact));
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
        const QString text = QStringLiteral("{ \"name\": \"Shelf\",  \"width\": 500, \"objects\": [] }");
        QVERIFY(store.saveLayout(text, QStringLiteral("Shelf")));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(readAll(inLayoutDir("Shelf.lyson")), text.toUtf8());
        QCOMPARE(store.loadJsonLayout(QStringLiteral("Shelf")).value("width").toInt(), 500);
        QVERIFY(store.loadJsonLayout(QStringLiteral("Nope")).isEmpty());
        // A layout without a name is written but not listed.
        QVERIFY(store.saveLayout(QStringLiteral("{\"objects\": []}"), QStringLiteral("anonymous")));
        QVERIFY(QFileInfo::exists(inLayoutDir("anonymous.lyson")));
        QCOMPARE(store.customLayouts(), QStringList{QStringLiteral("Shelf")});

        // A fresh store reads them back from the directory.
        LayoutManager reread;
        QCOMPARE(reread.customLayouts(), QStringList{QStringLiteral("Shelf")});
        QVERIFY(reread.layoutsModified());

        writeFile(inLayoutDir("Shelf.png"), "png");
        QVERIFY(reread.removeLayout(QStringLiteral("Shelf")));
        QVERIFY(!QFileInfo::exists(inLayoutDir("Shelf.lyson")));
        QVERIFY(!QFileInfo::exists(inLayoutDir("Shelf.png")));
        QVERIFY(reread.customLayouts().isEmpty());
        // Removing what is not there still succeeds.
        QVERIFY(reread.removeLayout(QStringLiteral("Shelf")));
    }

    void saveRefusesTextThatIsNotAnObject_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("garbage") << QStringLiteral("not json");
        QTest::newRow("truncated") << QStringLiteral("{\"name\": \"Shelf\", \"objects\": [");
        QTest::newRow("array") << QStringLiteral("[1, 2]");
        QTest::newRow("empty") << QString();
    }
    void saveRefusesTextThatIsNotAnObject()
    {
        QFETCH(QString, text);
        LayoutManager store;
        const QString good = layoutText(QStringLiteral("Shelf"));
        QVERIFY(store.saveLayout(good, QStringLiteral("Shelf")));
        QSignalSpy changed(&store, &LayoutManager::layoutsChanged);

        QVERIFY(!store.saveLayout(text, QStringLiteral("Shelf")));
        QCOMPARE(readAll(inLayoutDir("Shelf.lyson")), good.toUtf8());
        QCOMPARE(store.customLayouts(), QStringList{QStringLiteral("Shelf")});
        QCOMPARE(changed.count(), 0);
        // No stray temporary file is left beside the layout.
        QCOMPARE(QDir(SystemPaths::instance().layoutDir).entryList(QDir::Files),
                 QStringList{QStringLiteral("Shelf.lyson")});
    }

    // Listed once per name, sorted case-sensitively; broken files and other endings are left out.
    void listingFromDisk()
    {
        for (const char* name : {"b", "C", "a", "B"})
            writeFile(inLayoutDir(QString::fromLatin1(name) + ".lyson"),
                      layoutText(QString::fromLatin1(name)).toUtf8());
        writeFile(inLayoutDir("one.lyson"), layoutText("Same").toUtf8());
        writeFile(inLayoutDir("two.lyson"), layoutText("Same").toUtf8());
        writeFile(inLayoutDir("broken.lyson"), "{");
        writeFile(inLayoutDir("other.json"), layoutText("Other").toUtf8());
        LayoutManager store;
        QCOMPARE(store.customLayouts(), (QStringList{"B", "C", "Same", "a", "b"}));
    }

    void customSize_data()
    {
        QTest::addColumn<QString>("fixedsize"); // JSON text of the value, empty for absent
        QTest::addColumn<bool>("custom");
        QTest::newRow("true") << "true" << true;
        QTest::newRow("false") << "false" << false;
        QTest::newRow("string") << "\"true\"" << false;
        QTest::newRow("number") << "1" << false;
        QTest::newRow("absent") << "" << false;
    }
    void customSize()
    {
        QFETCH(QString, fixedsize);
        QFETCH(bool, custom);
        LayoutManager store;
        const QString extra =
            fixedsize.isEmpty() ? QString() : QStringLiteral(", \"fixedsize\": ") + fixedsize;
        QVERIFY(store.saveLayout(QStringLiteral("{\"name\": \"L\", \"objects\": []%1}").arg(extra), "L"));
        QCOMPARE(store.isCustomSizedLayout(QStringLiteral("L")), custom);
        QVERIFY(!store.isCustomSizedLayout(QStringLiteral("unknown")));
    }

    void namesThatLeaveTheDirectoryAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("parent") << QStringLiteral("../victim");
        QTest::newRow("dots") << QStringLiteral("..");
        QTest::newRow("sub") << QStringLiteral("sub/victim");
        QTest::newRow("absolute") << QStringLiteral("/tmp/victim");
        QTest::newRow("backslash") << QStringLiteral("..\\victim");
        QTest::newRow("empty") << QString();
    }
    void namesThatLeaveTheDirectoryAreRefused()
    {
        QFETCH(QString, name);
        LayoutManager store;
        // A file beside the layout directory that a "../victim" name would reach.
        const QString outside = inLayoutDir(QStringLiteral("../victim.lyson"));
        writeFile(outside, "keep");

        QVERIFY(!store.saveLayout(layoutText(QStringLiteral("victim")), name));
        QVERIFY(!store.removeLayout(name));
        QVERIFY(!store.exportLayout(name, QStringLiteral("stick")));
        QVERIFY(!store.importLayout(name, QStringLiteral("stick")));
        QCOMPARE(readAll(outside), QByteArray("keep"));
        QVERIFY(store.customLayouts().isEmpty());

        // Mount points must stay below the drive root as well.
        QVERIFY(store.saveLayout(layoutText(QStringLiteral("ok")), QStringLiteral("ok")));
        QVERIFY(!store.exportLayout(QStringLiteral("ok"), QStringLiteral("../tmp")));
        QVERIFY(store.layoutsInDrive(QStringLiteral("stick/../../etc")).isEmpty());
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
        if (geteuid() != 0 || !QFileInfo(QStringLiteral("/media")).isWritable())
            QSKIP("Drive exchange needs a writable /media (run the tests as root)");
        QTemporaryDir drive(QStringLiteral("/media/tst_layoutmanager-XXXXXX"));
        QVERIFY(drive.isValid());
        const QString mount = QFileInfo(drive.path()).fileName();
        const QString driveLayouts = drive.path() + QStringLiteral("/customlayouts/");

        // A local layout whose two shapes share one logo, plus a logo that does not exist.
        const QString logo = LayoutManager::localLogoDir() + QStringLiteral("logo.png");
        QDir().mkpath(LayoutManager::localLogoDir());
        writeFile(logo, "LOGO");
        LayoutManager store;
        const QJsonArray objects{logoShape(logo), logoShape(logo), logoShape("missing.png")};
        QVERIFY(store.saveLayout(layoutText(QStringLiteral("Shelf"), objects), QStringLiteral("Shelf")));

        QVERIFY(store.exportLayout(QStringLiteral("Shelf"), mount));
        QCOMPARE(QJsonDocument::fromJson(readAll(driveLayouts + "Shelf.lyson")).object(),
                 store.loadJsonLayout("Shelf"));
        QCOMPARE(readAll(drive.path() + QStringLiteral("/logo.png")), QByteArray("LOGO"));
        QVERIFY(!QFileInfo::exists(drive.path() + QStringLiteral("/missing.png")));

        // An unknown layout exports as an empty object.
        QVERIFY(store.exportLayout(QStringLiteral("Ghost"), mount));
        QCOMPARE(readAll(driveLayouts + "Ghost.lyson"), QByteArray("{}"));

        // A file whose base name differs from its "name", and one without objects, are not listed.
        writeFile(driveLayouts + "Renamed.lyson", layoutText("Original").toUtf8());
        writeFile(driveLayouts + "Bare.lyson", "{\"name\": \"Bare\"}");
        QCOMPARE(store.layoutsInDrive(mount), QStringList{QStringLiteral("Shelf")});
        for (const char* name : {"Renamed", "Original", "Bare"})
            QVERIFY2(!store.importLayout(QString::fromLatin1(name), mount), name);

        // Import into a fresh station: the layout and its logo arrive.
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        LayoutManager station;
        QVERIFY(station.customLayouts().isEmpty());
        QSignalSpy changed(&station, &LayoutManager::layoutsChanged);
        // From the drive file (no listing first) ...
        QVERIFY(station.importLayout(QStringLiteral("Shelf"), mount));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(station.customLayouts(), QStringList{QStringLiteral("Shelf")});
        QCOMPARE(readAll(LayoutManager::localLogoDir() + QStringLiteral("logo.png")), QByteArray("LOGO"));
        QCOMPARE(readAll(inLayoutDir("Shelf.lyson")), readAll(driveLayouts + "Shelf.lyson"));
        // ... and from the drive cache after a listing.
        QVERIFY(QFile::remove(inLayoutDir("Shelf.lyson")));
        QVERIFY(station.layoutsInDrive(mount).contains(QStringLiteral("Shelf")));
        QVERIFY(station.importLayout(QStringLiteral("Shelf"), mount));
        QVERIFY(QFileInfo::exists(inLayoutDir("Shelf.lyson")));
        station.flushCache();
        QVERIFY(!station.importLayout(QStringLiteral("Missing"), mount));
    }
};

QTEST_MAIN(TestLayoutManager)
#include "tst_layoutmanager.moc"
