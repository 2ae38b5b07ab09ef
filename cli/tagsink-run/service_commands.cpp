// tagsink-run's service commands: install, uninstall, start, stop and status, through the service
// control manager.
#include "service_command_line.hpp"
#include "windows_event_log.hpp"
#include "windows_service.hpp"
#include "windows_text.hpp"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace tagsink::service {

namespace {

// The restart policy: the first failure restarts after 10 s, later ones after 60 s; a day without a
// failure starts the count again.
constexpr DWORD kFirstRestartMs = 10'000;
constexpr DWORD kLaterRestartMs = 60'000;
constexpr DWORD kFailureResetSeconds = 24 * 60 * 60;
constexpr DWORD kPreshutdownTimeoutMs = 30'000;
// How long the commands wait for a service to reach the state they asked for.
constexpr auto kCommandWait = std::chrono::seconds(60);

// What the operator can do about an error of the service manager.
std::string Hint(DWORD error, const std::wstring& name) {
    const std::string quoted = "\"" + Utf8(name) + "\"";
    switch (error) {
    case ERROR_ACCESS_DENIED:
        return "; services are managed by administrators: run the command from a prompt opened with "
               "\"Run as administrator\"";
    case ERROR_SERVICE_EXISTS:
        return "; remove it first with: tagsink-run service uninstall " + quoted + ", or choose another name";
    case ERROR_DUPLICATE_SERVICE_NAME:
        return "; another service has that display name: choose another with --display-name";
    case ERROR_SERVICE_DOES_NOT_EXIST:
        return "; check the name (\"sc query state= all\" lists the installed services)";
    case ERROR_SERVICE_MARKED_FOR_DELETE:
        return "; it is removed once every program holding it (the Services window, for example) lets go of "
               "it: close them and try again";
    case ERROR_INVALID_SERVICE_ACCOUNT:
        return "; check --account (for example .\\user or DOMAIN\\user)";
    case ERROR_SERVICE_LOGON_FAILED:
        return "; check the account's password, and that it has the \"Log on as a service\" right";
    case ERROR_SERVICE_DISABLED:
        return "; it is disabled: enable it in the Services window or with: sc config " + quoted +
               " start= auto";
    default:
        return {};
    }
}

void Out(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void Err(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

// "tagsink-run: cannot VERB the service "NAME": SYSTEM TEXT; HINT", and 2.
int Refused(const std::string& what, const std::wstring& name, DWORD error) {
    Err("tagsink-run: cannot " + what + " the service \"" + Utf8(name) + "\": " + SystemText(error) +
        Hint(error, name) + "\n");
    return 2;
}

// What tagsink-run's exit status says, for the status of a stopped service.
std::string ExitMeaning(const SERVICE_STATUS_PROCESS& status) {
    if (status.dwWin32ExitCode == NO_ERROR)
        return "exit status 0 (a clean stop)";
    if (status.dwWin32ExitCode == ERROR_SERVICE_NEVER_STARTED)
        return "not started since the system started";
    if (status.dwWin32ExitCode != ERROR_SERVICE_SPECIFIC_ERROR)
        return "failed: " + SystemText(status.dwWin32ExitCode);
    const DWORD code = status.dwServiceSpecificExitCode;
    std::string meaning;
    switch (code) {
    case 1:
        meaning = "a bad command line, or a project that cannot be loaded or has nothing to record";
        break;
    case 2:
        meaning = "the OPC server could not be connected at any time during the run";
        break;
    case 3:
        meaning = "statements were lost: neither the journal nor the database could take them";
        break;
    default:
        meaning = "unexpected";
    }
    return "exit status " + std::to_string(code) + " (" + meaning + ")";
}

std::string StateText(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED:
        return "stopped";
    case SERVICE_START_PENDING:
        return "starting";
    case SERVICE_STOP_PENDING:
        return "stopping";
    case SERVICE_RUNNING:
        return "running";
    case SERVICE_CONTINUE_PENDING:
        return "continuing";
    case SERVICE_PAUSE_PENDING:
        return "pausing";
    case SERVICE_PAUSED:
        return "paused";
    default:
        return "in state " + std::to_string(state);
    }
}

// ----------------------------------------------------------------------------------- handles
struct ScHandleClose {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ScHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ScHandleClose>;

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    full.resize(length);
    return full;
}

std::wstring FolderOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".")
                                       : path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash);
}

