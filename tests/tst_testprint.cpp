// A layout printed once from the editor, with example values: the label file a person checks, and
// the notes they get when it cannot be printed.

#include "app/popupnoteprovider.h"
#include "barcodedecode.h"
#include "printing/fileprinter.h"
#include "printing/printhandler.h"
#include "settings/settingsmanager.h"
#include "testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

QJsonObject exampleLayout()
{
    const QJsonArray objects{QJsonObject{{"type", "BarCode.qml"},
                                         {"contentOrder", "IMEI,System serial"},
                                         {"symbology", "code128"},
                                         {"x", 248},
                                         {"y", 300},
                                         {"width", 440},
                                         {"height", 160},
                                         {"rotation", 0}},
                             QJsonObject{{"type", "TextObject.qml"},
                                         {"unformattedString", "<manufacturer>"},
                                         {"x", 248},
                                         {"y", 120},
                                         {"width", 440},
                                         {"height", 40},
                                         {"rotation", 0},
                                         {"pixelSize", 30}}};
    return QJsonObject{
        {"width", 496}, {"height", 800}, {"name", "Shelf label"}, {"fixedsize", true}, {"objects", objects}};
}

QStringList pdfFiles()
{
    return QDir(FilePrinter::folder()).entryList({QStringLiteral("*.pdf")}, QDir::Files);
}

} // namespace

class TestTestPrint : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void printsOnceWithExampleValuesToTheFilePrinter();
    void failuresAreShownToTheUser_data();
    void failuresAreShownToTheUser();

private:
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
};

void TestTestPrint::initTestCase()
{
    m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
    QVERIFY(m_root->isValid());
    QVERIFY(SettingsManager::instance());
    PopupNoteProvider::instance()->ready();
}

void TestTestPrint::printsOnceWithExampleValuesToTheFilePrinter()
{
    PrintHandler handler;
    QSignalSpy written(&handler, &PrintHandler::labelFileWritten);
    QSignalSpy notes(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
    const QStringList before = pdfFiles();

    QVERIFY(handler.testPrint(exampleLayout(), FilePrinter::kName));

    QCOMPARE(written.count(), 1);
    QCOMPARE(notes.count(), 0);
    QCOMPARE(pdfFiles().size(), before.size() + 1);
    const QString pdf = written.at(0).at(0).toString();
    QVERIFY2(QFileInfo(pdf).fileName().contains(QStringLiteral("Shelf")), qPrintable(pdf));
    // The dialog tells the user this file.
    QCOMPARE(handler.lastTestPrintFile(), pdf);
    const QImage page = TestSupport::rasterisePdf(pdf, 300);
    QVERIFY(!page.isNull());
    // A fixed 62 x 100 mm label on its own page size.
    QVERIFY2(qAbs(page.width() - qRound(62 / 25.4 * 300)) <= 3, qPrintable(QString::number(page.width())));
    // No report: the barcode carries the example IMEI.
    QCOMPARE(TestSupport::decodeBarcodes(page), QStringList{QStringLiteral("012345678901234")});
}

void TestTestPrint::failuresAreShownToTheUser_data()
{
    QTest::addColumn<QJsonObject>("layout");
    QTest::addColumn<QString>("printer");
    QJsonObject noObjects = exampleLayout();
    noObjects.remove(QStringLiteral("objects"));
    QTest::newRow("unknown printer") << exampleLayout() << "No such printer 42";
    QTest::newRow("no printer chosen") << exampleLayout() << "";
    QTest::newRow("layout without objects") << noObjects << FilePrinter::kName;
}

void TestTestPrint::failuresAreShownToTheUser()
{
    QFETCH(QJsonObject, layout);
    QFETCH(QString, printer);
    // A default printer must not stand in for one the user did not pick.
    SettingsManager::instance()->setValue(QStringLiteral("defaultPrinter"), FilePrinter::kName, true);
    PrintHandler handler;
    QSignalSpy status(&handler, &PrintHandler::statusBarMessage);
    QSignalSpy notes(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
    const QStringList before = pdfFiles();

    QVERIFY(!handler.testPrint(layout, printer));

    QCOMPARE(notes.count(), 1);
    QCOMPARE(status.count(), 1);
    QVERIFY(!status.at(0).at(0).toString().isEmpty());
    QCOMPARE(pdfFiles(), before);
    SettingsManager::instance()->removeKey(QStringLiteral("defaultPrinter"), true);
}

QTEST_MAIN(TestTestPrint)
#include "tst_testprint.moc"
