// Settings store: typed access, enciphered passwords, group operations, persistence, use from
// several threads at once, and writes that fail for a while; the report-id watermark.

#include "readonlyfolder.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"
#include "settings/watermark.h"
#include "testsupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>
#include <functional>

// Holds the store from another thread, as a poll storing its watermark does while the disk
// syncs: inside writeGlobalTogether it runs `change`, then waits until released, or 20 s when
// whoever should release it waits for the store instead.
class BusyStore
{
public:
    BusyStore(SettingsManager* settings, const std::function<void()>& change, bool keep)
    {
        m_thread = QThread::create([=] {
            settings->writeGlobalTogether([&] {
                change();
                m_holding = true;
                QDeadlineTimer deadline(20000);
                while (!m_released.load() && !deadline.hasExpired())
                    QThread::msleep(5);
                m_gaveUp = !m_released.load();
                return keep;
            });
        });
        m_thread->start();
        while (!m_holding.load())
            QThread::msleep(1);
    }
    ~BusyStore()
    {
        release();
        m_thread->wait();
        delete m_thread;
    }
    void release() { m_released = true; }
    bool released() const { return m_released.load(); }
    // True when it was released before it gave up.
    bool finish()
    {
        m_thread->wait();
        return !m_gaveUp.load();
    }

private:
    QThread* m_thread = nullptr;
    std::atomic<bool> m_holding{false};
    std::atomic<bool> m_released{false};
    std::atomic<bool> m_gaveUp{false};
};

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
        // Everything lives under the data root, and its folders exist.
        const SystemPaths& paths = SystemPaths::instance();
        QCOMPARE(paths.rootDir, m_root->dataRoot());
        for (const QString& dir :
             {paths.homeDir, paths.globalHomeDir, paths.activeDir, paths.layoutDir, paths.processDir})
            QVERIFY2(dir.startsWith(paths.rootDir) && QFileInfo(dir).isDir(), qPrintable(dir));
    }

    void typedGetters_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("intValue");
        QTest::addColumn<bool>("boolValue");
        QTest::addColumn<QString>("text");
        QTest::newRow("number") << QVariant(42) << 42 << true << "42";
        QTest::newRow("not a number") << QVariant("abc") << 0 << true << "abc";
        QTest::newRow("false text") << QVariant("false") << 0 << false << "false";
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

    // Enciphered on disk in 16-byte blocks after a 4-byte tag, never in plain text.
    void passwords_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("storedSize");
        QTest::newRow("short") << "demo" << 4 + 32;
        QTest::newRow("16 characters fill one block pair exactly") << "abcdefghijklmnop" << 4 + 32;
        QTest::newRow("17 characters") << "abcdefghijklmnopq" << 4 + 64;
        QTest::newRow("non-latin") << QString::fromUtf8("pässwörd€") << 4 + 32;
    }

    void passwords()
    {
        QFETCH(QString, password);
        QFETCH(int, storedSize);
        m_settings->setPassword("MC/password", password, true);
        QCOMPARE(m_settings->getPassword("MC/password", true), password);
        m_settings->flush();
        const QVariant stored =
            QSettings(SystemPaths::instance().globalSettingsFile, QSettings::IniFormat).value("MC/password");
        QCOMPARE(stored.type(), QVariant::ByteArray);
        const QByteArray bytes = stored.toByteArray();
        QCOMPARE(bytes.size(), storedSize);
        QVERIFY(bytes.startsWith("LYM1"));
        QVERIFY(!bytes.contains(password.toUtf8()));
    }

    void malformedPasswords()
    {
        const QByteArray good = SettingsManager::encipherPassword("secret");
        QCOMPARE(SettingsManager::decipherPassword(good), QString("secret"));
        for (const QVariant& bad :
             {QVariant(QByteArray("LYM2") + good.mid(4)), QVariant(good.left(good.size() - 1)),
              QVariant(QString::fromLatin1(good)), QVariant()})
            QCOMPARE(SettingsManager::decipherPassword(bad), QString());
        m_settings->setValue("Pwd/plain", "secret");
        QCOMPARE(m_settings->getPassword("Pwd/plain"), QString());
        m_settings->setPassword("Pwd/set", "x");
        m_settings->setPassword("Pwd/set", QString());
        QVERIFY(!m_settings->contains("Pwd/set"));
    }

    void groupOperations()
    {
        m_settings->setValueOfGroup("jobs", "1/name", "Apple job", true);
        m_settings->setValueOfGroup("jobs", "1/filters/7/value", "Apple", true);
        m_settings->setValueOfGroup("jobs", "2/name", "Other", true);
        m_settings->setValueOfGroup("jobs", "top", "t", true);
        QCOMPARE(m_settings->keysOfGroup("jobs", true), QStringList({"top"}));
        QCOMPARE(m_settings->childGroupsOfGroup("jobs", true), QStringList({"1", "2"}));
        QCOMPARE(m_settings->childGroupsOfSubGroup("jobs", "1", true), QStringList({"filters"}));
        QCOMPARE(m_settings->getValueOfSubGroup("jobs", "1", "filters/7/value", true).toString(),
                 QString("Apple"));
        QCOMPARE(m_settings->findKeysByValue("Apple", "jobs/value", true),
                 QStringList({"jobs/1/filters/7/value"}));
        // Keys are found however their slashes are written.
        QCOMPARE(m_settings->getValue("/jobs//1/name/", QString(), true), QString("Apple job"));
        QCOMPARE(m_settings->childGroupsOfGroup("/jobs/", true), QStringList({"1", "2"}));

        // Without a key nothing is removed, not the whole group.
        m_settings->removeValueOfGroup("jobs", "", true);
        QVERIFY(m_settings->contains("jobs/top", true));
        m_settings->removeValueOfGroup("jobs", "top", true);
        QVERIFY(!m_settings->contains("jobs/top", true));

        // Group operations leave the current group where they found it.
        m_settings->setValue("plainKey", "p", true);
        QVERIFY(m_settings->contains("plainKey", true));
        m_settings->removeKey("jobs", true);
        QVERIFY(!m_settings->contains("jobs/2/name", true));
    }

    // Three threads use one manager at once, as the GUI, checker and poller threads do.
    void concurrentUse()
    {
        std::atomic<bool> stop{false};
        std::atomic<int> errors{0};
        auto worker = [&](int id) {
            const QString group = QString("Thread%1").arg(id);
            const QString flat = QString("Flat/t%1").arg(id);
            const QString password = QString("Pw/t%1").arg(id);
            for (int round = 0; !stop.load(); ++round) {
                const QString key = QString("k%1").arg(round % 20);
                m_settings->setValueOfGroup(group, key, round, true);
                errors += m_settings->getValueOfGroup(group, key, true).toInt() != round;
                m_settings->setValue(flat, round);
                errors += m_settings->getIntValue(flat, -1) != round;
                for (const QString& k : m_settings->keysOfGroup(group, true))
                    errors += !k.startsWith('k');
                m_settings->setPassword(password, QString("pw%1").arg(round));
                errors += m_settings->getPassword(password) != QString("pw%1").arg(round);
                if (round % 50 == 0)
                    m_settings->flush();
            }
        };
        QList<QThread*> threads{QThread::create(worker, 1), QThread::create(worker, 2),
                                QThread::create(worker, 3)};
        for (QThread* t : threads)
            t->start();
        QTest::qWait(3000);
        stop = true;
        for (QThread* t : threads) {
            QVERIFY(t->wait(10000));
            delete t;
        }
        QCOMPARE(errors.load(), 0);
        QCOMPARE(m_settings->childGroupsOfGroup("", true).count("Thread1"), 1);
    }

    // Qt's deferred write runs in the window's event loop. While another thread holds the store to
    // write a file, it neither waits there nor drops the change: the change reaches the file once
    // the other thread is done.
    void deferredWriteWhileTheStoreIsBusy()
    {
        m_settings->flush(); // the next change asks for a deferred write
        m_settings->setValue("Deferred/user", "written later");
        BusyStore busy(
            m_settings, [] {}, false);
        // Runs once the event loop has passed the deferred write.
        QMetaObject::invokeMethod(
            qApp, [&] { busy.release(); }, Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(busy.released(), 30000);
        QVERIFY2(busy.finish(), "the event loop waited for the other thread's write");
        const auto onDisk = [] {
            QFile file(SystemPaths::instance().userSettingsFile);
            return file.open(QIODevice::ReadOnly) && file.readAll().contains("written later");
        };
        QTRY_VERIFY(onDisk());
    }

    // A read while another thread writes the global file neither waits for that write nor sees the
    // change before it is written; the writer reads its own.
    void readWhileAnotherThreadWrites()
    {
        m_settings->setValue("Busy/value", "before", true);
        QString ownRead;
        BusyStore busy(
            m_settings,
            [&] {
                m_settings->setValue("Busy/value", "after", true);
                ownRead = m_settings->getValue("Busy/value", QString(), true);
            },
            true);
        const QString seen = m_settings->getValue("Busy/value", QString(), true);
        busy.release();
        QVERIFY2(busy.finish(), "the read waited for the other thread's write");
        QCOMPARE(seen, QString("before"));
        QCOMPARE(ownRead, QString("after"));
        QCOMPARE(m_settings->getValue("Busy/value", QString(), true), QString("after"));
    }

    // While the settings folder is read-only a write fails and says which file and why; a poll's
    // watermark and restart points are then undone in memory too. The failure does not stick: once
    // the folder is writable the next sync stores what was left to write. Ids above 2^31 survive.
    void failedWritesAndTheWatermark()
    {
        const qint64 big = 5'000'000'000;
        Watermark watermark(m_settings);
        QVERIFY(watermark.set(big));
        QVERIFY(watermark.advance(big, big + 1, "doc-1", {{"job", big - 7}}));
        QSignalSpy problems(m_settings, &SettingsManager::saveProblemChanged);
        const QString file = SystemPaths::instance().globalSettingsFile;
        {
            TestSupport::ReadOnlyFolder folder(QFileInfo(file).absolutePath());
            QString why;
            if (!folder.makeReadOnly(&why))
                QSKIP(qPrintable("the settings folder cannot be made read-only here: " + why));
            m_settings->setValue("Unsaved/value", "kept", true);
            QVERIFY(!m_settings->syncGlobal());
            QVERIFY(!watermark.advance(big + 1, big + 9, "doc-9", {{"job", -1}}));
            QCOMPARE(watermark.lastId(), big + 1);
            QCOMPARE(watermark.document(), QString("doc-1"));
            QCOMPARE(watermark.restartPoint("job"), big - 7);
            QCOMPARE(m_settings->getValue("Unsaved/value", QString(), true), QString("kept"));
            QVERIFY2(m_settings->saveProblem().startsWith(file + ": ") &&
                         m_settings->saveProblem().contains("Read-only file system"),
                     qPrintable(m_settings->saveProblem()));
            QTRY_COMPARE(problems.count(), 1);
        }
        QVERIFY(watermark.advance(big + 1, big + 9, "doc-9", {{"job", -1}}));
        QVERIFY(m_settings->saveProblem().isEmpty());
        QTRY_COMPARE(problems.count(), 2);
        QCOMPARE(problems.last().first().toString(), QString());
        // A watermark moved by the user meanwhile is not overwritten by a poll that started before.
        QVERIFY(!watermark.advance(big + 1, big + 20, "doc-20", {}));

        delete m_settings; // the next manager reads the file
        m_settings = SettingsManager::instance();
        const Watermark reread(m_settings);
        QCOMPARE(reread.lastId(), big + 9);
        QCOMPARE(reread.document(), QString("doc-9"));
        QCOMPARE(reread.restartPoint("job"), qint64(-1));
        QCOMPARE(reread.nextFetchFrom("job"), big + 9);
        QCOMPARE(m_settings->getValue("Unsaved/value", QString(), true), QString("kept"));
    }

    // User and global values land in their own files, and a manager created after the first one is
    // gone reads back what the first one wrote; without its home folder there is no manager.
    void persistence()
    {
        m_settings->setValue("Restart/user", 5);
        m_settings->setValue("Restart/value", "kept", true);
        m_settings->setPassword("Restart/password", "hunter2", true);
        m_settings->flush();
        const auto onDisk = [](const QString& file, const char* key) {
            return QSettings(file, QSettings::IniFormat).value(key).toString();
        };
        QCOMPARE(onDisk(SystemPaths::instance().userSettingsFile, "Restart/user"), QString("5"));
        QCOMPARE(onDisk(SystemPaths::instance().globalSettingsFile, "Restart/value"), QString("kept"));
        QVERIFY(!m_settings->contains("Restart/user", true));
        delete m_settings; // syncs both files
        m_settings = SettingsManager::instance();
        QVERIFY(m_settings);
        QCOMPARE(m_settings->getValue("Restart/value", QString(), true), QString("kept"));
        QCOMPARE(m_settings->getIntValue("Restart/user"), 5);
        QCOMPARE(m_settings->getPassword("Restart/password", true), QString("hunter2"));

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
