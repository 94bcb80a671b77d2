// Popup notes: held until the QML is ready, delivered newest first with all their texts, never
// held afterwards; the note types as QML sees them.

#include "app/popupnoteprovider.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QScopedPointer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

namespace {

// Stands in for the window frame: connects its handlers to the provider, then calls ready().
const char* const kFrameQml = R"(
import QtQml 2.15
QtObject {
    property var notes: []
    function note(text) { var n = notes; n.push(text); notes = n }
    property Connections handlers: Connections {
        target: popupProvider
        function onShowPopup(type) { note("popup " + type) }
        function onShowPopupWithInfo(type, extrainfo) { note("info " + type + " " + extrainfo) }
        function onShowErrorText(title, text, type) { note("text " + type + " " + title + "|" + text) }
        function onShowErrorConfirm(title, text, confirm, reject, object, okSlot, cancelSlot, type) {
            note("confirm " + type + " " + [title, text, confirm, reject, object, okSlot, cancelSlot].join("|"))
        }
        function onDismissPopup(type) { note("dismiss " + type) }
    }
    Component.onCompleted: popupProvider.ready()
}
)";

} // namespace

class TestPopupNotes : public QObject
{
    Q_OBJECT
private:
    PopupNoteProvider* m_provider = nullptr;
    QQmlEngine* m_engine = nullptr;
    QObject* m_frame = nullptr;

    QStringList frameNotes() const { return m_frame->property("notes").toStringList(); }

private slots:
    void initTestCase()
    {
        PopupNoteProvider::registerQmlType();
        m_provider = PopupNoteProvider::instance();
        QVERIFY(m_provider);
        QCOMPARE(PopupNoteProvider::instance(), m_provider);
        QVERIFY(!m_provider->isReady());
    }

    // Must run first: the provider is process-wide and becomes ready only once.
    void notesBeforeReadyAreDeliveredNewestFirst()
    {
        QSignalSpy popupSpy(m_provider, &PopupNoteProvider::showPopup);
        QSignalSpy infoSpy(m_provider, &PopupNoteProvider::showPopupWithInfo);
        QSignalSpy textSpy(m_provider, &PopupNoteProvider::showErrorText);
        QSignalSpy confirmSpy(m_provider, &PopupNoteProvider::showErrorConfirm);
        QSignalSpy dismissSpy(m_provider, &PopupNoteProvider::dismissPopup);

        // A note raised on another thread is held on the provider's own thread.
        QThread* worker =
            QThread::create([this] { emit m_provider->showPopup(PopupNoteProvider::MCCommFailed); });
        worker->start();
        QVERIFY(worker->wait(5000));
        delete worker;
        QTRY_COMPARE(m_provider->pendingCount(), 1);

        emit m_provider->showErrorText(QStringLiteral("Title"), QStringLiteral("Body"),
                                       PopupNoteProvider::PrinterNotWorking);
        emit m_provider->showPopupWithInfo(PopupNoteProvider::ExportFailed, QStringLiteral("disk full"));
        emit m_provider->showErrorConfirm(QStringLiteral("T"), QStringLiteral("X"), QStringLiteral("Yes"),
                                          QStringLiteral("No"), QStringLiteral("obj"), QStringLiteral("ok"),
                                          QStringLiteral("cancel"),
                                          PopupNoteProvider::UpdateAvailableConfirm);
        emit m_provider->dismissPopup(PopupNoteProvider::PrinterRemoved);
        QCOMPARE(m_provider->pendingCount(), 4); // the dismissal is not held

        m_engine = new QQmlEngine(this);
        m_engine->rootContext()->setContextProperty(QStringLiteral("popupProvider"), m_provider);
        QQmlComponent component(m_engine);
        component.setData(kFrameQml, QUrl());
        m_frame = component.create();
        QVERIFY2(m_frame, qPrintable(component.errorString()));

        QVERIFY(m_provider->isReady());
        QCOMPARE(m_provider->pendingCount(), 0);
        const QStringList expected = {
            QStringLiteral("confirm 35 T|X|Yes|No|obj|ok|cancel"),
            QStringLiteral("info 60 disk full"),
            QStringLiteral("text 28 Title|Body"),
            QStringLiteral("popup 1"),
        };
        QCOMPARE(frameNotes(), expected);
        // Each held note is emitted once more, the dismissal only the once it was raised.
        QTRY_COMPARE(popupSpy.count(), 2);
        QCOMPARE(textSpy.count(), 2);
        QCOMPARE(confirmSpy.count(), 2);
        QCOMPARE(dismissSpy.count(), 1);
        QCOMPARE(infoSpy.count(), 2);
        QCOMPARE(infoSpy.at(1).at(1).toString(), QStringLiteral("disk full"));
    }

    void notesAfterReadyGoStraightThrough()
    {
        QVERIFY(m_frame);
        const int before = frameNotes().size();
        emit m_provider->showPopup(PopupNoteProvider::PrintedReportsWritingToLogFailed);
        emit m_provider->dismissPopup(PopupNoteProvider::PrintedReportsWritingToLogFailed);
        QCOMPARE(m_provider->pendingCount(), 0);

        m_provider->ready(); // a second call replays nothing
        const QStringList notes = frameNotes().mid(before);
        QCOMPARE(notes, QStringList({QStringLiteral("popup 75"), QStringLiteral("dismiss 75")}));
    }

    void noteTypesInQml()
    {
        QVERIFY(m_engine);
        QQmlComponent reader(m_engine);
        reader.setData("import QtQml 2.15\nimport PopupNoteTypes 1.0\n"
                       "QtObject { property int a: PopupNoteTypes.NoNote;"
                       " property int b: PopupNoteTypes.FromBrowserBadState;"
                       " property int c: PopupNoteTypes.PrintedReportsWritingToLogFailed }",
                       QUrl());
        QScopedPointer<QObject> object(reader.create());
        QVERIFY2(object, qPrintable(reader.errorString()));

        QQmlComponent instantiate(m_engine);
        instantiate.setData("import PopupNoteTypes 1.0\nPopupNoteTypes {}", QUrl());
        QVERIFY(instantiate.isError());
        QVERIFY(instantiate.errorString().contains(QStringLiteral("Cannot be instantiated")));
    }

    void cleanupTestCase()
    {
        delete m_frame;
        m_frame = nullptr;
    }
};

QTEST_MAIN(TestPopupNotes)
#include "tst_popupnotes.moc"
