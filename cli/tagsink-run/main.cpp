// tagsink-run --check PROJECT.DAT  checks the project against its server and database (check_command.hpp)
// tagsink-run PROJECT.DAT [--log] [--seconds N] [--single-statements] [--one-statement-per-call]
//             [--retry-minutes M]
//             [--log-file FILE [--log-size BYTES] [--log-files N]]
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
// that manage their own). Where the database takes several statements in one call (PostgreSQL, MariaDB,
// MySQL) a transaction's statements travel in as few calls as they allow; --one-statement-per-call sends
// each in a call of its own. A statement refused for a reason that can pass is retried for --retry-minutes
// (default 10) before it goes to "sql.rejected".
//
// --log-file sends what would go to standard error into FILE instead, which is rotated at --log-size
// bytes (FILE.1 ... FILE.N, --log-files of them kept).
//
// --http ADDRESS:PORT serves health, metrics, live values and a status page (http/run_endpoint.hpp); an
// address other than loopback needs --http-token-file.
//
// Exit status: 0 after a clean stop, 1 for a bad command line or a project that cannot be loaded, 2 when
// the OPC server could not be connected at any time during the run or the HTTP endpoint cannot start, 3
// when statements were lost (neither the journal nor the database could take them).
#include "check_command.hpp"
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/engine.hpp"
#include "engine/runtime/plain_event_loop.hpp"
#include "http/run_endpoint.hpp"
#include "model/server.hpp"
#include "platform/path_text.hpp"
#include "program_arguments.hpp"
#include "rotating_log.hpp"
#include "stderr_reporter.hpp"
#include "stop_request.hpp"
#include "version_flag.hpp"
#ifdef _WIN32
#include "windows_service.hpp"
#else
namespace tagsink::service {
class ServiceControl; // only on Windows
}
#endif
#include "tagclient.h"

#include <CLI/CLI.hpp>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string_view>

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

// The options of a run: the console form's, and a service's (checked at its install).
struct RunSettings {
    std::string project_file;
    bool log = false;
    int seconds = 0;
    bool single_statements = false;
    bool one_statement_per_call = false;
    double retry_minutes = 10;
    std::string log_file_path;
    RotatingLogFile::Limits log_limits;
    http::HttpSettings http;
};

void AddRunOptions(CLI::App& app, RunSettings& settings) {
    app.add_option("PROJECT.DAT", settings.project_file, "the project file")
        ->required()
        ->check(ExistingUtf8File());
    app.add_flag("--log", settings.log, "write the engine's log lines to standard error");
    app.add_option("--seconds", settings.seconds, "stop after this many seconds (0: run until interrupted)")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--single-statements", settings.single_statements,
                 "execute every statement on its own in autocommit instead of in batched transactions");
    app.add_flag("--one-statement-per-call", settings.one_statement_per_call,
                 "send every statement of a transaction in a driver call of its own instead of joining them");
    app.add_option("--retry-minutes", settings.retry_minutes,
                   "how long a statement refused for a reason that can pass is retried before it goes to "
                   "sql.rejected (default 10)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--log-file", settings.log_file_path,
                   "write what would go to standard error into this file, rotated at --log-size");
    app.add_option("--log-size", settings.log_limits.max_bytes,
                   "size in bytes at which the log file is rotated (default 10 MB)")
        ->check(CLI::Range(std::uint64_t{1024}, std::uint64_t{1} << 40));
    app.add_option("--log-files", settings.log_limits.keep,
                   "rotated log files kept, FILE.1 the newest (default 5)")
        ->check(CLI::Range(0, 999));
    http::AddHttpOptions(app, settings.http);
}

// Loads the project: "" when it can be recorded, otherwise why not.
std::string LoadProject(TServer& root, const std::string& project_file) {
    try {
        root.LoadFromFile(qz::Utf8Path(project_file));
    } catch (const std::exception& error) {
        return project_file + ": " + error.what();
    }
    if (root.OPCString().empty() || root.GroupCount() == 0)
        return project_file + ": the project has " +
               (root.OPCString().empty() ? "no OPC server (OPCString is empty)" : "no groups") +
               "; there is nothing to record";
    return {};
}

// The service's log file, in the project's folder.
constexpr const char* kServiceLogName = "tagsink-run.log";

