// Tags of the diagnostics: the overall status, one test's result and the list of results.

#include "report/device.h"
#include "report/devicestates.h"
#include "report/tagparser.h"
#include "report/tagtable.h"
#include "shared/diagnosticstestcatalogue.h"

#include <QCoreApplication>

namespace Tags {

namespace {

TestStatus::Value testStatus(const Device* device, const QString& name)
{
    if (!device)
        return TestStatus::NotAvailable;
    const QStringList items = device->info().diagnosticsResults.split(QLatin1Char(','));
    const QString prefix = name + QLatin1Char('=');
    for (const QString& item : items) {
        if (!item.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const QString code = item.mid(prefix.size()).trimmed();
        if (code == QLatin1String("1"))
            return TestStatus::Passed;
        if (code == QLatin1String("0"))
            return TestStatus::Failed;
        if (code == QLatin1String("3"))
            return TestStatus::NotAvailable;
        return TestStatus::NotPerformed;
    }
    return TestStatus::NotAvailable;
}

QString testStatusWord(TestStatus::Value status)
{
    switch (status) {
    case TestStatus::Passed:
        return TagParser::tr("Passed");
    case TestStatus::Failed:
        return TagParser::tr("Failed");
    case TestStatus::NotAvailable:
        return TagParser::tr("Not available");
    default:
        return TagParser::tr("Not performed");
    }
}

// The kinds of result a <diaglist ...> asks for.
struct ListFilter
{
    explicit ListFilter(const QString& arg)
    {
        const QStringList words = arg.split(QLatin1Char(','));
        failed = words.contains(QLatin1String("FAILED"));
        ok = words.contains(QLatin1String("OK"));
        notPerformed = words.contains(QLatin1String("NOT PERFORMED"));
        notAvailable = words.contains(QLatin1String("NOT AVAILABLE"));
    }

    bool selects(const QString& code) const
    {
        bool numeric = false;
        const int number = code.toInt(&numeric);
        if (!numeric)
            return notPerformed;
        switch (number) {
        case TestResultCode::Passed:
            return ok;
        case TestResultCode::Failed:
            return failed;
        case TestResultCode::NotPerformed:
            return notPerformed;
        case TestResultCode::NotAvailable:
            return notAvailable;
        default:
            return false;
        }
    }

    bool failed, ok, notPerformed, notAvailable;
};

// The preview's lines: two example tests for each kind asked for.
QString exampleList(const ListFilter& filter)
{
    QStringList lines;
    auto example = [&lines](const QString& word) {
        lines << TagParser::tr("Example test: %1").arg(word)
              << TagParser::tr("Example test (Assisted): %1").arg(word);
    };
    if (filter.failed)
        example(TagParser::tr("Failed"));
    if (filter.ok)
        example(TagParser::tr("Passed"));
    if (filter.notPerformed)
        example(TagParser::tr("Not Performed"));
    if (filter.notAvailable)
        example(TagParser::tr("Not Available"));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

QString diagnosticsStatus(const TagContext& context)
{
    switch (context.device ? context.device->diagnosticsStatus() : DiagnosticsStatus::NotDiagnosed) {
    case DiagnosticsStatus::Failed:
        return context.word("Failed");
    case DiagnosticsStatus::Passed:
        return context.word("Passed");
    case DiagnosticsStatus::NotPerformed:
        return context.word("Not performed");
    case DiagnosticsStatus::TestsFailed:
        return context.word("FAILED");
    default:
        return context.translate ? TagParser::tr("not diagnosed") : QStringLiteral("Not diagnosed");
    }
}

QString testStatusOf(const QString& test, const TagContext& context)
{
    return testStatusWord(testStatus(context.device, test));
}

std::optional<QString> diagStatusChoice(const QString& arg, const TagContext& context)
{
    int index = 3;
    switch (context.device ? context.device->diagnosticsStatus() : DiagnosticsStatus::NotDiagnosed) {
    case DiagnosticsStatus::Passed:
        index = 0;
        break;
    case DiagnosticsStatus::NotPerformed:
        index = 1;
        break;
    case DiagnosticsStatus::Failed:
    case DiagnosticsStatus::TestsFailed:
        index = 2;
        break;
    }
    return choose(arg, index);
}

std::optional<QString> diagNameTag(const QString& arg, const TagContext& context)
{
    if (!context.catalogue()->knowsTest(arg))
        return arg;
    return QCoreApplication::translate("DiagnosticsPrioritySelector", arg.toUtf8().constData());
}

std::optional<QString> diagListTag(const QString& arg, const TagContext& context)
{
    context.noteDiagnosticsList();
    const ListFilter filter(arg);
    if (!context.device || context.quiet)
        return exampleList(filter);
    QStringList lines;
    for (const QString& item : context.device->info().diagnosticsResults.split(QLatin1Char(','))) {
        const QStringList parts = item.split(QLatin1Char('='));
        if (parts.size() >= 2 && filter.selects(parts.at(1)))
            lines << QStringLiteral("%1: %2").arg(parts.at(0), testStatusOf(parts.at(0), context));
    }
    return lines.join(QLatin1Char('\n'));
}

std::optional<QString> diagResultTag(const QString& arg, const TagContext& context)
{
    if (!arg.contains(QLatin1Char(',')))
        return testStatusOf(arg, context);
    // "NAME,A,B,C,D": the alternatives in the order of the test status, as written.
    const QStringList items = arg.split(QLatin1Char(','));
    return pick(items, 1 + testStatus(context.device, items.first()), false);
}

} // namespace Tags