bool QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof status, &needed) != 0;
}

// Polls until the service has left the pending states (or `wait` has passed); false when the status
// could not be read.
bool WaitWhilePending(SC_HANDLE service, SERVICE_STATUS_PROCESS& status, DWORD pending,
                      std::chrono::steady_clock::duration wait) {
    const auto end = std::chrono::steady_clock::now() + wait;
    while (QueryStatus(service, status)) {
        if (status.dwCurrentState != pending || std::chrono::steady_clock::now() >= end)
            return true;
        Sleep(250);
    }
    return false;
}

ScHandle OpenManager(DWORD access, DWORD& error) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, access));
    error = manager ? NO_ERROR : GetLastError();
    return manager;
}

// Opens one of our services: refuses a service that is not tagsink-run's (its command line has no
// --service-name NAME), so that uninstall and stop never touch someone else's service by a typing error.
int OpenOurService(const std::wstring& name, DWORD access, const std::string& what, ScHandle& manager,
                   ScHandle& service) {
    DWORD error = NO_ERROR;
    manager = OpenManager(SC_MANAGER_CONNECT, error);
    if (!manager) {
        Err("tagsink-run: cannot open the service control manager: " + SystemText(error) + Hint(error, name) +
            "\n");
        return 2;
    }
    service.reset(OpenServiceW(manager.get(), name.c_str(), access | SERVICE_QUERY_CONFIG));
    if (!service)
        return Refused(what, name, GetLastError());
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed + sizeof(QUERY_SERVICE_CONFIGW));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size()), &needed))
        return Refused(what, name, GetLastError());
    const std::wstring command_line = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
    if (!SameServiceName(ServiceNameOf(command_line), name)) {
        Err("tagsink-run: will not " + what + " the service \"" + Utf8(name) +
            "\": it is not a tagsink-run service (its command line is " + Utf8(command_line) + ")\n");
        return 2;
    }
    return 0;
}

// ---------------------------------------------------------------------------------- commands
const char kUsage[] =
    "usage: tagsink-run service install [--display-name TEXT] [--account ACCOUNT [--password PASSWORD]]\n"
    "                                   [--manual] NAME PROJECT.DAT [run options]\n"
    "       tagsink-run service uninstall NAME\n"
    "       tagsink-run service start NAME\n"
    "       tagsink-run service stop NAME\n"
    "       tagsink-run service status NAME\n"
    "Run options are tagsink-run's own (--log, --single-statements, --one-statement-per-call,\n"
    "--retry-minutes M, --log-file FILE, --log-size BYTES, --log-files N); the service runs in the\n"
    "project's folder and logs to tagsink-run.log there.\n";

int Usage(const std::string& problem) {
    if (!problem.empty())
        Err("tagsink-run: " + problem + "\n");
    Err(kUsage);
    return 1;
}

bool HasOption(const std::vector<std::wstring>& options, const wchar_t* name) {
    for (const auto& option : options)
        if (option == name || option.rfind(std::wstring(name) + L"=", 0) == 0)
            return true;
    return false;
}

