// The layout store: files and cache in step, refused names. Drive export and import (and logoNames)
// have no caller in the program or its QML, so they are not tested here.

#include "printing/layoutmanager.h"
#include "settings/systempaths.h"
#include "testsupport.h"

#include <QtTest>

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

QByteArray layoutText(const QString& name)
{
    const QJsonObject layout{{"name", name}, {"width", 496}, {"height", 800}, {"objects", QJsonArray()}};
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
        QCOMPARE(readAll(outside), QByteArray("keep"));
        QVERIFY(store.customLayouts().isEmpty());
    }
};

QTEST_MAIN(TestLayoutManager)
#include "tst_layoutmanager.moc"
