#include "app/CommandLine.h"

#include "common/AppInfo.h"
#include "recording/RecordingChoices.h"
#include "studio/LinkAddress.h"

#include <QCommandLineParser>

#include <cstdio>

namespace {

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Show the version and exit.")};
    QCommandLineOption headless{QStringLiteral("headless"),
                                QStringLiteral("Run the back end and the remote control without windows.")};
    QCommandLineOption demo{QStringLiteral("demo"),
                            QStringLiteral("Put a built-in test pattern and the test tone on channels 1-4.")};
    QCommandLineOption record{QStringLiteral("record"),
                              QStringLiteral("Record one take of SECONDS at once, print its folder and exit."),
                              QStringLiteral("SECONDS")};
    QCommandLineOption output{QStringLiteral("output"),
                              QStringLiteral("Record sessions under DIR."), QStringLiteral("DIR")};
    QCommandLineOption session{QStringLiteral("session"),
                               QStringLiteral("Name of the recording session."), QStringLiteral("NAME")};
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("Port of the remote-control server (default 8080)."),
                            QStringLiteral("N")};
    QCommandLineOption fps{QStringLiteral("fps"),
                           QStringLiteral("Record this run's takes at RATE frames per second (%1), "
                                          "whatever the settings say; the settings stay as saved.")
                               .arg(RecordingChoices::frameRateValues()),
                           QStringLiteral("RATE")};
    QCommandLineOption size{QStringLiteral("size"),
                            QStringLiteral("Record this run's cameras at most at WIDTHxHEIGHT (%1), "
                                           "whatever the settings say; the settings stay as saved.")
                                .arg(RecordingChoices::resolutionValues()),
                            QStringLiteral("WIDTHxHEIGHT")};
    QCommandLineOption follow{QStringLiteral("follow"),
                              QStringLiteral("Follow the studio leader at LINK (the \"Remote control:\" address it "
                                             "prints, key included), as FOLLOW LEADER in the remote dialog does; "
                                             "kept for later runs."),
                              QStringLiteral("LINK")};
    QCommandLineOption machine{QStringLiteral("machine"),
                               QStringLiteral("Name this machine in the studio (its cameras and folder on the "
                                              "leader); kept for later runs."),
                               QStringLiteral("NAME")};

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Vireon %1 - multi-camera ISO recorder").arg(AppInfo::displayVersion));
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({help, version, headless, demo, record, output, session, port, fps, size, follow, machine});
    }
};

} // namespace

namespace CommandLine {

CommandLineResult parse(const QStringList &args)
{
    Parser p;
    CommandLineResult result;
    if (!p.parser.parse(args)) {
        result.action = CommandLineResult::Action::Error;
        result.errorText = p.parser.errorText();
        return result;
    }
    if (!p.parser.positionalArguments().isEmpty()) {
        result.action = CommandLineResult::Action::Error;
        result.errorText = QStringLiteral("Unexpected argument '%1'.")
                               .arg(p.parser.positionalArguments().constFirst());
        return result;
    }
    if (p.parser.isSet(p.help)) {
        result.action = CommandLineResult::Action::ShowHelp;
        return result;
    }
    if (p.parser.isSet(p.version)) {
        result.action = CommandLineResult::Action::ShowVersion;
        return result;
    }

    CommandLineOptions &o = result.options;
    o.headless = p.parser.isSet(p.headless);
    o.demo = p.parser.isSet(p.demo);
    if (p.parser.isSet(p.output)) {
        o.outputDir = p.parser.value(p.output);
        if (o.outputDir.trimmed().isEmpty()) {
            result.action = CommandLineResult::Action::Error;
            result.errorText = QStringLiteral("--output needs a folder.");
            return result;
        }
    }
    if (p.parser.isSet(p.session)) {
        o.sessionName = p.parser.value(p.session);
        if (o.sessionName.trimmed().isEmpty()) {
            result.action = CommandLineResult::Action::Error;
            result.errorText = QStringLiteral("--session needs a name.");
            return result;
        }
    }
    if (p.parser.isSet(p.record)) {
        bool ok = false;
        const double seconds = p.parser.value(p.record).toDouble(&ok);
        if (!ok || !(seconds > 0.0) || seconds > 24.0 * 3600.0) {
            result.action = CommandLineResult::Action::Error;
            result.errorText = QStringLiteral("--record needs a number of seconds above 0, not '%1'.")
                                   .arg(p.parser.value(p.record));
            return result;
        }
        o.recordSeconds = seconds;
    }
    if (p.parser.isSet(p.port)) {
        bool ok = false;
        const int port = p.parser.value(p.port).toInt(&ok);
        if (!ok || port < 1 || port > 65535) {
            result.action = CommandLineResult::Action::Error;
            result.errorText = QStringLiteral("--port needs a number from 1 to 65535, not '%1'.")
                                   .arg(p.parser.value(p.port));
            return result;
        }
        o.port = port;
    }
    if (p.parser.isSet(p.fps)) {
        o.framerateIndex = RecordingChoices::frameRateIndexForText(p.parser.value(p.fps));
        if (o.framerateIndex < 0) {
            result.action = CommandLineResult::Action::Error;
            result.errorText = QStringLiteral("--fps '%1' is not offered; choose one of: %2.")
                                   .arg(p.parser.value(p.fps), RecordingChoices::frameRateValues());
            return result;
        }
    }
    if (p.parser.isSet(p.size)) {
        o.resolutionIndex = RecordingChoices::resolutionIndexForText(p.parser.value(p.size));
        if (o.resolutionIndex < 0) {
            result.action = CommandLineResult::Action::Error;
            result.errorText = QStringLiteral("--size '%1' is not offered; choose one of: %2.")
                                   .arg(p.parser.value(p.size), RecordingChoices::resolutionValues());
            return result;
        }
    }
    if (p.parser.isSet(p.follow)) {
        QString why;
        if (!parseLinkAddress(p.parser.value(p.follow), QString(), &why)) {
            result.action = CommandLineResult::Action::Error;
            result.errorText = QStringLiteral("--follow '%1': %2.").arg(p.parser.value(p.follow), why);
            return result;
        }
        o.followLink = p.parser.value(p.follow).trimmed();
    }
    if (p.parser.isSet(p.machine)) {
        o.machineName = p.parser.value(p.machine).trimmed();
        if (o.machineName.isEmpty()) {
            result.action = CommandLineResult::Action::Error;
            result.errorText = QStringLiteral("--machine needs a name.");
            return result;
        }
    }
    return result;
}

QString usageText()
{
    Parser p;
    // helpText() names the program after argv[0]; keep the usage line stable.
    QString text = p.parser.helpText();
    const int firstNewline = text.indexOf(QLatin1Char('\n'));
    return QStringLiteral("Usage: vireon [options]") + text.mid(firstNewline);
}

int handleNonRunActions(const CommandLineResult &result)
{
    switch (result.action) {
    case CommandLineResult::Action::Run:
        return -1;
    case CommandLineResult::Action::ShowHelp:
        std::fputs(qPrintable(usageText()), stdout);
        return 0;
    case CommandLineResult::Action::ShowVersion:
        std::printf("Vireon %s\n", qPrintable(AppInfo::displayVersion));
        return 0;
    case CommandLineResult::Action::Error:
        std::fprintf(stderr, "vireon: %s\n\n%s", qPrintable(result.errorText), qPrintable(usageText()));
        return 2;
    }
    return 2;
}

} // namespace CommandLine
