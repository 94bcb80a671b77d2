#pragma once
// The catalogue of report fields the console can search by: categories, labels, search paths,
// descriptions and data types, read from a CSV resource.

#include <QMap>
#include <QObject>
#include <QStringList>

class MCReportFieldReader : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList categories READ categories NOTIFY categoriesChanged)
public:
    struct Entry
    {
        QString category;
        QString searchPath;
        QString label;
        QString description;
        QString dataType;
        QStringList validOperators;
    };

    static constexpr const char* kAllCategories = "--- All Categories ---";

    explicit MCReportFieldReader(QObject* parent = nullptr);

    Q_INVOKABLE bool importKeylist(const QString& path);
    QStringList categories() const;
    Q_INVOKABLE QStringList getLabels(const QString& category = QString()) const;
    Q_INVOKABLE QStringList getSearchPaths(const QString& category = QString()) const;
    Q_INVOKABLE QString getSearchPath(const QString& label, const QString& defaultValue = QString()) const;
    Q_INVOKABLE QString getFormattedSearchPath(const QString& label,
                                               const QString& defaultValue = QString()) const;
    Q_INVOKABLE QString getDescription(const QString& searchPath,
                                       const QString& defaultValue = QString()) const;
    Q_INVOKABLE QString getDataType(const QString& searchPath, const QString& defaultValue = QString()) const;
    Q_INVOKABLE QStringList getDataTypes() const;
    // The field a typed hint names in the category: the one whose label or search path equals it
    // (ignoring case), else the only field that contains it; empty when the hint names no single field.
    Q_INVOKABLE QString fieldForHint(const QString& category, const QString& hint) const;
    Q_INVOKABLE QStringList getValidOperationsForUI(const QString& dataType,
                                                    const QStringList& defaultValue = QStringList()) const;
    // The operators a filter on this field offers: those of its data type; on a text field of the
    // catalogue those its entry allows ("!=" where it lists "neq", "~" where it lists "like").
    Q_INVOKABLE QStringList operatorsFor(const QString& searchPath, const QString& dataType) const;
    // "==" as the filter editor names it ("equals"), and what it does in a sentence.
    Q_INVOKABLE QString operatorName(const QString& symbol) const;
    Q_INVOKABLE QString operatorHelp(const QString& symbol) const;

    // One CSV line added to `row`; returns whether a quoted field is still open at its end.
    static bool parseLine(const QString& line, QStringList& row, bool fieldOpen);

signals:
    void categoriesChanged();

private:
    QStringList collect(const QMap<QString, QStringList>& byCategory, const QString& category) const;

    QMap<QString, QStringList> m_labelsByCategory;
    QMap<QString, QString> m_searchPathByLabel;
    QMap<QString, QStringList> m_searchPathsByCategory;
    QMap<QString, Entry> m_entryBySearchPath;
    QStringList m_dataTypes;
};
