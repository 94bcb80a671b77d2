#pragma once
// Prints a layout once on a chosen printer, with example values or for a chosen report, so a designer
// can check its look on paper; tells the user when it could not be printed.

#include <QJsonObject>
#include <QObject>
#include <QString>

class Device;

class TestPrint : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // False, with a popup note and a status text, when the label was not handed over.
    // A null device prints example values; a given one is copied.
    bool print(const QJsonObject& layout, const QString& printer, Device* device = nullptr);
    // Where the last successful test print went: its PDF file, or empty for another printer.
    QString lastFile() const { return m_lastFile; }

signals:
    void statusBarMessage(QString message);
    void labelFileWritten(QString path);

private:
    bool fail(int kind, const QString& text);

    QString m_lastFile;
};
