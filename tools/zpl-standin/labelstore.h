#pragma once
// Printed labels: PNG files with running numbers in the output folder and a record of each.
// Safe from any thread.

#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <mutex>

class LabelStore
{
public:
    explicit LabelStore(const QString& directory);

    // Creates the folder; numbering goes on after the label files already in it, so none is overwritten.
    bool prepare(QString* error);
    QString directory() const { return m_directory; }

    // Writes the label as label-NNNN.png and keeps `record` with "number" and "file" added; the
    // record, or an empty object with *error when the file could not be written.
    QJsonObject add(const QImage& label, QJsonObject record, QString* error);
    // Oldest first.
    QJsonArray records() const;
    // Forgets the records and removes their files; how many there were.
    int clear();

private:
    QString m_directory;
    mutable std::mutex m_mutex;
    int m_lastNumber = 0;
    QList<QJsonObject> m_records;
};
