#pragma once
// Values of one report looked up by dotted search path ("korvex_data.korvex_hardware_report.system.serial").

#include <QDomElement>
#include <QHash>
#include <QSet>
#include <QStringList>

class ReportPathIndex
{
public:
    // Indexes every leaf element below the report element. A path part names a section when some
    // `entries` element carries that name, else an entry when some `entry` element does, else an
    // element by tag name, the same way the client's report path query resolves names.
    void build(const QDomElement& report);
    // Texts of all leaf elements at the path, in document order; empty when nothing is there.
    QStringList values(const QString& dottedPath) const;
    bool isEmpty() const { return m_values.isEmpty(); }

private:
    QHash<QString, QStringList> m_values;
    QSet<QString> m_sectionNames;
    QSet<QString> m_entryNames;
};