// One run, in the console (`control` null) or under the service manager.
int Record(int argc, char** argv, service::ServiceControl* control) {
    CLI::App app{"Records a Tagsink project headlessly: OPC values into the project's database."};
    RunSettings settings;
    AddRunOptions(app, settings);
    AddVersionFlag(app, "tagsink-run");
#ifdef _WIN32
    app.footer("As a Windows service: tagsink-run service install|uninstall|start|stop|status ... "
               "(tagsink-run service --help)");
#endif
    bool check = false;
    if (control == nullptr)
        app.add_flag("--check", check,
                     "check the project against its OPC server and database, record nothing; exit 0 without "
                     "errors");
    const std::string& project_file = settings.project_file;
    std::string& log_file_path = settings.log_file_path;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (control == nullptr) {
            int code = app.exit(error); // prints help, or the problem and a hint
            return code == 0 ? 0 : 1;
        }
        // A service's command line changed by hand: the reason goes where the service logs.
        std::ostringstream text;
        app.exit(error, text, text);
        RotatingLogFile(kServiceLogName, {}).Write("tagsink-run: the service's command line: " + text.str());
        return 1;
    }
    if (check)
        return RunCheck(project_file);
    if (control != nullptr && log_file_path.empty())
        log_file_path = kServiceLogName; // in the project's folder, the service's working folder

    std::unique_ptr<RotatingLogFile> log_file;
    if (!log_file_path.empty()) {
        try {
            log_file = std::make_unique<RotatingLogFile>(qz::Utf8Path(log_file_path), settings.log_limits);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "tagsink-run: %s\n", error.what());
            return 1;
        }
    }
#ifdef _WIN32
    const bool tty = false; // progress as plain lines: a console may not take terminal escapes
#else
    const bool tty = !log_file && isatty(STDERR_FILENO) != 0;
#endif
    StderrReporter reporter(settings.log, tty);
    reporter.SetLogFile(log_file.get());
    auto say = [&reporter](const std::string& line) { reporter.Print("tagsink-run: " + line + "\n"); };
    db::InstallOdbcConnectionFactory();

    TServer root;
    if (const std::string problem = LoadProject(root, project_file); !problem.empty()) {
        say(problem);
        return 1;
    }

    reporter.SetDbString(root.DBString());
    ReportToolkitFailuresTo(&reporter);
    if (QZDAC_Init() == QZDAC_FALSE)
        say("the OPC toolkit could not be initialised");

    int status = 0;
    {
        PlainEventLoop loop;
        std::string stop_reason;
        std::unique_ptr<StopRequests> stop_requests;
        try {
            stop_requests = std::make_unique<StopRequests>(loop, [&] {
                stop_reason = "interrupted";
                loop.Quit();
            });
        } catch (const std::exception& error) {
            say(error.what());
            return 1;
        }
        auto toolkit_events = WatchToolkitEvents(loop);

        EngineOptions options;
        options.recorder.single_statements = settings.single_statements;
        options.recorder.statement_lists = !settings.one_statement_per_call;
        options.recorder.retry_window =
            std::chrono::milliseconds(static_cast<long long>(settings.retry_minutes * 60.0 * 1000.0));
        std::unique_ptr<http::RunEndpoint> http_status;
        std::unique_ptr<http::Serving> serving; // ends before the engine it reads from
        auto http_failed = [&](const std::exception& error) {
            say(std::string("the HTTP endpoint cannot start: ") + error.what());
            return 2;
        };
        try {
            if (!settings.http.address.empty())
                http_status =
                    std::make_unique<http::RunEndpoint>(settings.http, root, reporter, TAGSINK_RUN_VERSION);
        } catch (const std::exception& error) {
            return http_failed(error);
        }
        Engine engine(root, loop, http_status ? http_status->Reporter() : reporter, SystemClock::Instance(),
                      options);
        try {
            if (http_status) {
                serving = http_status->Serve(engine, loop);
                say("serving status at " + serving->Endpoint().Url());
            }
        } catch (const std::exception& error) {
            return http_failed(error);
        }
        engine.Run();
        bool ever_connected = engine.Running();
        if (!ever_connected) {
            std::string reason = reporter.LastToolkitFailure();
            if (reason.empty())
#ifdef _WIN32
                reason = "the server is not known on that host or refused the session; list the servers "
                         "with tagclient-cli.exe servers (--host NAME for another computer) and check "
                         "OPCString";
#else
                reason = "the server is not known on that host or refused the session; list the servers "
                         "with tagclient-cli and check OPCString";
#endif
            say("cannot connect to the OPC server \"" + root.OPCString() + "\": " + reason +
                "; trying again");
        }
#ifdef _WIN32
        // Under the service manager: its stop and shutdown requests end the loop like an interrupt.
        struct ServiceRunning {
            service::ServiceControl* control;
            ~ServiceRunning() {
                if (control != nullptr)
                    control->Finished();
            }
        } service_running{control};
        if (control != nullptr)
            control->Running([&loop, &stop_reason](const std::string& reason) {
                loop.Post([&loop, &stop_reason, reason] {
                    stop_reason = reason;
                    loop.Quit();
                });
            });
#endif
        std::unique_ptr<LoopHandle> deadline;
        if (settings.seconds > 0) {
            deadline = loop.StartTimer(std::chrono::seconds(settings.seconds), [&] {
                stop_reason = "time is up";
                loop.Quit();
            });
        }
        auto progress = loop.StartTimer(std::chrono::milliseconds(tty ? 250 : 2000), [&] {
            ever_connected = ever_connected || engine.Running();
#ifdef _WIN32
            if (control != nullptr) // the service's event log: links lost and restored, statements lost
                control->Sample({engine.OpcLinkUp(), engine.Stats().db_connected.load(),
                                 engine.Stats().rejected.load(), engine.Stats().lost.load()});
#endif
            reporter.Print(tty ? "\r" + Progress(engine, reporter) + "\x1b[K"
                               : Progress(engine, reporter) + "\n");
        });
        loop.Run();
        ever_connected = ever_connected || engine.Running() || engine.Reconnections() > 0;
        reporter.Print((tty ? "\r\x1b[K" : std::string()) + "Stopping (" + stop_reason + ")\n");
        engine.Stop();
        serving.reset();
        reporter.Print(Progress(engine, reporter) + "\n" + reporter.Summary(engine.Stats()));
        if (!ever_connected) {
            say("the OPC server \"" + root.OPCString() + "\" could not be connected");
            status = 2;
        }
        if (const std::uint64_t lost = engine.Stats().lost.load(); lost > 0) {
            say(std::to_string(lost) + " statements were lost (" + engine.Stats().LastFailure().text + ")");
            status = 3;
        }
    }
    QZDAC_Uninit();
    ReportToolkitFailuresTo(nullptr);
    return status;
}

} // namespace

