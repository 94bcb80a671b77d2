#include "labelstore.h"

#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

const QRegularExpression kLabelName(QStringLiteral("^label-(\\d+)\\.png$"));

QString labelName(int number)
{
    return QStringLiteral("label-%1.png").arg(number, 4, 10, QLatin1Char('0'));
}

} // namespace

LabelStore::LabelStore(const QString& directory) : m_directory(QDir(directory).absolutePath()) {}

bool LabelStore::prepare(QString* error)
{
    QDir dir(m_directory);
    if (!dir.mkpath(QStringLiteral("."))) {
        *error = QStringLiteral("cannot create the folder %1").arg(m_directory);
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const QString& name : dir.entryList({QStringLiteral("label-*.png")}, QDir::Files)) {
        const QRegularExpressionMatch match = kLabelName.match(name);
        if (match.hasMatch())
            m_lastNumber = qMax(m_lastNumber, match.captured(1).toInt());
    }
    return true;
}

QJsonObject LabelStore::add(const QImage& label, QJsonObject record, QString* error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int number = m_lastNumber + 1;
    const QString path = QDir(m_directory).filePath(labelName(number));
    // Whoever watches the folder sees a label only when it is complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !label.save(&file, "PNG") || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return {};
    }
    m_lastNumber = number;
    record.insert(QStringLiteral("number"), number);
    record.insert(QStringLiteral("file"), path);
    m_records.append(record);
    return record;
}

QJsonArray LabelStore::records() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QJsonArray array;
    for (const QJsonObject& record : m_records)
        array.append(record);
    return array;
}

int LabelStore::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const QJsonObject& record : m_records)
        QFile::remove(record.value(QStringLiteral("file")).toString());
    const int count = m_records.size();
    m_records.clear();
    return count;
}
