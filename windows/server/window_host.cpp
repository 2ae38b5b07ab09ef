#include "window_host.hpp"

#include "platform/message_window.hpp"

#include <vector>

namespace opcsim {

namespace {
constexpr UINT kRunPosted = WM_APP + 1;
constexpr wchar_t kClassName[] = L"TagsinkOpcSimHostWindow";

} // namespace

WindowHost::WindowHost() {
    window_ = qz::CreateMessageWindow(kClassName, &WindowHost::WindowProc, this);
}

WindowHost::~WindowHost() {
    qz::DestroyMessageWindow(window_);
}

void WindowHost::Post(std::function<void()> call) {
    bool signal;
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(call));
        signal = !signalled_;
        signalled_ = true;
    }
    if (signal && window_)
        PostMessageW(window_, kRunPosted, 0, 0);
}

tagclient::transport::Host::TimerId WindowHost::StartTimer(std::uint32_t interval_ms,
                                                           std::function<void()> tick) {
    TimerId id = next_timer_++;
    timers_[id] = std::move(tick);
    if (window_)
        SetTimer(window_, static_cast<UINT_PTR>(id), interval_ms == 0 ? 1 : interval_ms, nullptr);
    return id;
}

void WindowHost::StopTimer(TimerId id) {
    if (timers_.erase(id) != 0 && window_)
        KillTimer(window_, static_cast<UINT_PTR>(id));
}

std::uint64_t WindowHost::NowMs() {
    return GetTickCount64();
}

void WindowHost::RunPosted() {
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(mutex_);
        calls.swap(posted_);
        signalled_ = false;
    }
    for (auto& call : calls) {
        try {
            call();
        } catch (...) {
            // A simulated server's failure must not unwind through the window procedure.
        }
    }
}

void WindowHost::RunTimer(UINT_PTR id) {
    auto it = timers_.find(static_cast<TimerId>(id));
    if (it == timers_.end())
        return;
    // A copy: the tick may stop its own timer.
    auto tick = it->second;
    try {
        tick();
    } catch (...) {
    }
}

LRESULT CALLBACK WindowHost::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = qz::MessageWindowOwner<WindowHost>(hwnd);
    if (self && msg == kRunPosted) {
        self->RunPosted();
        return 0;
    }
    if (self && msg == WM_TIMER) {
        self->RunTimer(wParam);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace opcsim
