// The parts of tagsink-run's HTTP endpoint on their own: the --http address, the access token, the event
// queues of slow clients, the metrics text and the status board the engine feeds.
#include "bearer_token.hpp"
#include "engine/runtime/recorder_stats.hpp"
#include "endpoint_address.hpp"
#include "event_hub.hpp"
#include "metrics_text.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "prometheus_text.hpp"
#include "status_board.hpp"
#include "status_json.hpp"
#include "utc_time_text.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace {

using namespace tagsink;
using namespace tagsink::http;
using namespace std::chrono_literals;

// --- the address

struct AddressCase {
    const char* text;
    const char* host;
    int port;
};

class EndpointAddressParse : public ::testing::TestWithParam<AddressCase> {};

TEST_P(EndpointAddressParse, GivesHostAndPort) {
    const auto address = ParseEndpointAddress(GetParam().text);
    EXPECT_EQ(address.host, GetParam().host);
    EXPECT_EQ(address.port, GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(Forms, EndpointAddressParse,
                         ::testing::Values(AddressCase{"127.0.0.1:8090", "127.0.0.1", 8090},
                                           AddressCase{"localhost:1", "localhost", 1},
                                           AddressCase{"[::1]:65535", "::1", 65535},
                                           AddressCase{"0.0.0.0:80", "0.0.0.0", 80}));

TEST(EndpointAddress, RefusesWhatIsNotAddressAndPortWithTheReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"127.0.0.1", "there is no port"}, {"127.0.0.1:0", "1 to 65535"},
        {"127.0.0.1:65536", "1 to 65535"}, {"127.0.0.1:80x", "1 to 65535"},
        {":8090", "the address is empty"}, {"::1:8090", "goes in brackets"},
        {"[::1:8090", "closing bracket"},  {"127.0.0.1:", "1 to 65535"},
    };
    for (const auto& [text, reason] : cases) {
        try {
            ParseEndpointAddress(text);
            ADD_FAILURE() << text << " was taken";
        } catch (const std::invalid_argument& error) {
            EXPECT_NE(std::string(error.what()).find(reason), std::string::npos)
                << text << ": " << error.what();
            EXPECT_NE(std::string(error.what()).find(text), std::string::npos)
                << "the message names the text";
        }
    }
}

TEST(EndpointAddress, LoopbackIsOnlyTheLoopbackNetAndName) {
    for (const char* host : {"127.0.0.1", "127.1.2.3", "::1", "localhost", "LocalHost"})
        EXPECT_TRUE(IsLoopback(host)) << host;
    for (const char* host : {"0.0.0.0", "10.0.0.1", "128.0.0.1", "::", "example.org", "127.0.0",
                             "127.0.0.1.5", "localhost.example.org", "1127.0.0.1"})
        EXPECT_FALSE(IsLoopback(host)) << host;
}

// --- the token

TEST(BearerToken, MatchesOnlyTheExactTokenAfterTheScheme) {
    const std::string token = "0123456789abcdefXYZ";
    EXPECT_TRUE(BearerMatches("Bearer 0123456789abcdefXYZ", token));
    EXPECT_TRUE(BearerMatches("bearer 0123456789abcdefXYZ", token)) << "the scheme is case-insensitive";
    EXPECT_FALSE(BearerMatches("Bearer 0123456789abcdefXY", token)) << "a prefix";
    EXPECT_FALSE(BearerMatches("Bearer 0123456789abcdefXYZ0", token)) << "longer";
    EXPECT_FALSE(BearerMatches("Bearer 0123456789abcdefXYz", token)) << "the last byte differs";
    EXPECT_FALSE(BearerMatches("Basic 0123456789abcdefXYZ", token));
    EXPECT_FALSE(BearerMatches("", token));
    EXPECT_FALSE(BearerMatches("Bearer ", token));
    EXPECT_TRUE(ConstantTimeEquals("", ""));
    EXPECT_FALSE(ConstantTimeEquals("a", ""));
    EXPECT_FALSE(ConstantTimeEquals(std::string("a\0b", 3), std::string("a\0c", 3)));
}

