#include "app/keyboard.h"

#include <QClipboard>
#include <QGuiApplication>

Keyboard::Keyboard(QObject* parent) : QObject(parent), m_layout(QStringLiteral("us")) {}

QStringList Keyboard::listKeyboards() const
{
    return {QStringLiteral("be"), QStringLiteral("dk"), QStringLiteral("gb"), QStringLiteral("nl"),
            QStringLiteral("us")};
}

void Keyboard::setKeyboard(const QString& layout)
{
    Q_UNUSED(layout)
}

QString Keyboard::getKeyboard() const
{
    return m_layout;
}

bool Keyboard::isShiftDown() const
{
    return QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier);
}

bool Keyboard::isCtrlDown() const
{
    return QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier);
}

bool Keyboard::isAltDown() const
{
    return QGuiApplication::keyboardModifiers().testFlag(Qt::AltModifier);
}

void Keyboard::copyToClipboard(const QString& text)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}
