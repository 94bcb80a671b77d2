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

    // A logo of the same name is never replaced by a different picture; the same one imports again.
    void importKeepsADifferentLogo()
    {
        UserAppContainer apps;
        QTemporaryDir first, second;
        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(Qt::black);
        QVERIFY(image.save(first.filePath("logo.png")));
        image.fill(Qt::white);
        QVERIFY(image.save(second.filePath("logo.png")));
        QVERIFY(apps.importLogo(first.filePath("logo.png")).isEmpty());
        const QString clash = apps.importLogo(second.filePath("logo.png"));
        QVERIFY2(clash.contains("different logo"), qPrintable(clash));
        QCOMPARE(QImage(apps.logoDir() + "logo.png").pixelColor(0, 0), QColor(Qt::black));
        QVERIFY(apps.importLogo(first.filePath("logo.png")).isEmpty());
        QVERIFY(apps.removeLocalLogo("logo.png"));
    }
};

QTEST_GUILESS_MAIN(TestUserAppContainer)
#include "tst_userappcontainer.moc"
