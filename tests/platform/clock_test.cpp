// The one clock contract: the system's clock and the fake that tests move themselves.
#include "platform/clock.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(Clock, SystemClockIsTheTickCountAndNeverGoesBack) {
    const qz::Clock& clock = qz::SystemClock::Instance();
    EXPECT_EQ(&qz::SystemClock::Instance(), &qz::SystemClock::Instance());
    const std::uint64_t before = qz::TickCount64();
    const std::uint64_t now = clock.NowMs();
    const std::uint64_t after = qz::TickCount64();
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
    std::uint64_t last = clock.NowMs();
    for (int i = 0; i < 1000; ++i) {
        const std::uint64_t next = clock.NowMs();
        ASSERT_GE(next, last);
        last = next;
    }
}

TEST(Clock, ManualClockMovesOnlyWhenTold) {
    qz::ManualClock clock(1000);
    EXPECT_EQ(clock.NowMs(), 1000u);
    EXPECT_EQ(clock.NowMs(), 1000u);
    clock.Advance(250);
    EXPECT_EQ(clock.NowMs(), 1250u);
    clock.Set(7);
    EXPECT_EQ(clock.NowMs(), 7u);
}

TEST(Clock, TickCountIsTheLow32BitsAndWraps) {
    qz::ManualClock clock(0xFFFFFFF0u);
    EXPECT_EQ(clock.TickCount(), 0xFFFFFFF0u);
    clock.Advance(0x20);
    EXPECT_EQ(clock.NowMs(), 0x100000010u);
    EXPECT_EQ(clock.TickCount(), 0x10u) << "the 32-bit count wraps as GetTickCount does";
}

TEST(Clock, ManualClockIsSafeAcrossThreads) {
    qz::ManualClock clock;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i)
                clock.Advance(1);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(clock.NowMs(), 40000u);
}

} // namespace