TEST(BearerToken, FileGivesItsFirstLineTrimmedAndRefusesShortTokens) {
    const auto dir = std::filesystem::temp_directory_path() / ("tagsink-token-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "good") << "  s3cret-token-of-24-chars \r\nsecond line\n";
    EXPECT_EQ(ReadTokenFile(dir / "good"), "s3cret-token-of-24-chars");
    std::ofstream(dir / "short") << "abc\n";
    EXPECT_THROW(ReadTokenFile(dir / "short"), std::runtime_error);
    std::ofstream(dir / "empty") << "\n";
    try {
        ReadTokenFile(dir / "empty");
        ADD_FAILURE();
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("no token"), std::string::npos) << error.what();
    }
    EXPECT_THROW(ReadTokenFile(dir / "missing"), std::runtime_error);
    std::filesystem::remove_all(dir);
}

// --- the event queues

TEST(EventHub, AFullQueueDropsItsOldestAndAsksForAResync) {
    EventHub hub(3, 2);
    auto slow = hub.Subscribe();
    auto quick = hub.Subscribe();
    ASSERT_TRUE(slow && quick);
    EXPECT_EQ(hub.Subscribe(), nullptr) << "two clients at most";
    for (int i = 0; i < 5; ++i) {
        hub.Publish(Event{"value", std::to_string(i)});
        if (i == 1) {
            auto got = quick->Next(0ms);
            ASSERT_EQ(got.size(), 2u);
        }
    }
    auto got = slow->Next(0ms);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].type, "resync");
    EXPECT_EQ(got[0].data, "{\"dropped\":2}");
    EXPECT_EQ(got[1].data, "2");
    EXPECT_EQ(got[3].data, "4");
    EXPECT_EQ(slow->Dropped(), 2u);
    auto rest = quick->Next(0ms);
    ASSERT_EQ(rest.size(), 3u) << "the quick client lost nothing";
    EXPECT_EQ(rest[0].data, "2");
    EXPECT_EQ(quick->Dropped(), 0u);
}

TEST(EventHub, CloseWakesAWaitingClientAndRefusesNewOnes) {
    EventHub hub;
    auto client = hub.Subscribe();
    std::thread waiter([&] {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(client->Next(30s).empty());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    });
    std::this_thread::sleep_for(50ms);
    hub.Close();
    waiter.join();
    EXPECT_TRUE(client->Closed());
    EXPECT_EQ(hub.Subscribe(), nullptr);
    EXPECT_FALSE(hub.Listened());
}

TEST(EventHub, UnsubscribedClientsGetNothingAndFreeTheirPlace) {
    EventHub hub(10, 1);
    auto first = hub.Subscribe();
    EXPECT_TRUE(hub.Listened());
    hub.Unsubscribe(first);
    EXPECT_FALSE(hub.Listened());
    hub.Publish(Event{"log", "\"x\""});
    EXPECT_TRUE(first->Next(0ms).empty());
    EXPECT_NE(hub.Subscribe(), nullptr);
}

// --- the board and its views

class BoardTest : public ::testing::Test {
protected:
    BoardTest() {
        TGroup& a = TGroup::Create(root_);
        a.SetName("Fast");
        TItem::Create(a, "Sine", "Sine.Real8", "Sine", TFieldType::ftFloat);
        TItem::Create(a, "Odd", "Odd.Item", "Odd", TFieldType::ftString);
        TGroup& b = TGroup::Create(root_);
        b.SetName("Slow");
        TItem::Create(b, "Ramp", "Ramp.Int4", "Ramp", TFieldType::ftInteger);
        board_ = std::make_unique<StatusBoard>(root_, 3);
        board_->AttachCounters(&stats_, [this] { return queued_; });
    }
    TItem& Item(std::size_t g, std::size_t i) { return root_.Group(g).Item(i); }
    void Update(std::size_t g, std::size_t i, double value, std::uint16_t quality, bool changed = true) {
        TItem& item = Item(g, i);
        item.Value = qz::Variant(value);
        item.Quality = quality;
        item.TimeStamp = 133'000'000'000'000'000ULL; // 2022-06-18 04:26:40 UTC (a FILETIME)
        board_->ItemUpdated(root_.Group(g), item, changed);
    }

