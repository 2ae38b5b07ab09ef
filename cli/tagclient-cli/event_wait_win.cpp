// The wait of the command-line client on Windows: the library's work (data changes, shutdown requests,
// its timers) arrives as window messages of this thread, the COM single-threaded apartment QZDAC_Init
// made, so the wait pumps messages. Ctrl+C, Ctrl+Break and closing the console end it; the handler runs
// on a thread of its own and wakes this one with a message.
#include "event_wait.hpp"

#include <windows.h>

#include <atomic>
#include <chrono>

namespace tagclient_cli {
namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<DWORD> g_waiting_thread{0};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        g_interrupted = true;
        if (const DWORD thread = g_waiting_thread.load())
            PostThreadMessageW(thread, WM_NULL, 0, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

EventWait::EventWait() {
    g_interrupted = false;
    g_waiting_thread = GetCurrentThreadId();
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

EventWait::~EventWait() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_waiting_thread = 0;
}

bool EventWait::Interrupted() const {
    return g_interrupted.load();
}

void EventWait::WaitAndDispatch(int timeout_ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (g_interrupted)
            return;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    }
}

} // namespace tagclient_cli
