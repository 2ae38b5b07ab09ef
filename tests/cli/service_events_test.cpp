// The service's event-log entries worked out from the recorder's state, with a clock the test moves: links
// lost and restored at most once per link per minute, counts of quarantined and lost statements.
#include "service_events.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tagsink::service::EventId;
using tagsink::service::EventLevel;
using tagsink::service::RecorderSample;
using tagsink::service::ServiceEvent;
using tagsink::service::ServiceEvents;

constexpr std::uint64_t kSecond = 1000;

RecorderSample Up() {
    RecorderSample s;
    s.opc_up = true;
    s.db_up = true;
    return s;
}

RecorderSample DbDown() {
    RecorderSample s = Up();
    s.db_up = false;
    return s;
}

// Samples every 2 s from the clock's time until `until_s`, collecting every event.
std::vector<ServiceEvent> SampleUntil(ServiceEvents& events, qz::ManualClock& clock, std::uint64_t until_s,
                                      const RecorderSample& sample) {
    std::vector<ServiceEvent> all;
    while (clock.NowMs() < until_s * kSecond) {
        clock.Advance(2 * kSecond);
        for (auto& e : events.Update(sample))
            all.push_back(std::move(e));
    }
    return all;
}

TEST(ServiceEventLinks, NoEventsWhileBothLinksStayUp) {
    qz::ManualClock clock;
    ServiceEvents events(clock);
    EXPECT_TRUE(events.Update(Up()).empty());
    EXPECT_TRUE(SampleUntil(events, clock, 600, Up()).empty());
}

TEST(ServiceEventLinks, ALossIsToldAtOnceAndTheReturnOnceAMinuteHasPassed) {
    qz::ManualClock clock;
    ServiceEvents events(clock);
    ASSERT_TRUE(SampleUntil(events, clock, 10, Up()).empty());
    auto out = events.Update(DbDown());
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].id, EventId::kLinkLost);
    EXPECT_EQ(out[0].level, EventLevel::kWarning);
    EXPECT_EQ(out[0].text, "The database link was lost.");
    // Back after 20 s: the minute since the loss's event has not passed yet.
    clock.Advance(20 * kSecond);
    EXPECT_TRUE(events.Update(Up()).empty());
    out = SampleUntil(events, clock, 80, Up());
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].id, EventId::kLinkRestored);
    EXPECT_EQ(out[0].level, EventLevel::kInformation);
    EXPECT_EQ(out[0].text, "The database link is up again.");
    EXPECT_GE(clock.NowMs(), 70 * kSecond) << "one minute after the loss's event, not before";
}

TEST(ServiceEventLinks, AFlappingLinkWritesAtMostOneEventAMinuteAndCountsTheChanges) {
    qz::ManualClock clock;
    ServiceEvents events(clock);
    events.Update(Up());
    std::vector<ServiceEvent> all;
    // Lost and back every 4 s for five minutes.
    for (int i = 0; i < 75; ++i) {
        clock.Advance(2 * kSecond);
        for (auto& e : events.Update(i % 2 == 0 ? DbDown() : Up()))
            all.push_back(e);
        clock.Advance(2 * kSecond);
        for (auto& e : events.Update(i % 2 == 0 ? DbDown() : Up()))
            all.push_back(e);
    }
    EXPECT_GE(all.size(), 3u);
    EXPECT_LE(all.size(), 6u) << "five minutes: at most one event a minute";
    for (std::size_t i = 1; i < all.size(); ++i)
        EXPECT_NE(all[i].id, all[i - 1].id) << "events alternate: each tells a change of the told state";
    bool counted = false;
    for (const auto& e : all)
        counted = counted || e.text.find("times since the last event") != std::string::npos;
    EXPECT_TRUE(counted) << "a later event says how often the link changed meanwhile";
}

TEST(ServiceEventLinks, AChangeUndoneWithinTheMinuteIsNotToldLater) {
    qz::ManualClock clock;
    ServiceEvents events(clock);
    events.Update(Up());
    clock.Advance(10 * kSecond);
    ASSERT_EQ(events.Update(DbDown()).size(), 1u);
    clock.Advance(2 * kSecond);
    EXPECT_TRUE(events.Update(Up()).empty());
    clock.Advance(2 * kSecond);
    EXPECT_TRUE(events.Update(DbDown()).empty());
    EXPECT_TRUE(SampleUntil(events, clock, 300, DbDown()).empty()) << "still lost: the told state holds";
}

TEST(ServiceEventLinks, ALinkThatNeverComesUpIsToldAfterAMinute) {
    qz::ManualClock clock;
    ServiceEvents events(clock);
    RecorderSample none; // neither link up yet
    EXPECT_TRUE(events.Update(none).empty()) << "connecting takes a moment at the start";
    RecorderSample opc_only = none;
    opc_only.opc_up = true;
    auto out = SampleUntil(events, clock, 58, opc_only);
    EXPECT_TRUE(out.empty());
    out = SampleUntil(events, clock, 62, opc_only);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].id, EventId::kLinkLost);
    EXPECT_EQ(out[0].text, "The database link has not come up since the start.");
}

TEST(ServiceEventLinks, EachLinkHasItsOwnMinute) {
    qz::ManualClock clock;
    ServiceEvents events(clock);
    events.Update(Up());
    clock.Advance(10 * kSecond);
    ASSERT_EQ(events.Update(DbDown()).size(), 1u);
    clock.Advance(2 * kSecond);
    RecorderSample both = DbDown();
    both.opc_up = false;
    auto out = events.Update(both);
    ASSERT_EQ(out.size(), 1u) << "the OPC link's loss is not held back by the database's event";
    EXPECT_EQ(out[0].text, "The OPC link was lost.");
}

TEST(ServiceEventCounts, QuarantinedAndLostStatementsWithTheirCounts) {
    qz::ManualClock clock;
    ServiceEvents events(clock);
    events.Update(Up());
    RecorderSample s = Up();
    s.quarantined = 5;
    clock.Advance(2 * kSecond);
    auto out = events.Update(s);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].id, EventId::kStatementsQuarantined);
    EXPECT_EQ(out[0].level, EventLevel::kWarning);
    EXPECT_EQ(out[0].text, "5 statements were refused by the database and moved to \"sql.rejected\" (5 since "
                           "the start).");
    s.quarantined = 7;
    s.lost = 3;
    clock.Advance(2 * kSecond);
    out = events.Update(s);
    ASSERT_EQ(out.size(), 1u) << "the lost statements at once; the 2 more quarantined wait for the minute";
    EXPECT_EQ(out[0].id, EventId::kStatementsLost);
    EXPECT_EQ(out[0].level, EventLevel::kError);
    EXPECT_EQ(
        out[0].text,
        "3 statements were lost: neither the database nor \"sql.dat\" could take them (3 since the start).");
    out = SampleUntil(events, clock, 70, s);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].text, "2 statements were refused by the database and moved to \"sql.rejected\" (7 since "
                           "the start).");
    EXPECT_TRUE(SampleUntil(events, clock, 300, s).empty()) << "no growth, no event";
}

} // namespace
