#include "app/commandline.h"

#include "app/applicationsetup.h"

#include <QCommandLineOption>
#include <QCoreApplication>
#include <QDebug>

#include <cstdio>

namespace {
const QString kUi = QStringLiteral("ui");
const QString kFullscreen = QStringLiteral("fullscreen");
const QString kLogTo = QStringLiteral("logto");
const QString kStatus = QStringLiteral("status");
const QString kJson = QStringLiteral("json");
const QString kHelpAll = QStringLiteral("help-all"); // added by addHelpOption
const QStringList kLogDestinations = {QStringLiteral("console"), QStringLiteral("disk"),
                                      QStringLiteral("dual")};

// "width=1500" or "height=900": the text between the first and a second "=" as a decimal number.
// Only the start of the argument is compared, as the program has always done ("widthPx=10" counts).
bool sizeArgument(const QString& argument, const QString& prefix, std::optional<int>* value)
{
    if (!argument.startsWith(prefix) || !argument.contains(QLatin1Char('=')))
        return false;
    bool ok = false;
    const int parsed = argument.section(QLatin1Char('='), 1, 1).toInt(&ok, 10);
    if (ok)
        *value = parsed;
    return ok;
}
} // namespace

CommandLine::CommandLine(const QStringList& arguments)
{
    m_parser.setApplicationDescription(
        QStringLiteral("Prints a label for each new report on the report server, per print job.\n"
                       "Without --ui nothing is shown and the program runs as a headless service."));
    const QCommandLineOption help = m_parser.addHelpOption();
    const QCommandLineOption version = m_parser.addVersionOption();
    m_parser.addOption({kUi, QStringLiteral("Show the window.")});
    m_parser.addOption({kFullscreen, QStringLiteral("Ignore the width= and height= arguments.")});
    m_parser.addOption({kLogTo,
                        QStringLiteral("Where log lines go: standard output, the log file, or both "
                                       "(default: dual)."),
                        QStringLiteral("console|disk|dual")});
    m_parser.addOption({kStatus, QStringLiteral("Print the state of the program that runs for this user and "
                                                "leave: 0 healthy, 1 labels wait too long or the console is "
                                                "unreachable, 2 no program runs.")});
    m_parser.addOption({kJson, QStringLiteral("With --status: print it as JSON.")});
    m_parser.addPositionalArgument(QStringLiteral("width=N"),
                                   QStringLiteral("Initial window width in pixels."),
                                   QStringLiteral("[width=N]"));
    m_parser.addPositionalArgument(QStringLiteral("height=N"),
                                   QStringLiteral("Initial window height in pixels."),
                                   QStringLiteral("[height=N]"));

    // Unknown options and a missing value are not fatal: whatever the parser understood still counts.
    if (!m_parser.parse(arguments))
        m_warnings << m_parser.errorText();

    m_qtHelp = m_parser.isSet(kHelpAll);
    if (m_parser.isSet(help) || m_qtHelp)
        m_action = Action::ShowHelp;
    else if (m_parser.isSet(version))
        m_action = Action::ShowVersion;
    else if (m_parser.isSet(kStatus))
        m_action = Action::ShowStatus;
    m_json = m_parser.isSet(kJson);
    m_showUi = m_parser.isSet(kUi);
    m_fullscreen = m_parser.isSet(kFullscreen);
    // An empty value is a missing one, which the parser has named already.
    const QString logTo = m_parser.value(kLogTo);
    if (!logTo.isEmpty() && !kLogDestinations.contains(logTo))
        m_warnings << QStringLiteral("--logto takes console, disk or dual, not \"%1\".").arg(logTo);
    // The log reads its destination as the next argument only, so "--logto=disk" would be lost.
    for (const QString& argument : arguments.mid(1)) {
        if (argument.startsWith(QStringLiteral("--logto=")))
            m_warnings << QStringLiteral("Write \"--logto %1\" as two arguments; the log ignores \"%2\".")
                              .arg(argument.section(QLatin1Char('='), 1), argument);
    }
    for (const QString& argument : m_parser.positionalArguments())
        readPositional(argument);
}

void CommandLine::readPositional(const QString& argument)
{
    if (sizeArgument(argument, QStringLiteral("width"), &m_width) ||
        sizeArgument(argument, QStringLiteral("height"), &m_height))
        return;
    m_warnings << QStringLiteral("Ignoring the argument \"%1\".").arg(argument);
}

int CommandLine::printAnswer()
{
    if (m_action == Action::ShowHelp && m_qtHelp) {
        // Only the parser can list Qt's own options; it prints them and ends the process.
        m_parser.process(QStringList({QCoreApplication::arguments().value(0), QStringLiteral("--help-all")}));
    }
    const QString text =
        m_action == Action::ShowHelp
            ? m_parser.helpText()
            : QStringLiteral("labelprinter %1\n").arg(QLatin1String(ApplicationSetup::kVersion));
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
    return 0;
}

void CommandLine::logWarnings() const
{
    for (const QString& warning : m_warnings)
        qWarning().noquote() << "Command line:" << warning;
}
