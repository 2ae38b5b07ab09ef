// The service session: the service control manager's dispatcher and the recording it runs, reported to
// the service manager as starting, running, stopping and stopped.
#include "service_command_line.hpp"
#include "windows_event_log.hpp"
#include "windows_service.hpp"
#include "windows_text.hpp"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace tagsink::service {

namespace {

// A stop takes at most the recorder's 3 s of finishing plus one statement's 10 s time-out; the wait hint
// leaves room for that, and the checkpoint moves every second while it lasts.
constexpr DWORD kStopWaitHintMs = 20'000;
constexpr DWORD kStartWaitHintMs = 60'000; // connecting to the OPC server may take long

// Our own control code for SERVICE_CONTROL_PRESHUTDOWN where the headers are older than Vista's.
#ifndef SERVICE_CONTROL_PRESHUTDOWN
#define SERVICE_CONTROL_PRESHUTDOWN 0x0000000F
#endif
#ifndef SERVICE_ACCEPT_PRESHUTDOWN
#define SERVICE_ACCEPT_PRESHUTDOWN 0x00000100
#endif

class Session final : public ServiceControl {
public:
    std::wstring name;
    std::wstring folder;
    const std::function<void(const std::string&)>* say = nullptr;
    const std::function<int(ServiceControl&)>* record = nullptr;
    int exit_status = 1;
    bool ran = false;

    void Running(std::function<void(const std::string&)> stop) override {
        Log({EventId::kStarted, EventLevel::kInformation,
             "The service \"" + Utf8(name) + "\" started recording the project in \"" + Utf8(folder) +
                 "\"."});
        std::lock_guard lock(mutex_);
        stop_ = std::move(stop);
        if (stop_requested_)
            stop_(stop_reason_); // asked to stop while it started
        else
            ReportLocked(SERVICE_RUNNING, NO_ERROR, 0, 0);
    }

    void Finished() override {
        std::lock_guard lock(mutex_);
        stop_ = nullptr;
    }

    void Sample(const RecorderSample& sample) override {
        for (const ServiceEvent& event : events_.Update(sample))
            Log(event);
    }

    // Runs on the service's thread: everything between the start and SERVICE_STOPPED.
    void Main() {
        handle_ = RegisterServiceCtrlHandlerExW(name.c_str(), &Session::Handler, this);
        if (handle_ == nullptr) {
            (*say)("tagsink-run: the service \"" + Utf8(name) +
                   "\" cannot receive the service manager's requests: " + SystemText(GetLastError()) + "\n");
            return;
        }
        ran = true;
        event_log_ = std::make_unique<EventLog>(name);
        {
            std::lock_guard lock(mutex_);
            ReportLocked(SERVICE_START_PENDING, NO_ERROR, 0, kStartWaitHintMs);
        }
        if (!SetCurrentDirectoryW(folder.c_str())) {
            const DWORD error = GetLastError();
            (*say)("tagsink-run: the service \"" + Utf8(name) + "\" cannot work in the project's folder \"" +
                   Utf8(folder) + "\": " + SystemText(error) + "\n");
            std::lock_guard lock(mutex_);
            exit_status = 1;
            ReportLocked(SERVICE_STOPPED, error, 0, 0);
            return;
        }
        // While the start or the stop lasts, the checkpoint moves every second: the service manager sees
        // progress and does not give up on it.
        std::thread ticker([this] {
            std::unique_lock lock(mutex_);
            while (!done_) {
                ticked_.wait_for(lock, std::chrono::seconds(1));
                if (!done_ && (status_.dwCurrentState == SERVICE_START_PENDING ||
                               status_.dwCurrentState == SERVICE_STOP_PENDING))
                    ReportLocked(status_.dwCurrentState, NO_ERROR, 0, status_.dwWaitHint);
            }
        });
        int status = 1;
        try {
            status = (*record)(*this);
        } catch (const std::exception& error) {
            (*say)(std::string("tagsink-run: the recorder failed: ") + error.what() + "\n");
        } catch (...) {
            (*say)("tagsink-run: the recorder failed\n");
        }
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        ticked_.notify_all();
        ticker.join();
        std::string reason;
        {
            std::lock_guard lock(mutex_);
            reason = stop_requested_ ? stop_reason_ : "the recorder ended";
        }
        Log({EventId::kStopped, status == 0 ? EventLevel::kInformation : EventLevel::kError,
             "The service \"" + Utf8(name) + "\" stopped (" + reason + "); exit status " +
                 std::to_string(status) +
                 (status == 0   ? " (a clean stop)."
                  : status == 3 ? " (statements were lost)."
                  : status == 2
                      ? " (the OPC server could not be connected, or the HTTP endpoint could not start)."
                      : " (see tagsink-run.log in the project's folder).")});
        std::lock_guard lock(mutex_);
        exit_status = status;
        // A non-zero status is a service-specific exit code: the restart policy counts it as a failure.
        ReportLocked(SERVICE_STOPPED, status == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR,
                     static_cast<DWORD>(status), 0);
    }

private:
    void Log(const ServiceEvent& event) {
        if (event_log_)
            event_log_->Write(event);
    }

