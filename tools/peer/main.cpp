// tavo_peer: the main program's side of the local link, for tests and for integrators.
#include "ConsoleSession.h"
#include "DemoSession.h"
#include "MainSide.h"
#include "Protocol.h"
#include "PeerExit.h"
#include "PeerLink.h"
#include "Scenario.h"
#include "ScenarioRunner.h"
#include "Transcript.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <optional>

namespace {

void complain(const QString& text)
{
    std::fprintf(stderr, "tavo_peer: %s\n", text.toLocal8Bit().constData());
}

std::optional<int> milliseconds(const QCommandLineParser& parser, const QCommandLineOption& option, int fallback)
{
    if (!parser.isSet(option)) {
        return fallback;
    }
    bool number = false;
    const int value = parser.value(option).toInt(&number);
    if (!number || value < 0) {
        complain(QStringLiteral("--%1 needs a number of milliseconds").arg(option.names().constFirst()));
        return std::nullopt;
    }
    return value;
}

std::optional<Scenario> readScenario(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        complain(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    std::vector<ScenarioError> errors;
    std::optional<Scenario> scenario = ScenarioParser::parse(file.readAll(), errors);
    for (const ScenarioError& error : errors) {
        complain(error.line > 0 ? QStringLiteral("%1:%2: %3").arg(path).arg(error.line).arg(error.message)
                                : QStringLiteral("%1: %2").arg(path, error.message));
    }
    return scenario;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavo_peer"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays the main program's side of the local link against TAVO_DSK: runs a scenario "
                       "file, with --console sends the JSON lines read from standard input, or with --demo "
                       "answers the client like a main program, screen after screen."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("scenario"), QStringLiteral("The scenario file to run."));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free one)."),
                                        QStringLiteral("port"), QString::number(Protocol::kLinkPort));
    const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Also write the transcript to this file."),
                                       QStringLiteral("file"));
    const QCommandLineOption consoleOption(QStringLiteral("console"),
                                           QStringLiteral("Send the lines of standard input instead of a scenario."));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("How long the client may take to answer (default 5000)."),
                                           QStringLiteral("ms"));
    const QCommandLineOption connectOption(QStringLiteral("connect-timeout"),
                                           QStringLiteral("How long to wait for the client (default 60000)."),
                                           QStringLiteral("ms"));
    const QCommandLineOption gapOption(QStringLiteral("send-gap"),
                                       QStringLiteral("Least time between two writes (default 100)."),
                                       QStringLiteral("ms"));
    const QCommandLineOption demoOption(
        QStringLiteral("demo"),
        QStringLiteral("Answer the client like a main program: update, sign-in (one-time password %1), password "
                       "reset, new password for IDs starting with \"new\", four PCs, streaming options, progress.")
            .arg(QLatin1String(DemoMainProgram::kOneTimePassword)));
    parser.addOptions({portOption, logOption, consoleOption, demoOption, timeoutOption, connectOption, gapOption});
    if (!parser.parse(QCoreApplication::arguments())) {
        complain(parser.errorText());
        return PeerExit::kUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return PeerExit::kPassed;
    }

    const QStringList positional = parser.positionalArguments();
    const bool console = parser.isSet(consoleOption);
    const bool demo = parser.isSet(demoOption);
    const int drivers = (console ? 1 : 0) + (demo ? 1 : 0) + (positional.isEmpty() ? 0 : 1);
    if (drivers != 1 || positional.size() > 1) {
        complain(QStringLiteral("give one scenario file, or --console, or --demo (see --help)"));
        return PeerExit::kUsage;
    }
    bool portNumber = false;
    const uint port = parser.value(portOption).toUInt(&portNumber);
    const std::optional<int> timeout = milliseconds(parser, timeoutOption, 5000);
    const std::optional<int> connectTimeout = milliseconds(parser, connectOption, 60000);
    const std::optional<int> gap = milliseconds(parser, gapOption, 100);
    if (!portNumber || port > 65535) {
        complain(QStringLiteral("--port needs a port number"));
        return PeerExit::kUsage;
    }
    if (!timeout || !connectTimeout || !gap) {
        return PeerExit::kUsage;
    }

    // A scenario that cannot run is reported before any client is kept waiting.
    std::optional<Scenario> scenario;
    if (!console && !demo) {
        scenario = readScenario(positional.constFirst());
        if (!scenario) {
            return PeerExit::kUsage;
        }
    }

    Transcript transcript;
    QString error;
    if (parser.isSet(logOption) && !transcript.openLog(parser.value(logOption), error)) {
        complain(error);
        return PeerExit::kUsage;
    }
    PeerLink link(transcript);
    if (!link.listen(static_cast<quint16>(port), error)) {
        transcript.failure(error);
        return PeerExit::kUsage;
    }

    int exitStatus = PeerExit::kFailed;
    auto quit = [&](int status) {
        exitStatus = status;
        QCoreApplication::exit(status);
    };
    std::unique_ptr<QObject> session;
    // The console and the demo start alike: the key exchange as soon as the client connects.
    auto startSession = [&](auto* driver) {
        session.reset(driver);
        QObject::connect(driver, &PeerSession::finished, &app, quit, Qt::QueuedConnection);
        driver->start();
    };
    auto fill = [&](auto& options) {
        options.connectTimeoutMs = *connectTimeout;
        options.keyTimeoutMs = *timeout;
        options.sendGapMs = *gap;
        return options;
    };
    if (demo) {
        DemoSession::Options options;
        startSession(new DemoSession(link, transcript, fill(options)));
    } else if (console) {
        ConsoleSession::Options options;
        startSession(new ConsoleSession(link, transcript, fill(options)));
    } else {
        ScenarioRunner::Options options;
        options.connectTimeoutMs = *connectTimeout;
        options.expectTimeoutMs = *timeout;
        options.sendGapMs = *gap;
        auto* runner = new ScenarioRunner(link, transcript, std::move(*scenario), options);
        session.reset(runner);
        QObject::connect(runner, &ScenarioRunner::finished, &app, quit, Qt::QueuedConnection);
        runner->start();
    }
    app.exec();
    return exitStatus;
}
