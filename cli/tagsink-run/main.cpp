// tagsink-run PROJECT.DAT [--log] [--seconds N] [--single-statements] [--retry-minutes M]
//             [--log-file FILE [--log-size BYTES] [--log-files N]]
//
// Loads a project and records it exactly as the program does when it leaves Edit mode: connects to the
// OPC server, subscribes the groups and runs the record thread, with "sql.dat" in the current directory.
// It stops after N seconds (as the operator's return to Edit mode would), or on SIGINT or SIGTERM;
// statements still waiting are executed or kept in "sql.dat" for the next run. An OPC server that is
// missing at start, shuts down or stops answering is connected again by the engine, at growing intervals.
//
// Statements are journaled in "sql.dat" before they run and executed in transactions of many statements;
// --single-statements executes each on its own in autocommit (drivers without transactions, procedures
// that manage their own). A statement refused for a reason that can pass is retried for --retry-minutes
// (default 10) before it goes to "sql.rejected".
//
// --log-file sends what would go to standard error into FILE instead, which is rotated at --log-size
// bytes (FILE.1 ... FILE.N, --log-files of them kept).
//
// Exit status: 0 after a clean stop, 1 for a bad command line or a project that cannot be loaded, 2 when
// the OPC server could not be connected at any time during the run, 3 when statements were lost (neither
// the journal nor the database could take them).
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/engine.hpp"
#include "engine/runtime/plain_event_loop.hpp"
#include "model/server.hpp"
#include "rotating_log.hpp"
#include "stderr_reporter.hpp"
#include "tagclient.h"

#include <CLI/CLI.hpp>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

using namespace tagsink;

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
    int saved = errno;
    char byte = 1;
    [[maybe_unused]] ssize_t ignored = write(signalPipe[1], &byte, 1);
    errno = saved;
}

// While the engine tries to connect again: how often it tried.
std::string Attempts(const Engine& engine) {
    if (engine.OpcLinkUp() || !engine.Reconnecting())
        return {};
    return " (reconnect attempts " + std::to_string(engine.ReconnectAttempts()) + ")";
}

std::string Progress(const Engine& engine, StderrReporter& reporter) {
    return reporter.ProgressLine(engine.QueuedCount(), engine.Stats(), Attempts(engine));
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Records a Tagsink project headlessly: OPC values into the project's database."};
    std::string projectFile;
    bool log = false;
    int seconds = 0;
    bool singleStatements = false;
    double retryMinutes = 10;
    std::string logFilePath;
    RotatingLogFile::Limits logLimits;
    app.add_option("PROJECT.DAT", projectFile, "the project file")->required()->check(CLI::ExistingFile);
    app.add_flag("--log", log, "write the engine's log lines to standard error");
    app.add_option("--seconds", seconds, "stop after this many seconds (0: run until interrupted)")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--single-statements", singleStatements,
                 "execute every statement on its own in autocommit instead of in batched transactions");
    app.add_option("--retry-minutes", retryMinutes,
                   "how long a statement refused for a reason that can pass is retried before it goes to "
                   "sql.rejected (default 10)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--log-file", logFilePath,
                   "write what would go to standard error into this file, rotated at --log-size");
    app.add_option("--log-size", logLimits.maxBytes,
                   "size in bytes at which the log file is rotated (default 10 MB)")
        ->check(CLI::Range(std::uint64_t{1024}, std::uint64_t{1} << 40));
    app.add_option("--log-files", logLimits.keep, "rotated log files kept, FILE.1 the newest (default 5)")
        ->check(CLI::Range(0, 999));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int code = app.exit(error); // prints help, or the problem and a hint
        return code == 0 ? 0 : 1;
    }

    std::unique_ptr<RotatingLogFile> logFile;
    if (!logFilePath.empty()) {
        try {
            logFile = std::make_unique<RotatingLogFile>(logFilePath, logLimits);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "tagsink-run: %s\n", error.what());
            return 1;
        }
    }
    const bool tty = !logFile && isatty(STDERR_FILENO) != 0;
    StderrReporter reporter(log, tty);
    reporter.SetLogFile(logFile.get());
    auto say = [&reporter](const std::string& line) { reporter.Print("tagsink-run: " + line + "\n"); };
    db::InstallOdbcConnectionFactory();

    TServer root;
    try {
        root.LoadFromFile(projectFile);
    } catch (const std::exception& error) {
        say(projectFile + ": " + error.what());
        return 1;
    }
    if (root.OPCString().empty() || root.GroupCount() == 0) {
        say(projectFile + ": the project has " +
            (root.OPCString().empty() ? "no OPC server (OPCString is empty)" : "no groups") +
            "; there is nothing to record");
        return 1;
    }

    reporter.SetDbString(root.DBString());
    ReportToolkitFailuresTo(&reporter);
    if (QZDAC_Init() == QZDAC_FALSE)
        say("the OPC toolkit could not be initialised");

    int status = 0;
    {
        PlainEventLoop loop;
        if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            say(std::string("pipe: ") + std::strerror(errno));
            return 1;
        }
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        std::string stopReason;
        auto signals = loop.WatchReadable(signalPipe[0], [&] {
            char buffer[16];
            while (read(signalPipe[0], buffer, sizeof buffer) > 0) {
            }
            stopReason = "interrupted";
            loop.Quit();
        });
        auto toolkitEvents = WatchToolkitEvents(loop);

        EngineOptions options;
        options.recorder.singleStatements = singleStatements;
        options.recorder.retryWindow =
            std::chrono::milliseconds(static_cast<long long>(retryMinutes * 60.0 * 1000.0));
        Engine engine(root, loop, reporter, SystemClock::Instance(), options);
        engine.Run();
        bool everConnected = engine.Running();
        if (!everConnected) {
            std::string reason = reporter.LastToolkitFailure();
            if (reason.empty())
                reason = "the server is not known on that host or refused the session; list the servers "
                         "with tagclient-cli and check OPCString";
            say("cannot connect to the OPC server \"" + root.OPCString() + "\": " + reason +
                "; trying again");
        }
        std::unique_ptr<LoopHandle> deadline;
        if (seconds > 0) {
            deadline = loop.StartTimer(std::chrono::seconds(seconds), [&] {
                stopReason = "time is up";
                loop.Quit();
            });
        }
        auto progress = loop.StartTimer(std::chrono::milliseconds(tty ? 250 : 2000), [&] {
            everConnected = everConnected || engine.Running();
            reporter.Print(tty ? "\r" + Progress(engine, reporter) + "\x1b[K"
                               : Progress(engine, reporter) + "\n");
        });
        loop.Run();
        everConnected = everConnected || engine.Running() || engine.Reconnections() > 0;
        reporter.Print((tty ? "\r\x1b[K" : std::string()) + "Stopping (" + stopReason + ")\n");
        engine.Stop();
        reporter.Print(Progress(engine, reporter) + "\n" + reporter.Summary(engine.Stats()));
        if (!everConnected) {
            say("the OPC server \"" + root.OPCString() + "\" could not be connected");
            status = 2;
        }
        if (const std::uint64_t lost = engine.Stats().lost.load(); lost > 0) {
            say(std::to_string(lost) + " statements were lost (" + engine.Stats().LastFailure().text + ")");
            status = 3;
        }
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
    }
    QZDAC_Uninit();
    ReportToolkitFailuresTo(nullptr);
    close(signalPipe[0]);
    close(signalPipe[1]);
    return status;
}