    static DWORD WINAPI Handler(DWORD control, DWORD, void*, void* context) {
        auto* self = static_cast<Session*>(context);
        switch (control) {
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        case SERVICE_CONTROL_STOP:
            self->RequestStop("service stop");
            return NO_ERROR;
        case SERVICE_CONTROL_SHUTDOWN:
        case SERVICE_CONTROL_PRESHUTDOWN:
            self->RequestStop("system shutdown");
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
        }
    }

    void RequestStop(const std::string& reason) {
        // Under the lock, so that the recorder's Finished cannot come between (the stop procedure only
        // posts a request to the recorder's loop).
        std::lock_guard lock(mutex_);
        if (stop_requested_ || done_)
            return;
        stop_requested_ = true;
        stop_reason_ = reason;
        ReportLocked(SERVICE_STOP_PENDING, NO_ERROR, 0, kStopWaitHintMs);
        if (stop_)
            stop_(reason); // otherwise Running stops at once when the recorder gets there
    }

    void ReportLocked(DWORD state, DWORD exit_code, DWORD specific, DWORD wait_hint) {
        const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
        status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status_.dwCheckPoint = pending && state == status_.dwCurrentState ? status_.dwCheckPoint + 1 : 0;
        status_.dwCurrentState = state;
        status_.dwWin32ExitCode = exit_code;
        status_.dwServiceSpecificExitCode = specific;
        status_.dwWaitHint = wait_hint;
        status_.dwControlsAccepted = state == SERVICE_RUNNING
                                         ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN |
                                               (preshutdown_ ? SERVICE_ACCEPT_PRESHUTDOWN : 0)
                                         : 0;
        if (!SetServiceStatus(handle_, &status_) && state == SERVICE_RUNNING && preshutdown_) {
            // A service manager that does not know pre-shutdown: the shutdown request does as well.
            preshutdown_ = false;
            status_.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
            SetServiceStatus(handle_, &status_);
        }
    }

    SERVICE_STATUS_HANDLE handle_ = nullptr;
    std::unique_ptr<EventLog> event_log_;
    ServiceEvents events_{qz::SystemClock::Instance()};
    std::mutex mutex_;
    std::condition_variable ticked_;
    SERVICE_STATUS status_{};
    bool preshutdown_ = true;
    bool stop_requested_ = false;
    bool done_ = false;
    std::string stop_reason_;
    std::function<void(const std::string&)> stop_;
};

Session* current = nullptr; // the one service of this process, for ServiceMain

void WINAPI ServiceMain(DWORD, wchar_t**) {
    current->Main();
}

} // namespace

int RunAsService(const std::wstring& name, const std::wstring& folder,
                 const std::function<void(const std::string&)>& say,
                 const std::function<int(ServiceControl&)>& record) {
    Session session;
    session.name = name;
    session.folder = folder;
    session.say = &say;
    session.record = &record;
    current = &session;
    std::wstring table_name = name;
    SERVICE_TABLE_ENTRYW table[] = {{table_name.data(), &ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        const DWORD error = GetLastError();
        current = nullptr;
        if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)
            say("tagsink-run: " + Utf8(std::wstring(kServiceNameOption)) +
                " is for the service control manager, which starts the installed service; in a console, "
                "run tagsink-run without it (or: tagsink-run service start \"" +
                Utf8(name) + "\")\n");
        else
            say("tagsink-run: cannot connect to the service control manager: " + SystemText(error) + "\n");
        return 1;
    }
    current = nullptr;
    return session.ran ? session.exit_status : 1;
}

} // namespace tagsink::service
