// Language switching: the fallbacks without any language files, and a real compiled translation
// offered through a resource registered at run time.

#include "app/translator.h"
#include "settings/settingsmanager.h"
#include "testsupport.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>
#include <QResource>
#include <QSignalSpy>
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

const QString kFrench = QString::fromUtf8("Fran\xc3\xa7"
                                          "ais");

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
        QTest::newRow("blank") << " " << QString("\\u0020");
        QTest::newRow("quote and backslash") << "\"\\" << QString("\\u0022\\u005c");
        QTest::newRow("euro sign") << "\xe2\x82\xac" << QString("\\u20ac");
    }
    void escaping()
    {
        QFETCH(QString, text);
        QFETCH(QString, json);
        Translator translator(qApp, nullptr, false);
        QCOMPARE(translator.jsonEscaped(text), json);
        QCOMPARE(translator.escaped("<a href=\"x\">&</a>"),
                 QString("&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;"));
    }
    void withCompiledTranslation()
    {
        // Without language files: English only, texts as they are, no switching.
        {
            Translator translator(qApp, nullptr, true);
            QSignalSpy changed(&translator, &Translator::languageChanged);
            QCOMPARE(translator.availableLanguages(), QStringList({"English"}));
            QCOMPARE(translator.selectedLanguageTranslator(), QString("English"));
            QCOMPARE(translator.translate("Jobs", "Create new Job"), QString("Create new Job"));
            translator.setLanguage("English");
            translator.setLanguage("Klingon");
            QCOMPARE(changed.count(), 0);
            QCOMPARE(translator.getLanguageFromSettings("German"), QString("English"));
            QCOMPARE(translator.languageForSettings("Deutsch"), QString("English"));
        }
        // Then ":/languages" and two compiled translations (French has none) in a resource.
        const QString dir = m_work.path();
        QVERIFY(QDir().mkpath(dir + "/i18n"));
        for (const auto& [id, language, translation] :
             {std::tuple<QString, QString, QString>{"German", "de_DE", "Neuer Auftrag"},
              {"English", "en_US", "Create new Job"}}) {
            QVERIFY(
                writeFile(dir + "/" + id + ".ts",
                          QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS "
                                         "version=\"2.1\" language=\"%1\"><context><name>Jobs</name><message>"
                                         "<source>Create new Job</source><translation>%2</translation>"
                                         "</message></context></TS>\n")
                              .arg(language, translation)
                              .toUtf8()));
            QVERIFY(runTool("lrelease", {dir + "/" + id + ".ts", "-qm", dir + "/i18n/" + id + ".qm"}));
        }
        QVERIFY(writeFile(dir + "/languages",
                          "languages=English German French\ndefault=English\n"
                          "[English]\nname=English\ndateformat=MM/dd/yyyy\ntimeformat=h:mm AP\n"
                          "[German]\nname=Deutsch\ndateformat=dd.MM.yyyy\ntimeformat=\n"
                          "[French]\nname=" +
                              kFrench.toUtf8() + "\n"));
        QVERIFY(writeFile(dir + "/lang.qrc",
                          "<RCC><qresource prefix=\"/\"><file>languages</file><file>i18n/"
                          "German.qm</file><file>i18n/English.qm</file></qresource></RCC>\n"));
        QVERIFY(runTool("rcc", {"-binary", dir + "/lang.qrc", "-o", dir + "/languages.rcc"}));
        QVERIFY(QResource::registerResource(dir + "/languages.rcc"));
        SettingsManager::instance()->removeKey("UI/language");
        {
            Translator translator(qApp, nullptr, true);
            QSignalSpy changed(&translator, &Translator::languageChanged);
            // French has no translation file: listed, but switching to it fails.
            QCOMPARE(translator.availableLanguages(), QStringList({"English", "Deutsch", kFrench}));
            QCOMPARE(translator.selectedLanguage(), QString("English"));
            QCOMPARE(translator.getDefaultDateFormat(), QString("MM/dd/yyyy"));
            QCOMPARE(translator.getDefault12HourFormat(), QString("h:mm AP"));

            translator.setLanguage("Deutsch");
            QCOMPARE(changed.count(), 1);
            QCOMPARE(translator.selectedLanguageTranslator(), QString("German"));
            QCOMPARE(translator.translate("Jobs", "Create new Job"), QString("Neuer Auftrag"));
            QCOMPARE(QCoreApplication::translate("Jobs", "Create new Job"), QString("Neuer Auftrag"));
            QCOMPARE(translator.translate("Jobs", "Unknown text"), QString());
            QCOMPARE(translator.getDefaultDateFormat(), QString("dd.MM.yyyy"));

            translator.setLanguage("Deutsch"); // already current: no signal
            translator.setLanguage(kFrench);
            QCOMPARE(changed.count(), 1);
            QCOMPARE(translator.selectedLanguageTranslator(), QString("German"));

            QCOMPARE(translator.getLanguageFromSettings("German"), QString("Deutsch"));
            QCOMPARE(translator.languageForSettings("Deutsch"), QString("German"));
            QCOMPARE(SettingsManager::instance()->getValue("UI/language"), QString("German"));
        }
        // The application no longer carries the translator of a destroyed Translator.
        QCOMPARE(QCoreApplication::translate("Jobs", "Create new Job"), QString("Create new Job"));

        // The remembered choice comes back; without remembering, the default applies.
        Translator remembering(qApp, nullptr, true);
        QCOMPARE(remembering.selectedLanguageTranslator(), QString("German"));
        QCOMPARE(QCoreApplication::translate("Jobs", "Create new Job"), QString("Neuer Auftrag"));
        Translator forgetful(qApp, nullptr, false);
        QCOMPARE(forgetful.selectedLanguageTranslator(), QString("English"));
    }
};

QTEST_MAIN(TestTranslator)
#include "tst_translator.moc"
