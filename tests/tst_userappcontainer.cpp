// The logo folder the layout editor offers: import from a drive, listing, removal.

#include "shared/userappcontainer.h"
#include "testsupport.h"

#include <QtTest>

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
        QVERIFY(!apps.importLogoFromUsb(text));
        QVERIFY(!apps.importLogoFromUsb(m_root->path() + "/missing.png"));
        QCOMPARE(apps.logos(), QStringList({"Shield Logo.png"}));
        QCOMPARE(changed.count(), 1);
        QVERIFY(!apps.removeLocalLogo("../Shield Logo.png"));
        QVERIFY(apps.removeLocalLogo("Shield Logo.png"));
        QVERIFY(apps.logos().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestUserAppContainer)
#include "tst_userappcontainer.moc"
