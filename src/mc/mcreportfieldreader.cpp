#include "mc/mcreportfieldreader.h"

#include <QDebug>
#include <QFile>
#include <QTextStream>

MCReportFieldReader::MCReportFieldReader(QObject* parent) : QObject(parent) {}

bool MCReportFieldReader::parseLine(const QString& line, QStringList& row, bool fieldOpen)
{
    int pos = 0;
    while (pos < line.size()) {
        int comma = line.indexOf(QLatin1Char(','), pos);
        const int end = comma < 0 ? line.size() : comma + 1;
        const QString raw = line.mid(pos, end - pos);
        pos = end;

        QString piece;
        bool inQuotes = fieldOpen;
        for (int i = 0; i < raw.size(); ++i) {
            const QChar c = raw.at(i);
            if (c != QLatin1Char('"')) {
                piece.append(c);
            } else if (i + 1 < raw.size() && raw.at(i + 1) == QLatin1Char('"')) {
                piece.append(QLatin1Char('"')); // a doubled quote is one literal quote
                ++i;
            } else {
                inQuotes = !inQuotes;
            }
        }

        if (!inQuotes) {
            if (piece.endsWith(QLatin1Char(',')))
                piece.chop(1);
            piece = piece.trimmed();
        }
        if (fieldOpen && !row.isEmpty())
            row.last().append(piece);
        else
            row.append(piece);
        fieldOpen = inQuotes;
    }
    return fieldOpen;
}

bool MCReportFieldReader::importKeylist(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << Q_FUNC_INFO << "Failed to open csv file:" << path << file.errorString();
        return false;
    }
    QTextStream in(&file);
    in.setCodec("UTF-8");

    QList<QStringList> rows;
    QStringList row;
    bool fieldOpen = false;
    while (!in.atEnd()) {
        // Keep the line end: a quoted field that spans lines keeps it, the trimmed pieces lose it.
        QString line = in.readLine() + QStringLiteral("\r\n");
        fieldOpen = parseLine(line, row, fieldOpen);
        if (!fieldOpen) {
            rows.append(row);
            row.clear();
        }
    }
    if (!row.isEmpty())
        rows.append(row);

    for (int i = 1; i < rows.size(); ++i) {
        const QStringList& fields = rows.at(i);
        if (fields.size() < 6)
            continue;
        Entry entry;
        entry.category = fields.at(0);
        entry.searchPath = fields.at(1);
        entry.label = fields.at(2);
        entry.description = fields.at(3);
        entry.dataType = fields.at(4);
        entry.validOperators = fields.at(5).split(QLatin1Char(','));
        if (!m_dataTypes.contains(entry.dataType))
            m_dataTypes.append(entry.dataType);
        m_labelsByCategory[entry.category].append(entry.label);
        m_searchPathsByCategory[entry.category].append(entry.searchPath);
        m_searchPathByLabel.insert(entry.label, entry.searchPath);
        m_entryBySearchPath.insert(entry.searchPath, entry);
    }
    return true;
}

QStringList MCReportFieldReader::categories() const
{
    return QStringList(QString::fromLatin1(kAllCategories)) + m_labelsByCategory.keys();
}

QStringList MCReportFieldReader::collect(const QMap<QString, QStringList>& byCategory,
                                         const QString& category) const
{
    if (category.isEmpty() || category == QLatin1String(kAllCategories)) {
        QStringList all;
        for (auto it = byCategory.cbegin(); it != byCategory.cend(); ++it)
            all += it.value();
        return all;
    }
    return byCategory.value(category);
}

QStringList MCReportFieldReader::getLabels(const QString& category) const
{
    return collect(m_labelsByCategory, category);
}

QStringList MCReportFieldReader::getSearchPaths(const QString& category) const
{
    return collect(m_searchPathsByCategory, category);
}

