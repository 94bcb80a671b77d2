#pragma once
// The console's report request envelope: search lines, requested CSV columns and CSV options.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

class QXmlStreamAttributes;

class SearchRequest
{
public:
    enum class Operator
    {
        Eq,
        Neq,
        Lt,
        Gt,
        Lte,
        Gte,
        Like
    };
    enum class DataType
    {
        UInt,
        String,
        Date
    };

    struct Line
    {
        QString path;
        QString value;
        Operator op = Operator::Eq;
        DataType type = DataType::String;
        // true: this line is AND-ed to the line before it; false starts a new OR group.
        bool conjunctionAnd = true;
        // The value already converted for its data type (not used by "like").
        quint64 number = 0;
        QDateTime date;
    };

    // Parses the envelope text; on failure returns false and says why in *error.
    bool parse(const QByteArray& xml, QString* error);

    const QVector<Line>& lines() const { return m_lines; }
    // Requested CSV columns; report.id when the request names none.
    QStringList columns() const;
    QString delimiter() const { return m_delimiter; }
    QString subDelimiter() const { return m_subDelimiter; }

    // Date texts the console accepts in search values: "yyyy-MM-dd hh:mm:ss" in local time,
    // ISO 8601 with or without an offset, or a bare date meaning its local midnight.
    static QDateTime parseDate(const QString& text);

private:
    bool parseSearch(const QXmlStreamAttributes& attributes, QString* error);

    QVector<Line> m_lines;
    QStringList m_columns;
    QString m_delimiter = QStringLiteral(";");
    QString m_subDelimiter = QStringLiteral(":");
};
