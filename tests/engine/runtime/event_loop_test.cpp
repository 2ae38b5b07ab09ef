#include "engine/runtime/plain_event_loop.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <thread>

namespace tagsink {
namespace {

using namespace std::chrono_literals;

TEST(PlainEventLoop, RunsPostedCallsInOrderFromAnyThread) {
    PlainEventLoop loop;
    std::vector<int> seen;
    std::thread poster([&] {
        loop.Post([&] { seen.push_back(1); });
        loop.Post([&] { seen.push_back(2); });
        loop.Post([&] { loop.Quit(); });
    });
    loop.Run();
    poster.join();
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST(PlainEventLoop, TimersDoNotAccumulateWhileTheThreadIsBusy) {
    ManualClock clock(1000);
    PlainEventLoop loop(clock);
    int ticks = 0;
    auto timer = loop.StartTimer(100ms, [&] { ++ticks; });
    loop.ProcessEvents(0ms);
    EXPECT_EQ(ticks, 0);
    clock.Advance(100);
    loop.ProcessEvents(0ms);
    EXPECT_EQ(ticks, 1);
    clock.Advance(1000); // ten periods pass while the thread is busy elsewhere
    loop.ProcessEvents(0ms);
    loop.ProcessEvents(0ms);
    EXPECT_EQ(ticks, 2) << "missed ticks are dropped, not delivered in a burst";
    clock.Advance(99);
    loop.ProcessEvents(0ms);
    EXPECT_EQ(ticks, 2) << "the next period starts when the tick ran";
    clock.Advance(1);
    loop.ProcessEvents(0ms);
    EXPECT_EQ(ticks, 3);
}

TEST(PlainEventLoop, DestroyedTimerNeverTicksAgainEvenFromItsOwnTick) {
    ManualClock clock;
    PlainEventLoop loop(clock);
    int ticks = 0;
    std::unique_ptr<LoopHandle> timer;
    timer = loop.StartTimer(0ms, [&] {
        ++ticks;
        timer.reset();
    });
    EXPECT_EQ(loop.TimerCount(), 1u);
    clock.Advance(kShortestTimerPeriod.count() - 1);
    loop.ProcessEvents(0ms);
    EXPECT_EQ(ticks, 0) << "period 0 means the shortest period";
    clock.Advance(1);
    loop.ProcessEvents(0ms);
    clock.Advance(100);
    loop.ProcessEvents(0ms);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(loop.TimerCount(), 0u);
}

TEST(PlainEventLoop, WatchRunsWhenTheDescriptorIsReadable) {
    PlainEventLoop loop;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int ready = 0;
    auto watch = loop.WatchReadable(fds[0], [&] {
        char byte;
        ASSERT_EQ(read(fds[0], &byte, 1), 1);
        ++ready;
    });
    loop.ProcessEvents(0ms);
    EXPECT_EQ(ready, 0);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    loop.ProcessEvents(1000ms);
    EXPECT_EQ(ready, 1);
    watch.reset();
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    loop.ProcessEvents(0ms);
    EXPECT_EQ(ready, 1);
    close(fds[0]);
    close(fds[1]);
}

TEST(PlainEventLoop, WaitsForTheNextTimerOnTheSystemClock) {
    PlainEventLoop loop;
    int ticks = 0;
    auto timer = loop.StartTimer(20ms, [&] {
        ++ticks;
        loop.Quit();
    });
    auto start = std::chrono::steady_clock::now();
    loop.Run();
    EXPECT_EQ(ticks, 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 15ms);
}

} // namespace
} // namespace tagsink
