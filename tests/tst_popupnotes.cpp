// Popup notes the window frame cannot show being held: one raised on another thread waits on the
// provider's thread, a dismissal is not held, a note of one cause is held once, and ready() delivers each
// held note once. Notes of every kind reaching the real frame are in tests/qml/tst_frame.qml.

#include "app/popupnoteprovider.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

class TestPopupNotes : public QObject
{
    Q_OBJECT
private slots:
    void notesFromOtherThreadsAreHeldUntilReady()
    {
        PopupNoteProvider* provider = PopupNoteProvider::instance();
        QVERIFY(!provider->isReady());
        QSignalSpy shown(provider, &PopupNoteProvider::showPopupWithInfo);
        QThread* worker = QThread::create([provider] {
            emit provider->showPopupWithInfo(PopupNoteProvider::ExportFailed, QStringLiteral("disk full"));
        });
        worker->start();
        QVERIFY(worker->wait(5000));
        delete worker;
        QTRY_COMPARE(provider->pendingCount(), 1);
        emit provider->dismissPopup(PopupNoteProvider::PrinterRemoved);
        QCOMPARE(provider->pendingCount(), 1);
        // A note of one cause is held once, with its latest text; withdrawn, it is not shown at all.
        QSignalSpy grouped(provider, &PopupNoteProvider::showGroupedNote);
        for (const char* text : {"1 label failed", "2 labels failed"})
            emit provider->showGroupedNote("cause", "Labels not printed", text,
                                           PopupNoteProvider::ErrorMessage);
        emit provider->showGroupedNote("gone", "Labels not printed", "1 label failed",
                                       PopupNoteProvider::ErrorMessage);
        emit provider->dismissGroupedNote("gone");
        QCOMPARE(provider->pendingCount(), 2);

        provider->ready();
        provider->ready();
        QCOMPARE(provider->pendingCount(), 0);
        QTRY_COMPARE(shown.count(), 2); // raised, then delivered once
        QTest::qWait(50);
        QCOMPARE(shown.count(), 2);
        QCOMPARE(shown.at(1).at(1).toString(), QStringLiteral("disk full"));
        QCOMPARE(grouped.count(), 3 + 1); // raised three times, delivered once
        QCOMPARE(grouped.last().at(2).toString(), QStringLiteral("2 labels failed"));
        emit provider->showPopup(PopupNoteProvider::ExportFailed);
        QCOMPARE(provider->pendingCount(), 0);
    }
};

QTEST_MAIN(TestPopupNotes)
#include "tst_popupnotes.moc"