    TServer root_;
    RecorderStats stats_;
    std::uint64_t queued_ = 0;
    std::unique_ptr<StatusBoard> board_;
};

TEST_F(BoardTest, ItemsKeepTheirLastChangeAndCountBadUpdates) {
    Update(0, 0, 1.5, 0xC0);
    Update(0, 0, 1.5, 0x18, true);  // bad: comm failure
    Update(0, 0, 1.5, 0x18, false); // the same bad value again: counted, nothing changed
    const auto items = board_->Items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].path, "Manager.Fast.Sine");
    EXPECT_EQ(items[0].item_id, "Sine.Real8");
    EXPECT_EQ(items[0].value, "1.5");
    EXPECT_EQ(items[0].quality, 0x18);
    EXPECT_EQ(items[0].bad_updates, 2u);
    EXPECT_EQ(IsoTextOfFileTime(items[0].time_stamp), "2022-06-18T04:26:40.000Z");
    EXPECT_NE(items[0].changed.time_since_epoch().count(), 0);
    EXPECT_FALSE(items[2].has_value);
    EXPECT_EQ(board_->Items("Slow").size(), 1u);
    EXPECT_EQ(board_->Items("Slow")[0].path, "Manager.Slow.Ramp");
    EXPECT_TRUE(board_->Items("None").empty());
    const std::string json = ItemsJson(board_->Items("Fast"));
    EXPECT_NE(json.find("\"quality_text\":\"Bad (comm failure)\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"time_stamp\":\"2022-06-18T04:26:40.000Z\""), std::string::npos) << json;
}

TEST_F(BoardTest, ValueEventsGoOnlyToListenersAndOnlyForChanges) {
    Update(0, 0, 1.0, 0xC0); // nobody listens yet
    auto client = board_->Events().Subscribe();
    Update(0, 0, 2.0, 0xC0);
    Update(0, 0, 2.0, 0xC0, false);
    board_->SetDbLink(true);
    board_->SetDbLink(true); // unchanged: no second event
    board_->AddLogLine("a line");
    const auto events = client->Next(0ms);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].type, "value");
    EXPECT_NE(events[0].data.find("\"value\":\"2\""), std::string::npos) << events[0].data;
    EXPECT_EQ(events[1].type, "link");
    EXPECT_EQ(events[1].data, "{\"link\":\"db\",\"up\":true}");
    EXPECT_EQ(events[2].type, "log");
    EXPECT_EQ(events[2].data, "\"a line\"");
}

TEST_F(BoardTest, HealthNeedsBothLinksAndNothingLost) {
    EXPECT_FALSE(board_->Status().Healthy());
    board_->SetOpcLink(true);
    EXPECT_FALSE(board_->Status().Healthy());
    board_->SetDbLink(true);
    EXPECT_TRUE(board_->Status().Healthy());
    stats_.lost = 1;
    EXPECT_FALSE(board_->Status().Healthy());
    stats_.NoteFailure("disk full");
    const std::string json = HealthJson(board_->Status());
    EXPECT_NE(json.find("\"status\":\"failing\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"last_error\":\"disk full\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"lost\":1"), std::string::npos) << json;
}

TEST_F(BoardTest, LogTailKeepsTheNewestLines) {
    for (int i = 0; i < 5; ++i)
        board_->AddLogLine("line " + std::to_string(i));
    EXPECT_EQ(board_->LogTail(), (std::vector<std::string>{"line 2", "line 3", "line 4"}));
}

