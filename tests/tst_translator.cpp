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
    QString m_rcc;

    // Builds ":/languages" and ":/i18n/German.qm" (one message translated) into a binary resource.
    bool buildLanguageResource()
    {
        const QString dir = m_work.path();
        auto ts = [](const QString& language, const QString& translation) {
            return QStringLiteral(
                       "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\" "
                       "language=\"%1\"><context><name>Jobs</name><message><source>Create new Job"
                       "</source><translation>%2</translation></message></context></TS>\n")
                .arg(language, translation)
                .toUtf8();
        };
        const QByteArray languages = "languages=English German French\ndefault=English\n"
                                     "[English]\nname=English\ndateformat=MM/dd/yyyy\ntimeformat=h:mm AP\n"
                                     "[German]\nname=Deutsch\ndateformat=dd.MM.yyyy\ntimeformat=\n"
                                     "[French]\nname=" +
                                     kFrench.toUtf8() + "\n";
        const QByteArray qrc = "<RCC><qresource prefix=\"/\"><file>languages</file>"
                               "<file>i18n/German.qm</file><file>i18n/English.qm</file></qresource></RCC>\n";
        QDir().mkpath(dir + "/i18n");
        m_rcc = dir + "/languages.rcc";
        return writeFile(dir + "/German.ts", ts("de_DE", "Neuer Auftrag")) &&
               writeFile(dir + "/English.ts", ts("en_US", "Create new Job")) &&
               writeFile(dir + "/languages", languages) && writeFile(dir + "/lang.qrc", qrc) &&
               runTool("lrelease", {dir + "/German.ts", "-qm", dir + "/i18n/German.qm"}) &&
               runTool("lrelease", {dir + "/English.ts", "-qm", dir + "/i18n/English.qm"}) &&
               runTool("rcc", {"-binary", dir + "/lang.qrc", "-o", m_rcc});
    }

private slots:
    void initTestCase()
    {
        if (QFileInfo::exists(Translator::kSystemDescriptionFile))
            QSKIP("This machine has its own language description file in /etc");
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(SettingsManager::instance());
    }
    void withoutLanguageFiles()
    {
        Translator translator(qApp, nullptr, true);
        QSignalSpy changed(&translator, &Translator::languageChanged);
        QCOMPARE(translator.availableLanguages(), QStringList({"English"}));
        QCOMPARE(translator.selectedLanguage(), QString("English"));
        QCOMPARE(translator.selectedLanguageTranslator(), QString("English"));
        QCOMPARE(translator.translate("Jobs", "Create new Job"), QString("Create new Job"));
        translator.setLanguage("English");
        translator.setLanguage("Klingon");
        QCOMPARE(changed.count(), 0);
        QCOMPARE(translator.getLanguageFromSettings("German"), QString("English"));
        QCOMPARE(translator.languageForSettings("Deutsch"), QString("English"));
    }
    void escaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("json");
        const char* const rows[][3] = {
            {"ascii letters and digits", "Abc123", "Abc123"},
            {"e acute", "\xc3\xa9", "\\u00e9"},
            {"blank", " ", "\\u0020"},
            {"quote and backslash", "\"\\", "\\u0022\\u005c"},
            {"euro sign", "\xe2\x82\xac", "\\u20ac"},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString(row[2]);
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
        QVERIFY(buildLanguageResource());
        QVERIFY(QResource::registerResource(m_rcc));
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
