#pragma once
// Keyboard layout names, modifier-key state and the clipboard for the QML user interface.

#include <QObject>
#include <QString>
#include <QStringList>

class Keyboard : public QObject
{
    Q_OBJECT
public:
    explicit Keyboard(QObject* parent = nullptr);

    Q_INVOKABLE QStringList listKeyboards() const;
    // The station keeps the system layout; a choice is accepted and has no effect.
    Q_INVOKABLE void setKeyboard(const QString& layout);
    Q_INVOKABLE QString getKeyboard() const;
    Q_INVOKABLE bool isShiftDown() const;
    Q_INVOKABLE bool isCtrlDown() const;
    Q_INVOKABLE bool isAltDown() const;
    Q_INVOKABLE void copyToClipboard(const QString& text);

private:
    QString m_layout;
};
