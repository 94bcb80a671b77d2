// The window's Translator: the JSON escaping layouts are saved with, and the default language's
// compiled translation installed while it lives, offered through a resource registered at run time.

#include "app/translator.h"
#include "settings/settingsmanager.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>
#include <QResource>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Runs a Qt tool (lrelease, rcc); its messages reach the test's output.
bool runTool(const QString& tool, const QStringList& args)
{
    return QProcess::execute(QLibraryInfo::location(QLibraryInfo::BinariesPath) + "/" + tool, args) == 0;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

} // namespace

class TestTranslator : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    QTemporaryDir m_work;

private slots:
    void initTestCase()
    {
        if (QFileInfo::exists(Translator::kSystemDescriptionFile))
            QSKIP("This machine has its own language description file in /etc");
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(SettingsManager::instance());
    }
    void escaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("json");
        QTest::newRow("ascii letters and digits") << "Abc123" << QString("Abc123");
        QTest::newRow("e acute") << "\xc3\xa9" << QString("\\u00e9");
        QTest::newRow("quote and backslash") << "\"\\" << QString("\\u0022\\u005c");
    }
    void escaping()
    {
        QFETCH(QString, text);
        QFETCH(QString, json);
        QCOMPARE(Translator(qApp, nullptr, false).jsonEscaped(text), json);
    }
    // The window's Translator neither remembers nor switches languages: it installs the default
    // language's translation while it lives.
    void withCompiledTranslation()
    {
        // ":/languages" and the default language's translation, compiled, in a resource.
        const QString dir = m_work.path();
        QVERIFY(QDir().mkpath(dir + "/i18n"));
        QVERIFY(writeFile(dir + "/German.ts",
                          "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\" "
                          "language=\"de_DE\"><context><name>Jobs</name><message><source>Create new Job"
                          "</source><translation>Neuer Auftrag</translation></message></context></TS>\n"));
        QVERIFY(runTool("lrelease", {dir + "/German.ts", "-qm", dir + "/i18n/German.qm"}));
        QVERIFY(writeFile(dir + "/languages", "languages=English German\ndefault=German\n"
                                              "[English]\nname=English\n[German]\nname=Deutsch\n"));
        QVERIFY(writeFile(dir + "/lang.qrc", "<RCC><qresource prefix=\"/\"><file>languages</file>"
                                             "<file>i18n/German.qm</file></qresource></RCC>\n"));
        QVERIFY(runTool("rcc", {"-binary", dir + "/lang.qrc", "-o", dir + "/languages.rcc"}));
        QVERIFY(QResource::registerResource(dir + "/languages.rcc"));
        {
            Translator translator(qApp, nullptr, false);
            QCOMPARE(QCoreApplication::translate("Jobs", "Create new Job"), QString("Neuer Auftrag"));
        }
        // The application no longer carries the translator of a destroyed Translator.
        QCOMPARE(QCoreApplication::translate("Jobs", "Create new Job"), QString("Create new Job"));
    }
};

QTEST_MAIN(TestTranslator)
#include "tst_translator.moc"
