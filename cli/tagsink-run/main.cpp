// tagsink-run PROJECT.DAT [--log] [--seconds N] [--single-statements] [--retry-minutes M]
//
// Loads a project and records it exactly as the program does when it leaves Edit mode: connects to the
// OPC server, subscribes the groups and runs the record thread, with "sql.dat" in the current directory.
// It stops after N seconds (as the operator's return to Edit mode would), or on SIGINT or SIGTERM (on
// Windows Ctrl+C, Ctrl+Break or closing the console);
// statements still waiting are executed or kept in "sql.dat" for the next run. An OPC server that is
// missing at start, shuts down or stops answering is connected again by the engine, at growing intervals.
//
// Statements are journaled in "sql.dat" before they run and executed in transactions of many statements;
// --single-statements executes each on its own in autocommit (drivers without transactions, procedures
// that manage their own). A statement refused for a reason that can pass is retried for --retry-minutes
// (default 10) before it goes to "sql.rejected".
//
// Exit status: 0 after a clean stop, 1 for a bad command line or a project that cannot be loaded, 2 when
// the OPC server could not be connected at any time during the run, 3 when statements were lost (neither
// the journal nor the database could take them).
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/engine.hpp"
#include "engine/runtime/plain_event_loop.hpp"
#include "model/server.hpp"
#include "stderr_reporter.hpp"
#include "stop_request.hpp"
#include "tagclient.h"

#include <CLI/CLI.hpp>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdio>

using namespace tagsink;

namespace {

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
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int code = app.exit(error); // prints help, or the problem and a hint
        return code == 0 ? 0 : 1;
    }

#ifdef _WIN32
    const bool tty = false; // progress as plain lines: a console may not take terminal escapes
#else
    const bool tty = isatty(STDERR_FILENO) != 0;
#endif
    StderrReporter reporter(log, tty);
    db::InstallOdbcConnectionFactory();

    TServer root;
    try {
        root.LoadFromFile(projectFile);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tagsink-run: %s: %s\n", projectFile.c_str(), error.what());
        return 1;
    }
    if (root.OPCString().empty() || root.GroupCount() == 0) {
        std::fprintf(stderr, "tagsink-run: %s: the project has %s; there is nothing to record\n",
                     projectFile.c_str(),
                     root.OPCString().empty() ? "no OPC server (OPCString is empty)" : "no groups");
        return 1;
    }

    reporter.SetDbString(root.DBString());
    ReportToolkitFailuresTo(&reporter);
    if (QZDAC_Init() == QZDAC_FALSE)
        std::fprintf(stderr, "tagsink-run: the OPC toolkit could not be initialised\n");

    int status = 0;
    {
        PlainEventLoop loop;
        std::string stopReason;
        std::unique_ptr<StopRequests> stopRequests;
        try {
            stopRequests = std::make_unique<StopRequests>(loop, [&] {
                stopReason = "interrupted";
                loop.Quit();
            });
        } catch (const std::exception& error) {
            std::fprintf(stderr, "tagsink-run: %s\n", error.what());
            return 1;
        }
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
            std::fprintf(stderr, "tagsink-run: cannot connect to the OPC server \"%s\": %s; trying again\n",
                         root.OPCString().c_str(), reason.c_str());
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
            std::fprintf(stderr, "tagsink-run: the OPC server \"%s\" could not be connected\n",
                         root.OPCString().c_str());
            status = 2;
        }
        if (const std::uint64_t lost = engine.Stats().lost.load(); lost > 0) {
            std::fprintf(stderr, "tagsink-run: %llu statements were lost (%s)\n",
                         static_cast<unsigned long long>(lost), engine.Stats().LastFailure().text.c_str());
            status = 3;
        }
    }
    QZDAC_Uninit();
    ReportToolkitFailuresTo(nullptr);
    return status;
}
