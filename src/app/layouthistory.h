#pragma once
// The layout editor's undo history: a snapshot of the canvas records after every finished change,
// so undoing returns the layout to exactly an earlier state whatever the change was. It also knows
// whether the canvas differs from what was last saved.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantList>

class LayoutHistory : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY changed)
    Q_PROPERTY(bool canRedo READ canRedo NOTIFY changed)
    Q_PROPERTY(QString undoText READ undoText NOTIFY changed)
    Q_PROPERTY(QString redoText READ redoText NOTIFY changed)
    Q_PROPERTY(bool modified READ isModified NOTIFY changed)
    Q_PROPERTY(int depth READ depth CONSTANT)
public:
    explicit LayoutHistory(QObject* parent = nullptr);

    // Steps kept; older ones are forgotten.
    static constexpr int kDepth = 200;

    bool canUndo() const { return !m_undo.isEmpty(); }
    bool canRedo() const { return !m_redo.isEmpty(); }
    QString undoText() const;
    QString redoText() const;
    bool isModified() const { return m_current != m_saved; }
    static int depth() { return kDepth; }

    // Starts afresh: `records` is the state as stored, with nothing to undo.
    Q_INVOKABLE void reset(const QVariantList& records);
    // The state after a change; false when it equals the current one (a click that moved nothing).
    // Changes in a row with the same non-empty mergeKey make one step (wheel turns, arrow nudges).
    Q_INVOKABLE bool commit(const QVariantList& records, const QString& description,
                            const QString& mergeKey = QString());
    // The state to show after stepping back or forth; the current state when there is none.
    Q_INVOKABLE QVariantList undo();
    Q_INVOKABLE QVariantList redo();
    Q_INVOKABLE QVariantList current() const;
    // The current state is what the layout file now holds.
    Q_INVOKABLE void markSaved();

signals:
    void changed();

private:
    struct Step
    {
        QByteArray state;
        QString description;
    };

    // Takes the last step of `from` as the current state; the state it replaces goes onto `to`.
    QVariantList stepBack(QList<Step>* from, QList<Step>* to);

    QList<Step> m_undo;
    QList<Step> m_redo;
    QByteArray m_current;
    QByteArray m_saved;
    QString m_mergeKey;
};
