#include "app/popupnoteprovider.h"

#include "printing/printnotes.h"

#include <QCoreApplication>
#include <QQmlEngine>

PopupNoteProvider::PopupNoteProvider()
{
    // Notes may be raised first from a worker thread; the pending list belongs to the GUI thread.
    if (QCoreApplication* application = QCoreApplication::instance())
        moveToThread(application->thread());
    qRegisterMetaType<PopupNoteProvider::PopupNoteTypes>();
    m_holdingConnections
        << connect(this, &PopupNoteProvider::showPopup, this, &PopupNoteProvider::onShowPopup)
        << connect(this, &PopupNoteProvider::showPopupWithInfo, this, &PopupNoteProvider::onShowPopupWithInfo)
        << connect(this, &PopupNoteProvider::showErrorText, this, &PopupNoteProvider::onShowErrorText)
        << connect(this, &PopupNoteProvider::showErrorConfirm, this, &PopupNoteProvider::onShowErrorConfirm);
    // Printing raises its notes without knowing the window; they become notes of the matching type.
    connect(
        PrintNotes::instance(), &PrintNotes::note, this,
        [this](PrintNotes::Kind kind, const QString& title, const QString& text) {
            switch (kind) {
            case PrintNotes::LogNotWritten:
                emit showPopup(PrintedReportsWritingToLogFailed);
                return;
            case PrintNotes::PrinterNotConfigured:
                emit showErrorText(title, text, PrinterNotConfigured);
                return;
            case PrintNotes::PrinterNotWorking:
                emit showErrorText(title, text, PrinterNotWorking);
                return;
            case PrintNotes::PrinterRemoved:
                emit showErrorText(title, text, PrinterRemoved);
                return;
            case PrintNotes::Error:
                break;
            }
            emit showErrorText(title, text, ErrorMessage);
        },
        Qt::DirectConnection);
}

PopupNoteProvider* PopupNoteProvider::instance()
{
    static PopupNoteProvider* const provider = new PopupNoteProvider();
    return provider;
}

void PopupNoteProvider::registerQmlType()
{
    qmlRegisterUncreatableType<PopupNoteProvider>("PopupNoteTypes", 1, 0, "PopupNoteTypes",
                                                  QStringLiteral("Cannot be instantiated"));
}

void PopupNoteProvider::ready()
{
    m_ready = true;
    for (const QMetaObject::Connection& connection : qAsConst(m_holdingConnections))
        disconnect(connection);
    m_holdingConnections.clear();

    while (!m_pending.isEmpty()) {
        const PendingRequest request = m_pending.takeLast();
        switch (request.kind) {
        case KindPopup:
            emit showPopup(request.type);
            break;
        case KindErrorText:
            emit showErrorText(request.first, request.second, request.type);
            break;
        case KindErrorConfirm:
            emit showErrorConfirm(request.first, request.second, request.confirm, request.reject,
                                  request.object, request.okSlot, request.cancelSlot, request.type);
            break;
        case KindPopupWithInfo:
            emit showPopupWithInfo(request.type, request.second);
            break;
        }
    }
}

void PopupNoteProvider::hold(const PendingRequest& request)
{
    if (!m_ready)
        m_pending.append(request);
}

void PopupNoteProvider::onShowPopup(PopupNoteProvider::PopupNoteTypes type)
{
    PendingRequest request;
    request.kind = KindPopup;
    request.type = type;
    hold(request);
}

void PopupNoteProvider::onShowPopupWithInfo(PopupNoteProvider::PopupNoteTypes type, const QString& extrainfo)
{
    PendingRequest request;
    request.kind = KindPopupWithInfo;
    request.second = extrainfo;
    request.type = type;
    hold(request);
}

void PopupNoteProvider::onShowErrorText(const QString& title, const QString& text,
                                        PopupNoteProvider::PopupNoteTypes type)
{
    PendingRequest request;
    request.kind = KindErrorText;
    request.first = title;
    request.second = text;
    request.type = type;
    hold(request);
}

void PopupNoteProvider::onShowErrorConfirm(const QString& title, const QString& text, const QString& confirm,
                                           const QString& reject, const QString& object,
                                           const QString& okSlot, const QString& cancelSlot,
                                           PopupNoteProvider::PopupNoteTypes type)
{
    PendingRequest request;
    request.kind = KindErrorConfirm;
    request.first = title;
    request.second = text;
    request.confirm = confirm;
    request.reject = reject;
    request.object = object;
    request.okSlot = okSlot;
    request.cancelSlot = cancelSlot;
    request.type = type;
    hold(request);
}
