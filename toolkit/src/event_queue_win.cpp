// The event queue's wake-ups on Windows: a message-only window of the client thread. A posted call posts
// one message to it; the earliest due timer arms a WM_TIMER on it; its window procedure runs Dispatch. So
// notifications, the keep-alive poll and every call of a client procedure run on the client thread while
// it dispatches its window messages, as a single-threaded COM apartment expects.
#ifdef _WIN32

#include "event_queue.hpp"

#include "platform/message_window.hpp"

#include <windows.h>

#include <algorithm>

namespace tagclient {

namespace {

constexpr UINT kWake = WM_APP + 0x51;
constexpr UINT_PTR kTimerId = 1;
constexpr wchar_t kClassName[] = L"tagclient.EventQueue";

LRESULT CALLBACK QueueWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kWake || (msg == WM_TIMER && wParam == kTimerId)) {
        if (auto* queue = qz::MessageWindowOwner<EventQueue>(hwnd))
            queue->Dispatch();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND Window(void* w) {
    return static_cast<HWND>(w);
}

} // namespace

EventQueue::EventQueue() = default;

EventQueue::~EventQueue() {
    qz::DestroyMessageWindow(Window(window_));
}

void EventQueue::BindToCurrentThread() {
    qz::DestroyMessageWindow(Window(window_));
    window_ = nullptr;
    HWND hwnd = qz::CreateMessageWindow(kClassName, &QueueWindowProc, this);
    if (!hwnd)
        return;
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
            std::uint64_t now = clock_->NowMs();
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
