// tagsink-run as a Windows service: the management commands (`tagsink-run service install|uninstall|
// start|stop|status`) and the run under the service control manager.
//
// An installed service starts "tagsink-run.exe --service-name NAME PROJECT.DAT [run options]" (see
// service_command_line.hpp); the program sees --service-name and hands its recording to RunAsService,
// which connects to the service manager, makes the project's folder the working folder ("sql.dat" lives
// there) and turns the service manager's stop and shutdown requests into the recorder's normal stop.
#pragma once

#ifdef _WIN32

#include "service_events.hpp"

#include <functional>
#include <string>
#include <vector>

namespace tagsink::service {

/// Looks at a service's run options before they are installed: returns "" when they are good, otherwise
/// what is wrong (the project cannot be loaded, an option is unknown).
using RunOptionsCheck =
    std::function<std::string(const std::wstring& project, const std::vector<std::wstring>& options)>;

/// `tagsink-run service COMMAND ...`; `args` are the words after "service". Writes what it did or why it
/// failed (with the system's text of the error) and returns the exit status: 0 done, 1 bad command line,
/// 2 the service manager refused (access denied, no such service, exists already, ...).
int ServiceCommand(const std::vector<std::wstring>& args, const RunOptionsCheck& check);

/// The recorder's side of a run under the service manager.
class ServiceControl {
public:
    virtual ~ServiceControl() = default;
    /// The recorder runs: the service is reported running and accepts stop and shutdown. `stop` is called
    /// once, on the service manager's thread, with the reason ("service stop", "system shutdown"); it
    /// must only ask the recorder to stop (the recorder then stops as it does in a console and returns).
    virtual void Running(std::function<void(const std::string& reason)> stop) = 0;
    /// The recorder is past its loop: `stop` is no longer called (a request now waits for the end).
    virtual void Finished() = 0;
    /// The recorder's state, every few seconds while it runs: links lost and restored, statements
    /// quarantined or lost go to the event log (service_events.hpp).
    virtual void Sample(const RecorderSample& sample) = 0;
};

/// Runs `record` as the service `name` on a thread of the service manager, in the working folder
/// `folder`; `say` receives the lines worth logging (the service's own failures). Returns `record`'s exit
/// status, which is also reported to the service manager (non-zero as a service-specific exit code, so
/// that the restart policy counts it as a failure). When the program was not started by the service
/// manager it says so and returns 1.
int RunAsService(const std::wstring& name, const std::wstring& folder,
                 const std::function<void(const std::string& line)>& say,
                 const std::function<int(ServiceControl& control)>& record);

/// The program's arguments as Windows passed them (wide text, split by the C runtime's rules).
std::vector<std::wstring> WideArguments();

/// UTF-8 text of `text`, and back (the programs' arguments are UTF-8, see program_arguments.hpp).
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

} // namespace tagsink::service

#endif
