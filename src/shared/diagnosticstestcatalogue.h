#pragma once
// The names of the diagnostics tests a station knows, so labels can show a test's display name.

#include <QSet>
#include <QString>
#include <QStringList>

class DiagnosticsTestCatalogue
{
public:
    // A catalogue holding the built-in test names.
    DiagnosticsTestCatalogue();

    bool knowsTest(const QString& name) const { return m_tests.contains(name); }
    void addTest(const QString& name) { m_tests.insert(name); }
    QStringList testNames() const;

    // The tests every station offers; the names are those reports use in their hardware tests.
    static const QStringList& builtInTests();

private:
    QSet<QString> m_tests;
};