#ifdef _WIN32
namespace {

// `tagsink-run service install` checks a service's project and run options as the service would see them.
std::string CheckServiceOptions(const std::wstring& project, const std::vector<std::wstring>& options) {
    CLI::App app{"tagsink-run"};
    RunSettings settings;
    AddRunOptions(app, settings);
    std::vector<std::string> args; // CLI11 takes them last first
    for (auto it = options.rbegin(); it != options.rend(); ++it)
        args.push_back(service::Utf8(*it));
    args.push_back(service::Utf8(project));
    try {
        app.parse(args);
    } catch (const CLI::ParseError& error) {
        return std::string("the run options: ") + error.what();
    }
    TServer root;
    return LoadProject(root, settings.project_file);
}

// "tagsink-run.exe --service-name NAME PROJECT.DAT [run options]": the run under the service manager.
int RunService(int argc, char** argv) {
    const std::vector<std::wstring> args = service::WideArguments();
    if (argc < 4 || args.size() < 4) {
        std::fprintf(stderr,
                     "tagsink-run: --service-name NAME PROJECT.DAT [run options] is the command line of "
                     "an installed service (see tagsink-run service --help)\n");
        return 1;
    }
    const std::wstring name = args[2];
    const std::filesystem::path folder = std::filesystem::path(args[3]).parent_path();
    std::vector<char*> record_args = {argv[0]};
    record_args.insert(record_args.end(), argv + 3, argv + argc);
    record_args.push_back(nullptr);
    // The service's own failures (before the recorder has its log open) go to the log beside the project.
    auto say = [&folder](const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        try {
            RotatingLogFile(folder / kServiceLogName, {}).Write(line);
        } catch (const std::exception&) {
        }
    };
    return service::RunAsService(name, folder.wstring(), say, [&](service::ServiceControl& control) {
        return Record(static_cast<int>(record_args.size()) - 1, record_args.data(), &control);
    });
}

} // namespace
#endif

int main(int argc, char** argv) {
    Utf8Console console;
    ProgramArguments arguments(argc, argv); // UTF-8: on Windows from the wide command line
    argc = arguments.Argc();
    argv = arguments.Argv();
#ifdef _WIN32
    if (argc > 1 && std::string_view(argv[1]) == "service") {
        const std::vector<std::wstring> args = service::WideArguments();
        return service::ServiceCommand({args.begin() + std::min<std::size_t>(2, args.size()), args.end()},
                                       CheckServiceOptions);
    }
    if (argc > 1 && std::string_view(argv[1]) == "--service-name")
        return RunService(argc, argv);
#endif
    return Record(argc, argv, nullptr);
}
