// The event queue's wake-ups on Windows: a message-only window of the client thread. A posted call posts
// one message to it; the earliest due timer arms a WM_TIMER on it; its window procedure runs Dispatch. So
// notifications, the keep-alive poll and every call of a client procedure run on the client thread while
// it dispatches its window messages, as a single-threaded COM apartment expects.
#ifdef _WIN32

#include "event_queue.hpp"

#include <windows.h>

#include <algorithm>
#include <chrono>

namespace tagclient {

namespace {

constexpr UINT kWake = WM_APP + 0x51;
constexpr UINT_PTR kTimerId = 1;
constexpr wchar_t kClassName[] = L"tagclient.EventQueue";

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

LRESULT CALLBACK QueueWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kWake || (msg == WM_TIMER && wParam == kTimerId)) {
        if (auto* queue = reinterpret_cast<EventQueue*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
            queue->Dispatch();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND Window(void* w) {
    return static_cast<HWND>(w);
}

std::uint64_t MonotonicMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

EventQueue::EventQueue() = default;

EventQueue::~EventQueue() {
    if (window_) {
        SetWindowLongPtrW(Window(window_), GWLP_USERDATA, 0);
        DestroyWindow(Window(window_));
    }
}

void EventQueue::BindToCurrentThread() {
    if (window_) {
        SetWindowLongPtrW(Window(window_), GWLP_USERDATA, 0);
        DestroyWindow(Window(window_));
        window_ = nullptr;
    }
    HINSTANCE module = ThisModule();
    WNDCLASSW wc{};
    wc.lpfnWndProc = &QueueWindowProc;
    wc.hInstance = module;
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc); // fails harmlessly when the class exists
    HWND hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
    if (!hwnd)
        return;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = hwnd;
    handle_ = reinterpret_cast<intptr_t>(hwnd);
    // Work queued before the thread was bound.
    signalled_ = false;
    Signal();
    ArmTimer();
}

void EventQueue::Signal() {
    bool pending;
    {
        std::lock_guard lock(mutex_);
        pending = !posted_.empty();
    }
    if (window_ && pending && !signalled_.exchange(true))
        PostMessageW(Window(window_), kWake, 0, 0);
}

void EventQueue::Drain() {
    signalled_ = false;
}

void EventQueue::ArmTimer() {
    if (!window_)
        return;
    bool any = false;
    std::uint64_t delay = 0;
    {
        std::lock_guard lock(mutex_);
        if (!timers_.empty()) {
            std::uint64_t now = clock_ ? clock_() : MonotonicMs();
            std::uint64_t due = UINT64_MAX;
            for (const auto& [id, t] : timers_)
                due = std::min(due, t.due);
            delay = due > now ? due - now : 0;
            any = true;
        }
    }
    if (any)
        SetTimer(Window(window_), kTimerId,
                 static_cast<UINT>(std::clamp<std::uint64_t>(delay, 1, 0x7FFFFFFF)), nullptr);
    else
        KillTimer(Window(window_), kTimerId);
}

} // namespace tagclient

#endif