QString MCReportFieldReader::fieldForHint(const QString& category, const QString& hint) const
{
    const QString needle = hint.trimmed();
    if (needle.isEmpty())
        return QString();
    const QStringList labels = getLabels(category);
    const QStringList paths = getSearchPaths(category);
    QStringList exact;
    QStringList containing;
    for (int i = 0; i < labels.size() && i < paths.size(); ++i) {
        if (paths.at(i).compare(needle, Qt::CaseInsensitive) == 0)
            return paths.at(i);
        if (labels.at(i).compare(needle, Qt::CaseInsensitive) == 0)
            exact.append(paths.at(i));
        else if (labels.at(i).contains(needle, Qt::CaseInsensitive) ||
                 paths.at(i).contains(needle, Qt::CaseInsensitive))
            containing.append(paths.at(i));
    }
    exact.removeDuplicates();
    containing.removeDuplicates();
    // Several fields of one label ("Date") stay a choice for the user.
    if (exact.size() == 1)
        return exact.first();
    if (exact.isEmpty() && containing.size() == 1)
        return containing.first();
    return QString();
}

QString MCReportFieldReader::getSearchPath(const QString& label, const QString& defaultValue) const
{
    return m_searchPathByLabel.value(label, defaultValue);
}

QString MCReportFieldReader::getFormattedSearchPath(const QString& label, const QString& defaultValue) const
{
    QString path = QStringLiteral("/root/report/") + getSearchPath(label, defaultValue);
    return path.replace(QLatin1Char('.'), QLatin1Char('/'));
}

QString MCReportFieldReader::getDescription(const QString& searchPath, const QString& defaultValue) const
{
    const auto it = m_entryBySearchPath.constFind(searchPath);
    return it == m_entryBySearchPath.cend() ? defaultValue : it->description;
}

QString MCReportFieldReader::getDataType(const QString& searchPath, const QString& defaultValue) const
{
    const auto it = m_entryBySearchPath.constFind(searchPath);
    return it == m_entryBySearchPath.cend() ? defaultValue : it->dataType;
}

QStringList MCReportFieldReader::getDataTypes() const
{
    return m_dataTypes;
}

QStringList MCReportFieldReader::getValidOperationsForUI(const QString& dataType,
                                                         const QStringList& defaultValue) const
{
    if (dataType == QLatin1String("string"))
        return {QStringLiteral("=="), QStringLiteral("~")};
    if (dataType == QLatin1String("uint") || dataType == QLatin1String("date"))
        return {QStringLiteral("=="), QStringLiteral("!="), QStringLiteral("<"), QStringLiteral(">")};
    if (dataType == QLatin1String("binary"))
        return {};
    return defaultValue;
}

QStringList MCReportFieldReader::operatorsFor(const QString& searchPath, const QString& dataType) const
{
    const QStringList operators = getValidOperationsForUI(dataType);
    const auto entry = m_entryBySearchPath.constFind(searchPath);
    if (dataType != QLatin1String("string") || entry == m_entryBySearchPath.cend())
        return operators;
    // A text field is compared as the console allows for it: "like" for most, "neq" for a few.
    QStringList allowed;
    for (const QString& name : entry->validOperators)
        allowed << name.trimmed();
    QStringList offered{QStringLiteral("==")};
    if (allowed.contains(QLatin1String("neq")))
        offered << QStringLiteral("!=");
    if (allowed.contains(QLatin1String("like")))
        offered << QStringLiteral("~");
    return offered;
}

QString MCReportFieldReader::operatorName(const QString& symbol) const
{
    if (symbol == QLatin1String("=="))
        return tr("equals");
    if (symbol == QLatin1String("!="))
        return tr("not equal");
    if (symbol == QLatin1String("~"))
        return tr("like");
    if (symbol == QLatin1String("<"))
        return tr("less than");
    if (symbol == QLatin1String(">"))
        return tr("greater than");
    return QString();
}

QString MCReportFieldReader::operatorHelp(const QString& symbol) const
{
    if (symbol == QLatin1String("=="))
        return tr("== (equals): the field holds exactly this text or number.");
    if (symbol == QLatin1String("!="))
        return tr("!= (not equal): the field holds a value other than this one; a report without the "
                  "field does not match.");
    if (symbol == QLatin1String("~"))
        return tr("~ (like): the field matches a pattern; % stands for any text and _ for one character, "
                  "so %Apple% finds every value that contains Apple.");
    if (symbol == QLatin1String("<"))
        return tr("< (less than): the field is below this number or date.");
    if (symbol == QLatin1String(">"))
        return tr("> (greater than): the field is above this number or date.");
    return QString();
}