int Install(const std::vector<std::wstring>& args, const RunOptionsCheck& check) {
    std::wstring display_name, account, password;
    bool has_password = false;
    bool manual = false;
    std::vector<std::wstring> positional, run_options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        auto value = [&](std::wstring& into) {
            if (i + 1 >= args.size())
                return false;
            into = args[++i];
            return true;
        };
        if (arg == L"--display-name") {
            if (!value(display_name))
                return Usage("--display-name needs a text");
        } else if (arg == L"--account") {
            if (!value(account))
                return Usage("--account needs an account name");
        } else if (arg == L"--password") {
            if (!value(password))
                return Usage("--password needs a password");
            has_password = true;
        } else if (arg == L"--manual") {
            manual = true;
        } else if (positional.size() < 2 && (arg.empty() || arg[0] != L'-')) {
            positional.push_back(arg);
        } else if (positional.size() < 2) {
            return Usage("unknown install option " + Utf8(arg));
        } else {
            run_options.push_back(arg);
        }
    }
    if (positional.size() < 2)
        return Usage("service install needs a service name and a project file");
    const std::wstring& name = positional[0];
    if (name.size() > 256 || name.find_first_of(L"/\\") != std::wstring::npos)
        return Usage("a service name has at most 256 characters and no / or \\: " + Utf8(name));
    if (has_password && account.empty())
        return Usage("--password goes with --account");
    if (HasOption(run_options, L"--seconds"))
        return Usage("--seconds is not for a service: the service runs until it is stopped");
    const std::wstring project = FullPath(positional[1]);
    const DWORD attributes = GetFileAttributesW(project.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        Err("tagsink-run: cannot install the service \"" + Utf8(name) + "\": the project file \"" +
            Utf8(project) + "\" " +
            (attributes == INVALID_FILE_ATTRIBUTES ? "does not exist" : "is a folder") + "\n");
        return 1;
    }
    if (check) {
        const std::string problem = check(project, run_options);
        if (!problem.empty()) {
            Err("tagsink-run: cannot install the service \"" + Utf8(name) + "\": " + problem + "\n");
            return 1;
        }
    }

    DWORD error = NO_ERROR;
    ScHandle manager = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE, error);
    if (!manager) {
        Err("tagsink-run: cannot open the service control manager: " + SystemText(error) + Hint(error, name) +
            "\n");
        return 2;
    }
    const std::wstring command_line = ServiceCommandLine(ModulePath(), name, project, run_options);
    if (display_name.empty())
        display_name = L"Tagsink recorder (" + name + L")";
    ScHandle service(CreateServiceW(
        manager.get(), name.c_str(), display_name.c_str(),
        SERVICE_CHANGE_CONFIG | SERVICE_QUERY_STATUS | DELETE, SERVICE_WIN32_OWN_PROCESS,
        manual ? SERVICE_DEMAND_START : SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command_line.c_str(),
        nullptr, nullptr, nullptr, account.empty() ? nullptr : account.c_str(),
        has_password ? password.c_str() : nullptr));
    SecureZeroMemory(password.data(), password.size() * sizeof(wchar_t));
    if (!service)
        return Refused("install", name, GetLastError());

    // The description, the restart policy and the time granted at system shutdown. Without the restart
    // policy the service would not be what was asked for: then it is removed again.
    std::wstring description = L"Records the OPC values of the Tagsink project " + project +
                               L" into its database. Log: tagsink-run.log in the project's folder.";
    SERVICE_DESCRIPTIONW describe{description.data()};
    if (!ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &describe))
        Err("tagsink-run: warning: the service's description could not be set: " +
            SystemText(GetLastError()) + "\n");

    SC_ACTION actions[3] = {{SC_ACTION_RESTART, kFirstRestartMs},
                            {SC_ACTION_RESTART, kLaterRestartMs},
                            {SC_ACTION_RESTART, kLaterRestartMs}};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = kFailureResetSeconds;
    failure.cActions = 3;
    failure.lpsaActions = actions;
    SERVICE_FAILURE_ACTIONS_FLAG non_crash{TRUE}; // a non-zero exit status counts as a failure too
    std::string policy_problem;
    if (!ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &failure))
        policy_problem = "the restart after a failure: " + SystemText(GetLastError());
    if (!policy_problem.empty()) {
        DeleteService(service.get());
        Err("tagsink-run: cannot install the service \"" + Utf8(name) + "\": the service manager refused " +
            policy_problem + "; the service was removed again\n");
        return 2;
    }
    std::string warnings;
    if (!ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &non_crash)) {
        // Every Windows since Vista has it; a service manager without it restarts only after a crash.
        const DWORD error = GetLastError();
        warnings += "tagsink-run: warning: this service manager cannot count a non-zero exit status as a "
                    "failure (" +
                    SystemText(error) +
                    "): the service is restarted only when the program ends without reporting\n";
    }
    SERVICE_PRESHUTDOWN_INFO preshutdown{kPreshutdownTimeoutMs};
    if (!ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown) &&
        GetLastError() != ERROR_INVALID_LEVEL) // a service manager without pre-shutdown sends the shutdown
        warnings += "tagsink-run: warning: the time granted at system shutdown could not be set: " +
                    SystemText(GetLastError()) + "\n";
    // The service's own event source: without it the entries are still written, shown with a note that
    // their message file is missing.
    if (const std::string problem = RegisterEventSourceFor(name, ModulePath()); !problem.empty())
        warnings += "tagsink-run: warning: the event source \"" + Utf8(name) +
                    "\" could not be registered: " + problem + "\n";
    Err(warnings);

    const std::wstring log = HasOption(run_options, L"--log-file") ? L"as --log-file says"
                                                                   : FolderOf(project) + L"\\tagsink-run.log";
    Out("Service \"" + Utf8(name) + "\" installed (" + Utf8(display_name) +
        "): " + (manual ? "started by hand" : "starts with Windows") +
        ", restarted 10 s after a failure (60 s after later ones).\n"
        "  command line: " +
        Utf8(command_line) + "\n  working folder: " + Utf8(FolderOf(project)) + "\n  log: " + Utf8(log) +
        "\n  events: the Windows event log \"Application\", source \"" + Utf8(name) + "\"" +
        "\nStart it with: tagsink-run service start \"" + Utf8(name) + "\"\n");
    return 0;
}

