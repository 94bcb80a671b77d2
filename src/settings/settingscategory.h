#pragma once
// One settings category that listeners can follow for changes broadcast by a flush.

#include <QObject>

class SettingsCategory : public QObject
{
    Q_OBJECT
public:
    SettingsCategory(int category, QObject* parent) : QObject(parent), m_category(category) {}
    int category() const { return m_category; }

signals:
    void dataChanged();

private:
    int m_category;
};
