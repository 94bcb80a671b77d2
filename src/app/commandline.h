#pragma once
// The program's command line: options with --help and --version, and the older forms that station
// scripts already pass ("width=N", "height=N"). Anything else is ignored with a warning, so a script
// that worked before still starts the program.

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

class CommandLine
{
public:
    enum class Action
    {
        Run,
        ShowHelp,
        ShowVersion,
        ShowStatus
    };

    // `arguments` starts with the program's name, as QCoreApplication::arguments() does. Parsing
    // needs no application object, so the entry point may ask before creating one.
    explicit CommandLine(const QStringList& arguments);

    Action action() const { return m_action; }
    bool showUi() const { return m_showUi; }
    bool fullscreen() const { return m_fullscreen; }
    // --status --json: the status as JSON instead of lines.
    bool json() const { return m_json; }
    // From "width=N" and "height=N"; none under --fullscreen or when N is not a number.
    std::optional<int> windowWidth() const { return m_fullscreen ? std::nullopt : m_width; }
    std::optional<int> windowHeight() const { return m_fullscreen ? std::nullopt : m_height; }
    // Why each ignored argument is ignored, one sentence each.
    QStringList warnings() const { return m_warnings; }

    // Writes the help text or the version line to standard output and returns the exit code.
    // The help text names the program from the application object: call it once that exists.
    int printAnswer();
    // One warning log line per ignored argument.
    void logWarnings() const;

private:
    void readPositional(const QString& argument);

    QCommandLineParser m_parser;
    Action m_action = Action::Run;
    bool m_qtHelp = false;
    bool m_showUi = false;
    bool m_fullscreen = false;
    bool m_json = false;
    std::optional<int> m_width;
    std::optional<int> m_height;
    QStringList m_warnings;
};
