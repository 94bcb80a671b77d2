// Settings store: typed access, enciphered passwords, group operations, broadcasts, persistence
// and use from several threads at once.

#include "settings/settingscategory.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>

class TestSettings : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    SettingsManager* m_settings = nullptr;

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(m_root->isValid());
        m_settings = SettingsManager::instance();
        QVERIFY(m_settings);
        QCOMPARE(SettingsManager::instance(), m_settings);
    }

    void layoutUnderDataRoot()
    {
        const SystemPaths& paths = SystemPaths::instance();
        const QString root = m_root->dataRoot();
        QCOMPARE(paths.rootDir, root);
        QCOMPARE(paths.globalSettingsFile, root + "/home/global/settingsStorage.ini");
        QCOMPARE(paths.userSettingsFile, root + "/active//settingsStorage.ini");
        QCOMPARE(paths.layoutDir, root + "/home/global//customlayouts/");
        for (const QString& dir : {paths.rootDir, paths.homeDir, paths.globalHomeDir, paths.activeDir,
                                   paths.layoutDir, paths.processDir})
            QVERIFY2(QFileInfo(dir).isDir(), qPrintable(dir));
        QVERIFY(paths.binDir.isEmpty());
    }

    void typedGetters_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("intValue");
        QTest::addColumn<bool>("boolValue");
        QTest::addColumn<QString>("text");
        QTest::newRow("number") << QVariant(42) << 42 << true << "42";
        QTest::newRow("not a number") << QVariant("abc") << 0 << true << "abc";
        QTest::newRow("true text") << QVariant("true") << 0 << true << "true";
        QTest::newRow("false text") << QVariant("false") << 0 << false << "false";
        QTest::newRow("zero") << QVariant(0) << 0 << false << "0";
    }
    void typedGetters()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, intValue);
        QFETCH(bool, boolValue);
        QFETCH(QString, text);
        for (bool global : {false, true}) {
            m_settings->setValue("Typed/key", stored, global);
            QCOMPARE(m_settings->getIntValue("Typed/key", 7, global), intValue);
            QCOMPARE(m_settings->getBooleanValue("Typed/key", false, global), boolValue);
            QCOMPARE(m_settings->getValue("Typed/key", "x", global), text);
        }
    }

    void defaultsForMissingKeys()
    {
        QVERIFY(!m_settings->contains("Missing/key"));
        QCOMPARE(m_settings->getIntValue("Missing/key", 17), 17);
        QCOMPARE(m_settings->getBooleanValue("Missing/key", true), true);
        QCOMPARE(m_settings->getValue("Missing/key", "dflt"), QString("dflt"));
        QCOMPARE(m_settings->getValue("Missing/key"), QString());
        QVERIFY(m_settings->getList("Missing/key").isEmpty());
        m_settings->setValue("List/key", QStringList({"a", "b"}));
        m_settings->flush();
        QCOMPARE(m_settings->getList("List/key"), QVariantList({QVariant("a"), QVariant("b")}));
        // The user and the global file are separate.
        m_settings->setValue("Only/user", "u");
        QVERIFY(m_settings->contains("Only/user"));
        QVERIFY(!m_settings->contains("Only/user", true));
    }

    void passwords_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("storedSize");
        QTest::newRow("short") << "demo" << 4 + 32;
        QTest::newRow("16 characters fill one block pair exactly") << "abcdefghijklmnop" << 4 + 32;
        QTest::newRow("17 characters") << "abcdefghijklmnopq" << 4 + 64;
        QTest::newRow("non-latin") << QString::fromUtf8("pässwörd€") << 4 + 32;
        QTest::newRow("colon and blanks") << "a:b c" << 4 + 32;
    }
    void passwords()
    {
        QFETCH(QString, password);
        QFETCH(int, storedSize);
        m_settings->setPassword("MC/password", password, true);
        QCOMPARE(m_settings->getPassword("MC/password", true), password);
        m_settings->flush();
        QSettings onDisk(SystemPaths::instance().globalSettingsFile, QSettings::IniFormat);
        const QVariant stored = onDisk.value("MC/password");
        QCOMPARE(stored.type(), QVariant::ByteArray);
        const QByteArray bytes = stored.toByteArray();
        QCOMPARE(bytes.size(), storedSize);
        QVERIFY(bytes.startsWith("LYM1"));
        // The plain text must not be readable in the file.
        QVERIFY(!bytes.contains(password.toUtf8()));
    }

    void malformedPasswords()
    {
        const QByteArray good = SettingsManager::encipherPassword("secret");
        QCOMPARE(SettingsManager::decipherPassword(good), QString("secret"));
        QCOMPARE(SettingsManager::decipherPassword(QByteArray("LYM2") + good.mid(4)), QString());
        QCOMPARE(SettingsManager::decipherPassword(good.left(good.size() - 1)), QString());
        QCOMPARE(SettingsManager::decipherPassword(QString::fromLatin1(good)), QString());
        QCOMPARE(SettingsManager::decipherPassword(QVariant()), QString());

        m_settings->setValue("Pwd/plain", "secret");
        QCOMPARE(m_settings->getPassword("Pwd/plain"), QString());
        QCOMPARE(m_settings->getPassword("Pwd/missing"), QString());
        m_settings->setPassword("Pwd/set", "x");
        QVERIFY(m_settings->contains("Pwd/set"));
        m_settings->setPassword("Pwd/set", QString());
        QVERIFY(!m_settings->contains("Pwd/set"));
    }

    void groupOperations()
    {
        m_settings->setValueOfGroup("jobs", "1/name", "Apple job", true);
        m_settings->setValueOfGroup("jobs", "1/active", true, true);
        m_settings->setValueOfGroup("jobs", "1/filters/7/value", "Apple", true);
        m_settings->setValueOfGroup("jobs", "2/name", "Other", true);
        m_settings->setValueOfGroup("jobs", "top", "t", true);

        QCOMPARE(m_settings->keysOfGroup("jobs", true), QStringList({"top"}));
        QCOMPARE(m_settings->childGroupsOfGroup("jobs", true), QStringList({"1", "2"}));
        QCOMPARE(m_settings->childGroupsOfSubGroup("jobs", "1", true), QStringList({"filters"}));
        QCOMPARE(m_settings->getValueOfGroup("jobs", "1/name", true).toString(), QString("Apple job"));
        QCOMPARE(m_settings->getValueOfSubGroup("jobs", "1", "name", true).toString(), QString("Apple job"));
        QVERIFY(!m_settings->getValueOfGroup("jobs", "9/name", true).isValid());

        // Without a group nothing is set, read or removed.
        m_settings->setValueOfGroup("", "k", "v", true);
        QVERIFY(!m_settings->contains("k", true));
        QVERIFY(!m_settings->getValueOfGroup("", "top", true).isValid());
        QVERIFY(!m_settings->getValueOfSubGroup("jobs", "", "name", true).isValid());
        m_settings->removeValueOfGroup("jobs", "", true);
        QVERIFY(m_settings->contains("jobs/top", true));

        m_settings->removeValueOfGroup("jobs", "top", true);
        QVERIFY(!m_settings->contains("jobs/top", true));

        // A trailing "/" does not name the group exactly, so nothing is removed.
        m_settings->removeKeysOfGroup("jobs/1/", true);
        QVERIFY(m_settings->contains("jobs/1/name", true));
        m_settings->removeKeysOfGroup("jobs/1", true);
        QVERIFY(!m_settings->contains("jobs/1/name", true));
        QVERIFY(!m_settings->contains("jobs/1/filters/7/value", true));
        QVERIFY(m_settings->contains("jobs/2/name", true));

        // Group operations leave the current group where they found it.
        m_settings->setValue("plainKey", "p", true);
        QVERIFY(m_settings->contains("plainKey", true));
        m_settings->removeKey("jobs", true);
        QVERIFY(!m_settings->contains("jobs/2/name", true));
    }

    void removeKeysGuard()
    {
        m_settings->setValue("MC/address", "http://x", true);
        m_settings->setValue("MC/port", 8080, true);
        m_settings->setValue("OtherMC/address", "keep", true);
        m_settings->setValue("ab/c", "keep", true);
        m_settings->removeKeys("ab", true);
        QVERIFY(m_settings->contains("ab/c", true));
        QVERIFY(m_settings->contains("MC/address", true));
        m_settings->removeKeys("MC/", true);
        QVERIFY(!m_settings->contains("MC/address", true));
        QVERIFY(!m_settings->contains("MC/port", true));
        QVERIFY(!m_settings->contains("OtherMC/address", true));
        QVERIFY(m_settings->contains("ab/c", true));
    }

    void findKeysByValue()
    {
        m_settings->setValue("Find/a/printer", "foo");
        m_settings->setValue("Find/b/printer", "bar");
        m_settings->setValue("Find/c/layout", "foo");
        m_settings->setValue("Find/d/printer", "foo");
        QCOMPARE(m_settings->findKeysByValue("foo", "Find/printer"),
                 QStringList({"Find/a/printer", "Find/d/printer"}));
        QCOMPARE(m_settings->findKeysByValue("bar", "Find/printer"), QStringList({"Find/b/printer"}));
        QCOMPARE(m_settings->findKeysByValue("foo", "printer").size(), 2);
        QVERIFY(m_settings->findKeysByValue("none", "Find/printer").isEmpty());
        // The search leaves the group it entered.
        QVERIFY(m_settings->contains("Find/a/printer"));
    }

    void flushBroadcasts()
    {
        QSignalSpy changed(m_settings, &SettingsManager::categoryChanged);
        QList<QSignalSpy*> perCategory;
        for (SettingsCategory* c : m_settings->categories())
            perCategory.append(new QSignalSpy(c, &SettingsCategory::dataChanged));

        m_settings->flush();
        QCOMPARE(changed.count(), 0);

        m_settings->flush(SettingsManager::GENERAL_SETTINGS);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<SettingsManager::SettingsCategories>(),
                 SettingsManager::GENERAL_SETTINGS);
        for (int i = 0; i < perCategory.size(); ++i)
            QCOMPARE(perCategory[i]->count(),
                     m_settings->categories()[i]->category() == SettingsManager::GENERAL_SETTINGS ? 1 : 0);

        changed.clear();
        m_settings->flush(SettingsManager::IOS | SettingsManager::REPORT | SettingsManager::ANDROID);
        QCOMPARE(changed.count(), 3);
        // List order: ANDROID, IOS, ..., REPORT.
        QCOMPARE(changed.at(0).at(0).value<SettingsManager::SettingsCategories>(), SettingsManager::ANDROID);
        QCOMPARE(changed.at(2).at(0).value<SettingsManager::SettingsCategories>(), SettingsManager::REPORT);
        qDeleteAll(perCategory);
    }

    void flushWritesBothFiles()
    {
        m_settings->setValue("Persist/user", "u1");
        m_settings->setValue("MC/lastReportId", 1234, true);
        m_settings->setPassword("MC/password", "p@ss", true);
        m_settings->flush();
        QSettings user(SystemPaths::instance().userSettingsFile, QSettings::IniFormat);
        QSettings global(SystemPaths::instance().globalSettingsFile, QSettings::IniFormat);
        QCOMPARE(user.value("Persist/user").toString(), QString("u1"));
        QCOMPARE(global.value("MC/lastReportId").toInt(), 1234);
    }

    void exportToOtherUser()
    {
        const QString home = SystemPaths::instance().homeDir;
        QDir().mkpath(home + "/alice");
        {
            QSettings seed(home + "/alice/.settingsStorage", QSettings::NativeFormat);
            seed.setValue("unrelated", 1);
        }
        m_settings->setValue("USER_PWD/alice", "x", true);
        m_settings->setValue("USER_PWD/bob", "y", true); // no settings file: skipped with a log line
        m_settings->setValue("Shared/choice", QByteArray("blue"));
        m_settings->exportToOtherUser("Shared/choice");
        QSettings alice(home + "/alice/.settingsStorage", QSettings::NativeFormat);
        QCOMPARE(alice.value("Shared/choice").toByteArray(), QByteArray("blue"));
        QCOMPARE(alice.value("unrelated").toInt(), 1);
        QVERIFY(!QFileInfo::exists(home + "/bob/.settingsStorage"));
    }

    // Three threads use one manager at once, as the GUI, checker and poller threads do.
    void concurrentUse()
    {
        std::atomic<bool> stop{false};
        std::atomic<int> errors{0};
        auto worker = [&](int id) {
            int round = 0;
            while (!stop.load()) {
                const QString group = QString("Thread%1").arg(id);
                m_settings->setValueOfGroup(group, QString("k%1").arg(round % 20), round, true);
                const QVariant v = m_settings->getValueOfGroup(group, QString("k%1").arg(round % 20), true);
                if (v.toInt() != round)
                    ++errors;
                m_settings->setValue(QString("Flat/t%1").arg(id), round);
                if (m_settings->getIntValue(QString("Flat/t%1").arg(id), -1) != round)
                    ++errors;
                const QStringList keys = m_settings->keysOfGroup(group, true);
                for (const QString& k : keys)
                    if (!k.startsWith('k'))
                        ++errors;
                m_settings->setPassword(QString("Pw/t%1").arg(id), QString("pw%1").arg(round));
                if (m_settings->getPassword(QString("Pw/t%1").arg(id)) != QString("pw%1").arg(round))
                    ++errors;
                if (round % 50 == 0)
                    m_settings->flush();
                ++round;
            }
        };
        QThread* a = QThread::create(worker, 1);
        QThread* b = QThread::create(worker, 2);
        QThread* c = QThread::create(worker, 3);
        a->start();
        b->start();
        c->start();
        QTest::qWait(3000);
        stop = true;
        for (QThread* t : {a, b, c}) {
            QVERIFY(t->wait(10000));
            delete t;
        }
        QCOMPARE(errors.load(), 0);
        QCOMPARE(m_settings->childGroupsOfGroup("", true).count("Thread1"), 1);
    }

    // A manager created after the first one is gone reads what the first one wrote.
    void readBackAfterRestart()
    {
        m_settings->setValue("Restart/value", "kept", true);
        m_settings->setValue("Restart/user", 5);
        m_settings->setPassword("Restart/password", "hunter2", true);
        delete m_settings; // syncs both files
        m_settings = SettingsManager::instance();
        QVERIFY(m_settings);
        QCOMPARE(m_settings->getValue("Restart/value", QString(), true), QString("kept"));
        QCOMPARE(m_settings->getIntValue("Restart/user"), 5);
        QCOMPARE(m_settings->getPassword("Restart/password", true), QString("hunter2"));
    }

    void missingHomeGivesNoManager()
    {
        const QString home = SystemPaths::instance().homeDir;
        delete m_settings;
        m_settings = nullptr;
        QVERIFY(QDir(home).removeRecursively());
        QVERIFY(!SettingsManager::instance());
        QVERIFY(QDir().mkpath(home));
        m_settings = SettingsManager::instance();
        QVERIFY(m_settings);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
