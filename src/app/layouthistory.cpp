#include "app/layouthistory.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// Compact JSON with sorted keys: equal states give equal bytes, and a step costs a few KB at most.
QByteArray serialised(const QVariantList& records)
{
    return QJsonDocument(QJsonArray::fromVariantList(records)).toJson(QJsonDocument::Compact);
}

QVariantList parsed(const QByteArray& state)
{
    return QJsonDocument::fromJson(state).array().toVariantList();
}

} // namespace

LayoutHistory::LayoutHistory(QObject* parent) : QObject(parent), m_current(serialised({})), m_saved(m_current)
{}

QString LayoutHistory::undoText() const
{
    return m_undo.isEmpty() ? QString() : m_undo.last().description;
}

QString LayoutHistory::redoText() const
{
    return m_redo.isEmpty() ? QString() : m_redo.last().description;
}

void LayoutHistory::reset(const QVariantList& records)
{
    m_undo.clear();
    m_redo.clear();
    m_mergeKey.clear();
    m_current = serialised(records);
    m_saved = m_current;
    emit changed();
}

bool LayoutHistory::commit(const QVariantList& records, const QString& description, const QString& mergeKey)
{
    const QByteArray state = serialised(records);
    if (state == m_current)
        return false;
    const bool merges =
        !mergeKey.isEmpty() && mergeKey == m_mergeKey && !m_undo.isEmpty() && m_redo.isEmpty();
    if (!merges) {
        m_undo.append({m_current, description});
        while (m_undo.size() > kDepth)
            m_undo.removeFirst();
    }
    m_redo.clear();
    m_current = state;
    m_mergeKey = mergeKey;
    emit changed();
    return true;
}

QVariantList LayoutHistory::undo()
{
    return stepBack(&m_undo, &m_redo);
}

QVariantList LayoutHistory::redo()
{
    return stepBack(&m_redo, &m_undo);
}

QVariantList LayoutHistory::stepBack(QList<Step>* from, QList<Step>* to)
{
    if (!from->isEmpty()) {
        const Step step = from->takeLast();
        to->append({m_current, step.description});
        m_current = step.state;
        m_mergeKey.clear();
        emit changed();
    }
    return parsed(m_current);
}

QVariantList LayoutHistory::current() const
{
    return parsed(m_current);
}

void LayoutHistory::markSaved()
{
    m_saved = m_current;
    emit changed();
}
