// The service's entries in the Windows event log ("Application"), under an event source named as the
// service: registered at `service install` (tagsink-run.exe is its message file: every entry's text is
// its one insertion string) and removed at `service uninstall`.
#pragma once

#ifdef _WIN32

#include "service_events.hpp"

#include <string>

namespace tagsink::service {

/// The registry key of the event source `name` under HKEY_LOCAL_MACHINE.
std::wstring EventSourceKey(const std::wstring& name);

/// Registers the event source `name` with `message_file` as its message file; "" when done, otherwise
/// the system's reason.
std::string RegisterEventSourceFor(const std::wstring& name, const std::wstring& message_file);

/// Removes the event source `name`; "" when done or when there was none, otherwise the system's reason.
std::string RemoveEventSourceFor(const std::wstring& name);

/// Writes entries under the event source `name`. Writing is best effort: a log that cannot be opened or
/// written does not stop the recording.
class EventLog {
public:
    explicit EventLog(const std::wstring& name);
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    void Write(const ServiceEvent& event);

private:
    void* handle_ = nullptr;
};

} // namespace tagsink::service

#endif
