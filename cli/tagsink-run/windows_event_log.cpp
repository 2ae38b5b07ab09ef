#include "windows_event_log.hpp"

#include "windows_service.hpp"
#include "windows_text.hpp"

#include <windows.h>

namespace tagsink::service {

std::wstring EventSourceKey(const std::wstring& name) {
    return L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + name;
}

std::string RegisterEventSourceFor(const std::wstring& name, const std::wstring& message_file) {
    HKEY key = nullptr;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, EventSourceKey(name).c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return SystemText(static_cast<DWORD>(result));
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    result = RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(message_file.c_str()),
                            static_cast<DWORD>((message_file.size() + 1) * sizeof(wchar_t)));
    if (result == ERROR_SUCCESS)
        result = RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                                sizeof types);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, EventSourceKey(name).c_str());
        return SystemText(static_cast<DWORD>(result));
    }
    return {};
}

std::string RemoveEventSourceFor(const std::wstring& name) {
    const LONG result = RegDeleteKeyW(HKEY_LOCAL_MACHINE, EventSourceKey(name).c_str());
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND)
        return {};
    return SystemText(static_cast<DWORD>(result));
}

EventLog::EventLog(const std::wstring& name) : handle_(RegisterEventSourceW(nullptr, name.c_str())) {}

EventLog::~EventLog() {
    if (handle_ != nullptr)
        DeregisterEventSource(handle_);
}

void EventLog::Write(const ServiceEvent& event) {
    if (handle_ == nullptr)
        return;
    WORD type = EVENTLOG_INFORMATION_TYPE;
    if (event.level == EventLevel::kWarning)
        type = EVENTLOG_WARNING_TYPE;
    else if (event.level == EventLevel::kError)
        type = EVENTLOG_ERROR_TYPE;
    const std::wstring text = Wide(event.text);
    const wchar_t* strings[] = {text.c_str()};
    ReportEventW(handle_, type, 0, static_cast<DWORD>(event.id), nullptr, 1, 0, strings, nullptr);
}

} // namespace tagsink::service
