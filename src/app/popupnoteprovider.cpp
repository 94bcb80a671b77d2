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
        << connect(this, &PopupNoteProvider::showErrorConfirm, this, &PopupNoteProvider::onShowErrorConfirm)
        << connect(this, &PopupNoteProvider::showGroupedNote, this, &PopupNoteProvider::onShowGroupedNote)
        << connect(this, &PopupNoteProvider::dismissGroupedNote, this,
                   &PopupNoteProvider::onDismissGroupedNote)
        << connect(this, &PopupNoteProvider::updateGroupedNote, this,
                   &PopupNoteProvider::onUpdateGroupedNote);
    // Printing raises its notes without knowing the window; they become notes of the matching type.
    connect(
        PrintNotes::instance(), &PrintNotes::note, this,
        [this](PrintNotes::Kind kind, const QString& title, const QString& text) {
            if (kind == PrintNotes::LogNotWritten)
                emit showPopup(PrintedReportsWritingToLogFailed);
            else
                emit showErrorText(title, text, typeOf(kind));
        },
        Qt::DirectConnection);
    connect(
        PrintNotes::instance(), &PrintNotes::groupedNote, this,
        [this](PrintNotes::Kind kind, const QString& key, const QString& title, const QString& text) {
            emit showGroupedNote(key, title, text, typeOf(kind));
        },
        Qt::DirectConnection);
    connect(
        PrintNotes::instance(), &PrintNotes::updated, this,
        [this](const QString& key, const QString& text) { emit updateGroupedNote(key, text); },
        Qt::DirectConnection);
    connect(
        PrintNotes::instance(), &PrintNotes::withdrawn, this,
        [this](const QString& key) { emit dismissGroupedNote(key); }, Qt::DirectConnection);
}

PopupNoteProvider::PopupNoteTypes PopupNoteProvider::typeOf(int printNoteKind)
{
    switch (printNoteKind) {
    case PrintNotes::LogNotWritten:
        return PrintedReportsWritingToLogFailed;
    case PrintNotes::PrinterNotConfigured:
        return PrinterNotConfigured;
    case PrintNotes::PrinterNotWorking:
        return PrinterNotWorking;
    case PrintNotes::PrinterRemoved:
        return PrinterRemoved;
    default:
        return ErrorMessage;
    }
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
        case KindGrouped:
            emit showGroupedNote(request.key, request.first, request.second, request.type);
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

void PopupNoteProvider::onShowGroupedNote(const QString& key, const QString& title, const QString& text,
                                          PopupNoteProvider::PopupNoteTypes type)
{
    if (m_ready)
        return;
    // Held once per cause, with its latest text.
    onDismissGroupedNote(key);
    PendingRequest request;
    request.kind = KindGrouped;
    request.key = key;
    request.first = title;
    request.second = text;
    request.type = type;
    hold(request);
}

void PopupNoteProvider::onDismissGroupedNote(const QString& key)
{
    for (int i = m_pending.size() - 1; i >= 0; --i) {
        if (m_pending.at(i).kind == KindGrouped && m_pending.at(i).key == key)
            m_pending.removeAt(i);
    }
}

void PopupNoteProvider::onUpdateGroupedNote(const QString& key, const QString& text)
{
    for (PendingRequest& request : m_pending) {
        if (request.kind == KindGrouped && request.key == key)
            request.second = text;
    }
}
