// The logo folder the layout editor offers: import from a drive, listing, removal, and finding
// plugged-in drives.

#include "shared/userappcontainer.h"
#include "testsupport.h"

#include <QtTest>

#include <unistd.h>

class TestUserAppContainer : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;

private slots:
    void initTestCase() { m_root = new TestSupport::IsolatedDataRoot; }

    void importListRemove()
    {
        UserAppContainer apps;
        QSignalSpy changed(&apps, &UserAppContainer::logosChanged);
        const QString png = m_root->path() + "/Shield Logo.png";
        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(Qt::black);
        QVERIFY(image.save(png));
        // Text under a picture's name.
        const QString text = m_root->path() + "/notes.png";
        QVERIFY(QFile::copy(LABELPRINTER_SOURCE_DIR "/CMakeLists.txt", text));
        QVERIFY(apps.importLogoFromUsb(QUrl::fromLocalFile(png).toString())); // a file: URL from the dialog
        QVERIFY(apps.importLogoFromUsb(png));                                 // again: replaced
        QVERIFY(!apps.importLogoFromUsb(text));
        QVERIFY(!apps.importLogoFromUsb(m_root->path() + "/missing.png"));
        QCOMPARE(apps.logos(), QStringList({"Shield Logo.png"}));
        QCOMPARE(changed.count(), 2);
        QVERIFY(!apps.removeLocalLogo("../Shield Logo.png"));
        QVERIFY(!apps.removeLocalLogo("other.png"));
        QVERIFY(apps.removeLocalLogo("Shield Logo.png"));
        QVERIFY(apps.logos().isEmpty());
    }

    void removableDrives()
    {
        if (geteuid() != 0)
            QSKIP("Needs root to make a drive folder under /media");
        const QString drive = QString("/media/test-drive-%1").arg(getpid());
        QVERIFY(QDir().mkpath(drive));
        UserAppContainer apps;
        // An empty mount point is not a drive; one with files is.
        QVERIFY(!apps.removableMedia().contains(drive));
        QFile file(drive + "/logo.png");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(apps.removableMedia().contains(drive));
        QVERIFY(apps.importFolder().startsWith("/media"));
        QVERIFY(QDir(drive).removeRecursively());
    }
};

QTEST_GUILESS_MAIN(TestUserAppContainer)
#include "tst_userappcontainer.moc"
