#include "stop_request.hpp"

#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace tagsink {

#ifdef _WIN32

namespace {

std::atomic<StopRequests*> current{nullptr};
PlainEventLoop* currentLoop = nullptr;
std::function<void()>* currentStop = nullptr;
HANDLE stopped = nullptr; // set when the run has stopped

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (!current.load())
        return FALSE;
    currentLoop->Post([] {
        if (current.load())
            (*currentStop)();
    });
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends when this returns: give the stop its time (the system allows about 5 s on
        // close, more on shutdown).
        WaitForSingleObject(stopped, 20000);
    }
    return TRUE;
}

} // namespace

StopRequests::StopRequests(PlainEventLoop& loop, std::function<void()> stop)
    : loop_(loop), stop_(std::move(stop)) {
    if (!stopped)
        stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(stopped);
    currentLoop = &loop_;
    currentStop = &stop_;
    current.store(this);
    if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE))
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "SetConsoleCtrlHandler");
}

StopRequests::~StopRequests() {
    current.store(nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    SetEvent(stopped);
}

#else

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
    int saved = errno;
    char byte = 1;
    [[maybe_unused]] ssize_t ignored = write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

StopRequests::StopRequests(PlainEventLoop& loop, std::function<void()> stop)
    : loop_(loop), stop_(std::move(stop)) {
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe");
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    watch_ = loop_.WatchReadable(signalPipe[0], [this] {
        char buffer[16];
        while (read(signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        stop_();
    });
}

StopRequests::~StopRequests() {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    watch_.reset();
    close(signalPipe[0]);
    close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

#endif

} // namespace tagsink
