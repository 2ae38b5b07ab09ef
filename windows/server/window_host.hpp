// WindowHost: the Host of the simulated servers inside the COM test server. Posted calls and timers run
// on the thread that created it, from its message loop: a message-only window receives one message per
// batch of posted calls and WM_TIMER for every timer.
#pragma once
#include <transport/transport.hpp>

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace opcsim {

class WindowHost final : public tagclient::transport::Host {
public:
    WindowHost();
    ~WindowHost() override;
    WindowHost(const WindowHost&) = delete;
    WindowHost& operator=(const WindowHost&) = delete;

    void Post(std::function<void()> call) override;
    TimerId StartTimer(std::uint32_t interval_ms, std::function<void()> tick) override;
    void StopTimer(TimerId id) override;
    std::uint64_t NowMs() override;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void RunPosted();
    void RunTimer(UINT_PTR id);

    HWND window_ = nullptr;
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
    bool signalled_ = false;
    std::map<TimerId, std::function<void()>> timers_;
    TimerId next_timer_ = 1;
};

} // namespace opcsim