int Start(const std::wstring& name) {
    ScHandle manager, service;
    if (int status = OpenOurService(name, SERVICE_START | SERVICE_QUERY_STATUS, "start", manager, service))
        return status;
    SERVICE_STATUS_PROCESS status{};
    if (!StartServiceW(service.get(), 0, nullptr)) {
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_ALREADY_RUNNING)
            return Refused("start", name, error);
        QueryStatus(service.get(), status);
        Out("Service \"" + Utf8(name) + "\" is running already (process " +
            std::to_string(status.dwProcessId) + ").\n");
        return 0;
    }
    if (!WaitWhilePending(service.get(), status, SERVICE_START_PENDING, kCommandWait))
        return Refused("read the state of", name, GetLastError());
    if (status.dwCurrentState == SERVICE_RUNNING) {
        Out("Service \"" + Utf8(name) + "\" is running (process " + std::to_string(status.dwProcessId) +
            ").\n");
        return 0;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) {
        Err("tagsink-run: the service \"" + Utf8(name) + "\" stopped right after its start: " +
            ExitMeaning(status) + "; its log (tagsink-run.log in the project's folder) tells why\n");
        return 2;
    }
    Err("tagsink-run: the service \"" + Utf8(name) + "\" is still " + StateText(status.dwCurrentState) +
        " after 60 s\n");
    return 2;
}

int Stop(const std::wstring& name) {
    ScHandle manager, service;
    if (int status = OpenOurService(name, SERVICE_STOP | SERVICE_QUERY_STATUS, "stop", manager, service))
        return status;
    SERVICE_STATUS plain{};
    SERVICE_STATUS_PROCESS status{};
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &plain)) {
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_NOT_ACTIVE)
            return Refused("stop", name, error);
        QueryStatus(service.get(), status);
        Out("Service \"" + Utf8(name) + "\" is not running; last " + ExitMeaning(status) + ".\n");
        return 0;
    }
    if (!WaitWhilePending(service.get(), status, SERVICE_STOP_PENDING, kCommandWait))
        return Refused("read the state of", name, GetLastError());
    if (status.dwCurrentState != SERVICE_STOPPED) {
        Err("tagsink-run: the service \"" + Utf8(name) + "\" is still " + StateText(status.dwCurrentState) +
            " after 60 s\n");
        return 2;
    }
    Out("Service \"" + Utf8(name) + "\" stopped: " + ExitMeaning(status) + ".\n");
    return status.dwWin32ExitCode == NO_ERROR ? 0 : 2;
}

