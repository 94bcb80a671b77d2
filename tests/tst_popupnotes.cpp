// Popup notes of every kind, raised before the QML is ready (one from another thread), reach the
// frame once, newest first, with all their texts; the window frame's own handling is in
// tests/qml/tst_frame.qml.

#include "app/popupnoteprovider.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QScopedPointer>
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
private slots:
    void heldNotesAreDeliveredOnceWithAllTheirTexts()
    {
        PopupNoteProvider* provider = PopupNoteProvider::instance();
        QVERIFY(!provider->isReady());
        // A note raised on another thread is held on the provider's own thread.
        QThread* worker =
            QThread::create([provider] { emit provider->showPopup(PopupNoteProvider::MCCommFailed); });
        worker->start();
        QVERIFY(worker->wait(5000));
        delete worker;
        QTRY_COMPARE(provider->pendingCount(), 1);

        emit provider->showErrorText(QStringLiteral("Title"), QStringLiteral("Body"),
                                     PopupNoteProvider::PrinterNotWorking);
        emit provider->showPopupWithInfo(PopupNoteProvider::ExportFailed, QStringLiteral("disk full"));
        emit provider->showErrorConfirm(QStringLiteral("T"), QStringLiteral("X"), QStringLiteral("Yes"),
                                        QStringLiteral("No"), QStringLiteral("obj"), QStringLiteral("ok"),
                                        QStringLiteral("cancel"), PopupNoteProvider::UpdateAvailableConfirm);
        emit provider->dismissPopup(PopupNoteProvider::PrinterRemoved);
        QCOMPARE(provider->pendingCount(), 4); // the dismissal is not held

        QQmlEngine engine;
        engine.rootContext()->setContextProperty(QStringLiteral("popupProvider"), provider);
        QQmlComponent component(&engine);
        component.setData(kFrameQml, QUrl());
        QScopedPointer<QObject> frame(component.create());
        QVERIFY2(frame, qPrintable(component.errorString()));
        QVERIFY(provider->isReady());
        QCOMPARE(provider->pendingCount(), 0);
        QStringList expected = {
            QStringLiteral("confirm 35 T|X|Yes|No|obj|ok|cancel"),
            QStringLiteral("info 60 disk full"),
            QStringLiteral("text 28 Title|Body"),
            QStringLiteral("popup 1"),
        };
        QCOMPARE(frame->property("notes").toStringList(), expected);

        // Once ready nothing is held, and a second ready() replays nothing.
        emit provider->showPopup(PopupNoteProvider::PrintedReportsWritingToLogFailed);
        QCOMPARE(provider->pendingCount(), 0);
        provider->ready();
        expected << QStringLiteral("popup 75");
        QCOMPARE(frame->property("notes").toStringList(), expected);
    }
};

QTEST_MAIN(TestPopupNotes)
#include "tst_popupnotes.moc"