TEST_F(BoardTest, MetricsParseAndCarryTheEngineCountersAndTheBoardsOwn) {
    queued_ = 12;
    stats_.executed = 10;
    stats_.rejected = 1;
    stats_.waiting = 2;
    stats_.journaled = 3;
    board_->SetOpcLink(true);
    board_->RecordBuilt(root_.Group(1));
    board_->RecordBuilt(root_.Group(1));
    Update(0, 1, 7, 0x00);
    const std::string text = MetricsText(board_->Status(), board_->Items(), "1.2.3");
    const auto parsed = tagsink::testing::PrometheusText::Parse(text);
    EXPECT_EQ(parsed.Value("tagsink_statements_queued_total"), 12);
    EXPECT_EQ(parsed.Value("tagsink_statements_executed_total"), 10);
    EXPECT_EQ(parsed.Value("tagsink_statements_quarantined_total"), 1);
    EXPECT_EQ(parsed.Value("tagsink_statements_lost_total"), 0);
    EXPECT_EQ(parsed.Value("tagsink_statements_waiting"), 2);
    EXPECT_EQ(parsed.Value("tagsink_statements_journaled"), 3);
    EXPECT_EQ(parsed.Value("tagsink_link_up{link=\"opc\"}"), 1);
    EXPECT_EQ(parsed.Value("tagsink_link_up{link=\"db\"}"), 0);
    EXPECT_EQ(parsed.Value("tagsink_group_records_total{group=\"Slow\"}"), 2);
    EXPECT_EQ(parsed.Value("tagsink_group_records_total{group=\"Fast\"}"), 0);
    EXPECT_GT(parsed.Value("tagsink_group_last_record_timestamp_seconds{group=\"Slow\"}"), 1.6e9);
    EXPECT_EQ(
        parsed.Value("tagsink_item_bad_quality_updates_total{group=\"Fast\",item=\"Manager.Fast.Odd\"}"), 1)
        << "a bad value counts";
    EXPECT_EQ(parsed.Value("tagsink_build_info{version=\"1.2.3\"}"), 1);
    EXPECT_GT(parsed.Value("tagsink_process_start_time_seconds"), 1.6e9);
    for (const auto& [name, type] : parsed.types) {
        EXPECT_EQ(name.rfind("tagsink_", 0), 0u) << name;
        EXPECT_TRUE(parsed.help.count(name)) << name << " has a HELP line";
        if (type == "counter") {
            EXPECT_TRUE(name.size() > 6 && name.compare(name.size() - 6, 6, "_total") == 0) << name;
        }
    }
}

TEST(MetricsText, LabelValuesAreEscaped) {
    EXPECT_EQ(EscapeLabelValue("a\\b\"c\nd"), "a\\\\b\\\"c\\nd");
}

TEST(PrometheusTextReader, RefusesBrokenText) {
    for (const char* text :
         {"x 1", "1x 2\n", "x{a=\"1} 2\n", "x{a=1} 2\n", "x one\n", "# TYPE x counter\n# TYPE x gauge\n",
          "x 1\n# TYPE x gauge\n", "x 1\ny 1\nx{a=\"b\"} 2\n", "x{a=\"1\",a=\"2\"} 1\n"})
        EXPECT_THROW(tagsink::testing::PrometheusText::Parse(text), std::runtime_error) << text;
    EXPECT_NO_THROW(
        tagsink::testing::PrometheusText::Parse("# HELP x h\n# TYPE x gauge\nx{a=\"\\n\"} +Inf 123\n"));
}

TEST(UtcTimeText, MillisecondsInUtc) {
    EXPECT_EQ(IsoTextOfFileTime(0), "");
    EXPECT_EQ(IsoTextOfFileTime(116'444'736'000'000'000ULL + 12'345'678), "1970-01-01T00:00:01.234Z");
    EXPECT_EQ(IsoText(std::chrono::system_clock::time_point(std::chrono::milliseconds(951'782'400'999))),
              "2000-02-29T00:00:00.999Z");
}

} // namespace