int Uninstall(const std::wstring& name) {
    ScHandle manager, service;
    if (int status =
            OpenOurService(name, DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS, "uninstall", manager, service))
        return status;
    SERVICE_STATUS_PROCESS status{};
    if (QueryStatus(service.get(), status) && status.dwCurrentState != SERVICE_STOPPED) {
        // A running recorder is stopped first, cleanly, so that nothing waiting is lost.
        SERVICE_STATUS plain{};
        if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &plain) &&
            GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
            return Refused("stop (before uninstalling)", name, GetLastError());
        WaitWhilePending(service.get(), status, SERVICE_STOP_PENDING, kCommandWait);
        if (status.dwCurrentState != SERVICE_STOPPED) {
            Err("tagsink-run: the service \"" + Utf8(name) +
                "\" did not stop within 60 s; not uninstalled\n");
            return 2;
        }
        Out("Service \"" + Utf8(name) + "\" stopped: " + ExitMeaning(status) + ".\n");
    }
    if (!DeleteService(service.get()))
        return Refused("uninstall", name, GetLastError());
    if (const std::string problem = RemoveEventSourceFor(name); !problem.empty())
        Err("tagsink-run: warning: the event source \"" + Utf8(name) + "\" could not be removed: " + problem +
            "\n");
    Out("Service \"" + Utf8(name) + "\" uninstalled.\n");
    return 0;
}

int Status(const std::wstring& name) {
    ScHandle manager, service;
    if (int status = OpenOurService(name, SERVICE_QUERY_STATUS, "query", manager, service))
        return status;
    SERVICE_STATUS_PROCESS status{};
    if (!QueryStatus(service.get(), status))
        return Refused("query", name, GetLastError());
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed + sizeof(QUERY_SERVICE_CONFIGW));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size()), &needed))
        return Refused("query", name, GetLastError());
    std::string text = "Service \"" + Utf8(name) + "\" (" +
                       Utf8(config->lpDisplayName ? config->lpDisplayName : L"") +
                       "): " + StateText(status.dwCurrentState);
    if (status.dwCurrentState != SERVICE_STOPPED)
        text += ", process " + std::to_string(status.dwProcessId);
    else
        text += ", last " + ExitMeaning(status);
    text += "\n  start: ";
    text += config->dwStartType == SERVICE_AUTO_START     ? "with Windows"
            : config->dwStartType == SERVICE_DEMAND_START ? "by hand"
            : config->dwStartType == SERVICE_DISABLED     ? "disabled"
                                                          : "other";
    text += "\n  account: " + Utf8(config->lpServiceStartName ? config->lpServiceStartName : L"LocalSystem");
    text += "\n  command line: " + Utf8(config->lpBinaryPathName ? config->lpBinaryPathName : L"") + "\n";
    Out(text);
    return 0;
}

} // namespace

int ServiceCommand(const std::vector<std::wstring>& args, const RunOptionsCheck& check) {
    if (args.empty())
        return Usage("service needs a command: install, uninstall, start, stop or status");
    const std::wstring& command = args[0];
    const std::vector<std::wstring> rest(args.begin() + 1, args.end());
    if (command == L"install")
        return Install(rest, check);
    if (command == L"--help" || command == L"-h" || command == L"help") {
        Out(kUsage);
        return 0;
    }
    if (command != L"uninstall" && command != L"start" && command != L"stop" && command != L"status")
        return Usage("unknown service command " + Utf8(command));
    if (rest.size() != 1)
        return Usage("service " + Utf8(command) + " needs the service's name, and nothing else");
    if (command == L"uninstall")
        return Uninstall(rest[0]);
    if (command == L"start")
        return Start(rest[0]);
    if (command == L"stop")
        return Stop(rest[0]);
    return Status(rest[0]);
}

} // namespace tagsink::service
