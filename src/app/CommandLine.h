// The program's command line. Parsed before the application object exists, because
// --headless decides which platform the application object starts on.
#pragma once

#include <QString>
#include <QStringList>

struct CommandLineOptions
{
    bool headless = false;
    bool demo = false;     // built-in devices on every channel
    double recordSeconds = 0; // > 0: record one take of this length at once, then exit
    QString outputDir;     // empty: keep the default recording path
    QString sessionName;   // empty: keep the dated default session name
    int port = -1;         // -1: the remote-control server's default port
    // Override the saved recording settings for this run only: positions in the frame-rate
    // and resolution lists (RecordingChoices); -1: keep the saved setting.
    int framerateIndex = -1;
    int resolutionIndex = -1;
    // The studio: follow the leader at this link (as entered in the remote dialog, checked
    // here) and this machine's name there; empty: as saved.
    QString followLink;
    QString machineName;
};

struct CommandLineResult
{
    enum class Action { Run, ShowHelp, ShowVersion, Error };

    Action action = Action::Run;
    CommandLineOptions options;
    QString errorText;     // for Action::Error, one line without the usage
};

namespace CommandLine {

// args includes the program name as its first element, as QCoreApplication::arguments().
CommandLineResult parse(const QStringList &args);

// The --help text.
QString usageText();

// Prints what the result asks for (help, version or error plus usage) and returns the
// process exit code; returns -1 when the program should run.
int handleNonRunActions(const CommandLineResult &result);

} // namespace CommandLine
