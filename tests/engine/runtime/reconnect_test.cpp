// The engine heals its OPC link: after a shutdown request, a server that vanished, or a server missing at
// Run, it stops, tries Run again at doubling intervals and records again, without losing what was queued.
// The simulated servers are made to vanish through their control file (TAGCLIENT_SIM_CONTROL), which this
// test binary points at a file of its own before the toolkit starts.
#include "engine_fixture.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "platform/variant.hpp"
#include "tagclient.h"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tagsink {
namespace {

using namespace std::chrono_literals;
using tagsink::db::testing::TempDir;
using tagsink::testing::EngineFixture;

std::filesystem::path& ControlFile() {
    static std::filesystem::path path;
    return path;
}

// The control file is named before any thread starts and before the toolkit is initialised.
class ControlledToolkit : public ::testing::Environment {
public:
    void SetUp() override {
        ControlFile() = dir_.path() / "sim-control";
        ASSERT_EQ(::setenv("TAGCLIENT_SIM_CONTROL", ControlFile().c_str(), 1), 0);
        ASSERT_EQ(QZDAC_Init(), QZDAC_TRUE);
    }
    void TearDown() override { QZDAC_Uninit(); }

private:
    TempDir dir_;
};
const auto* const kToolkit = ::testing::AddGlobalTestEnvironment(new ControlledToolkit);

// Writes the control file through a rename, as an outside process would replace it.
void SetServers(const std::string& text) {
    const std::filesystem::path next = ControlFile().string() + ".new";
    {
        std::ofstream out(next, std::ios::binary | std::ios::trunc);
        out << text << "\n";
    }
    std::filesystem::rename(next, ControlFile());
}

class ReconnectTest : public EngineFixture {
protected:
    ReconnectTest() {
        SetServers("up");
        options_.reconnect.status_poll = 50ms;
        options_.reconnect.first_delay = 40ms;
        options_.reconnect.longest_delay = 320ms;

        // One row per change of a fast counter; the control item asks the server for its shutdown.
        changes_ = &TGroup::Create(*server_);
        changes_->SetName("Changes");
        changes_->SetTableName("T");
        changes_->SetTrigType(TTrigType::ttDataChange);
        changes_->SetKeyField("Tag");
        changes_->SetKeyFieldType(TFieldType::ftString);
        changes_->SetUpdateRate(50);
        counter_ = &TItem::Create(*changes_, "Counter", "Counter.Int4@50", "V", TFieldType::ftInteger, "c");
        control_ = &TItem::Create(*changes_, "Shutdown", "Control.Shutdown", "", TFieldType::ftString);
    }
    ~ReconnectTest() override {
        engine_.reset();
        events_.reset();
        SetServers("up");
    }

    // Statements that reached the database.
    std::size_t Executed() { return fake_->Executed().size(); }

    TGroup* changes_ = nullptr;
    TItem* counter_ = nullptr;
    TItem* control_ = nullptr;
};

TEST_F(ReconnectTest, ReconnectsAfterAShutdownRequestAndRecordsAgain) {
    Engine& e = MakeEngine();
    e.Run();
    ASSERT_TRUE(e.Running());
    ASSERT_TRUE(Pump([&] { return Executed() >= 3; })) << "the counter is recorded";

    qz::Variant reason("maintenance");
    ASSERT_EQ(QZDAC_WriteItem(server_->SessionHandle, changes_->GroupHandle, control_->ItemHandle,
                              reason.get(), QZDAC_FALSE),
              QZDAC_TRUE);
    ASSERT_TRUE(Pump([&] { return !e.Running(); })) << "the shutdown request stops the engine";
    EXPECT_TRUE(e.Reconnecting());
    EXPECT_EQ(reporter_.Opc(), "OPC Disconnected");

    ASSERT_TRUE(Pump([&] { return e.Running(); })) << "it connects again by itself";
    EXPECT_EQ(e.Reconnections(), 1u);
    EXPECT_EQ(e.ReconnectAttempts(), 0u);
    EXPECT_FALSE(e.Reconnecting());
    EXPECT_TRUE(e.OpcLinkUp());
    EXPECT_EQ(reporter_.Opc(), "OPC Connected");
    EXPECT_NE(server_->SessionHandle, 0u);
    EXPECT_NE(changes_->GroupHandle, 0u) << "the group is created again";
    EXPECT_NE(counter_->ItemHandle, 0u) << "and its items";

    const std::size_t before = Executed();
    ASSERT_TRUE(Pump([&] { return Executed() >= before + 3; })) << "rows are written again after healing";

    auto lost = reporter_.Texts("TServer.Reconnect");
    ASSERT_EQ(lost.size(), 1u) << "one line for the loss";
    EXPECT_NE(lost[0].find("OPCServer.Connected=False (shutdown request)"), std::string::npos) << lost[0];
    EXPECT_EQ(reporter_.Texts("Run"),
              (std::vector<std::string>{"OPCServer.Connected=true", "OPCServer.Connected=true"}))
        << "one line when the link came back";
}

TEST_F(ReconnectTest, ReconnectsAfterTheServerVanishedWithGrowingWaits) {
    Engine& e = MakeEngine();
    e.Run();
    ASSERT_TRUE(e.Running());
    ASSERT_TRUE(Pump([&] { return Executed() >= 2; }));

    SetServers("down");
    ASSERT_TRUE(Pump([&] { return !e.Running(); }, 3s)) << "the status poll notices the vanished server";
    EXPECT_EQ(server_->SessionHandle, 0u);
    EXPECT_TRUE(Pump([&] { return server_->RecordThread == nullptr; }, 5s))
        << "the record thread ends while the loop goes on";
    auto lost = reporter_.Texts("TServer.Reconnect");
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_NE(lost[0].find("does not answer"), std::string::npos) << lost[0];

    // While the server stays away, each refused attempt doubles the wait, up to the longest.
    std::vector<long long> waits{e.ReconnectDelay().count()};
    for (unsigned attempt = 1; attempt <= 5; ++attempt) {
        ASSERT_TRUE(Pump([&] { return e.ReconnectAttempts() >= attempt; }, 3s)) << attempt;
        waits.push_back(e.ReconnectDelay().count());
        EXPECT_TRUE(e.Reconnecting());
        EXPECT_FALSE(e.OpcLinkUp());
    }
    EXPECT_EQ(waits, (std::vector<long long>{40, 80, 160, 320, 320, 320}));
    EXPECT_EQ(reporter_.Texts("TServer.Reconnect").size(), 1u) << "refused attempts log nothing more";
    EXPECT_EQ(reporter_.Texts("Run"), (std::vector<std::string>{"OPCServer.Connected=true"}));

    const std::uint64_t queued_while_down = e.QueuedCount();
    SetServers("up");
    ASSERT_TRUE(Pump([&] { return e.Running(); }, 3s));
    EXPECT_EQ(e.Reconnections(), 1u);
    EXPECT_EQ(e.ReconnectDelay(), 40ms) << "the next loss starts with the first wait again";
    ASSERT_TRUE(Pump([&] { return e.QueuedCount() >= queued_while_down + 3; })) << "data flows again";

    e.Stop();
    EXPECT_EQ(Executed(), e.QueuedCount()) << "nothing queued was lost across the outage";
}

TEST_F(ReconnectTest, ReconnectsWhenTheServerWasMissingAtRun) {
    SetServers("down");
    Engine& e = MakeEngine();
    e.Run();
    EXPECT_FALSE(e.Running());
    EXPECT_TRUE(e.Reconnecting());
    EXPECT_EQ(reporter_.Texts("Run"), (std::vector<std::string>{"OPCServer.Connected=False"}));
    ASSERT_TRUE(Pump([&] { return e.ReconnectAttempts() >= 2; }, 3s));
    EXPECT_EQ(reporter_.Texts("Run").size(), 1u) << "refused attempts are not logged again";

    SetServers("up");
    ASSERT_TRUE(Pump([&] { return e.Running(); }, 3s));
    EXPECT_EQ(reporter_.Texts("Run"),
              (std::vector<std::string>{"OPCServer.Connected=False", "OPCServer.Connected=true"}));
    EXPECT_EQ(reporter_.Opc(), "OPC Connected");
    ASSERT_TRUE(Pump([&] { return Executed() >= 2; })) << "rows are written once the server is there";
    EXPECT_TRUE(reporter_.Texts("TServer.Reconnect").empty()) << "no link was lost";
}

TEST_F(ReconnectTest, ReconnectAttemptsEndWithStop) {
    SetServers("down");
    Engine& e = MakeEngine();
    e.Run();
    ASSERT_TRUE(e.Reconnecting());
    ASSERT_TRUE(Pump([&] { return e.ReconnectAttempts() >= 1; }, 3s));
    e.Stop(); // the return to Edit mode
    EXPECT_FALSE(e.Reconnecting());
    EXPECT_EQ(e.ReconnectAttempts(), 0u);
    SetServers("up");
    PumpFor(300ms);
    EXPECT_FALSE(e.Running()) << "no attempt after Stop";
    EXPECT_EQ(server_->SessionHandle, 0u);

    // A shutdown request after Stop and a new Run heals as before: Stop ended only the attempts.
    e.Run();
    ASSERT_TRUE(e.Running());
    e.Stop();
    PumpFor(200ms);
    EXPECT_FALSE(e.Running());
}

TEST_F(ReconnectTest, ReconnectKeepsStatementsQueuedBeforeTheLoss) {
    // Statements wait in PendingList until the buffer limits move them: a loss must not drop them.
    HoldStatements();
    Engine& e = MakeEngine();
    e.Run();
    ASSERT_TRUE(e.Running());
    ASSERT_TRUE(Pump([&] { return e.QueuedCount() >= 4; }));
    EXPECT_EQ(Executed(), 0u) << "held back by the buffer limits";

    SetServers("down");
    ASSERT_TRUE(Pump([&] { return !e.Running(); }, 3s));
    ASSERT_TRUE(Pump([&] { return !e.Stopping(); }, 5s))
        << "the record thread finishes while the loop goes on";
    const std::uint64_t queued = e.QueuedCount();
    EXPECT_EQ(Executed(), queued) << "the stop executed every statement queued before the loss";

    SetServers("up");
    ASSERT_TRUE(Pump([&] { return e.Running(); }, 3s));
    ASSERT_TRUE(Pump([&] { return e.QueuedCount() >= queued + 2; }));
    e.Stop();
    EXPECT_EQ(Executed(), e.QueuedCount());
}

TEST_F(ReconnectTest, ReconnectIsNotNeededWhileTheServerAnswers) {
    Engine& e = MakeEngine();
    e.Run();
    ASSERT_TRUE(e.Running());
    PumpFor(400ms); // eight status polls
    EXPECT_TRUE(e.Running());
    EXPECT_FALSE(e.Reconnecting());
    EXPECT_TRUE(reporter_.Texts("TServer.Reconnect").empty());
    EXPECT_EQ(reporter_.Texts("Run").size(), 1u);
}

// The control file itself, through the C API alone.
class SimControlTest : public ::testing::Test {
protected:
    SimControlTest() { SetServers("up"); }
    ~SimControlTest() override { SetServers("up"); }
};

bool StatusAnswers(QZDAC_HSESSION session) {
    FILETIME a{}, b{}, c{};
    std::uint16_t state = 0, major = 0, minor = 0, build = 0;
    std::uint32_t band = 0, groups = 0;
    char vendor[64];
    return QZDAC_GetServerStatus(session, &a, &b, &c, &state, &band, &groups, &major, &minor, &build, vendor,
                                 sizeof vendor - 1) != QZDAC_FALSE; // room for the NUL
}

TEST_F(SimControlTest, VanishedServerRefusesConnectsAndFailsLiveSessionsForGood) {
    QZDAC_HSESSION live = QZDAC_Connect("", "Tagsink.SimServer.DA2", 2);
    ASSERT_NE(live, 0u);
    ASSERT_TRUE(StatusAnswers(live));
    QZDAC_HGROUP group = QZDAC_AddGroup(live, "G", QZDAC_TRUE, 100, 0, 0.0f, 0);
    ASSERT_NE(group, 0u);

    SetServers("# an outage rehearsal\ndown");
    EXPECT_FALSE(StatusAnswers(live)) << "the live session's status fails";
    EXPECT_EQ(QZDAC_AddItem(live, group, "Memory.Int4"), 0u) << "and so does every other call";
    EXPECT_EQ(QZDAC_Connect("", "Tagsink.SimServer.DA2", 2), 0u) << "connects fail while it is down";
    EXPECT_EQ(QZDAC_Connect("", "Tagsink.SimServer.Minimal", 2), 0u);

    SetServers("up");
    EXPECT_FALSE(StatusAnswers(live)) << "the old instance stays dead, as a process that ended";
    QZDAC_HSESSION fresh = QZDAC_Connect("", "Tagsink.SimServer.DA2", 2);
    ASSERT_NE(fresh, 0u);
    EXPECT_TRUE(StatusAnswers(fresh));
    EXPECT_EQ(QZDAC_Disconnect(live), QZDAC_TRUE) << "a dead session can still be closed";
    EXPECT_EQ(QZDAC_Disconnect(fresh), QZDAC_TRUE);
}

int shutdowns = 0;
extern "C" int32_t QZDAC_CALL CountShutdown(QZDAC_HSESSION) {
    ++shutdowns;
    return 0;
}

TEST_F(SimControlTest, ShutdownWordAsksEachExistingInstanceOnce) {
    PlainEventLoop loop;
    auto events = WatchToolkitEvents(loop);
    auto pump = [&](std::chrono::milliseconds span) {
        auto until = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < until)
            loop.ProcessEvents(5ms);
    };
    shutdowns = 0;
    QZDAC_HSESSION session = QZDAC_Connect("", "Tagsink.SimServer.DA2", 2);
    ASSERT_NE(session, 0u);
    ASSERT_EQ(QZDAC_SetShutdownProc(session, &CountShutdown), QZDAC_TRUE);

    SetServers("shutdown planned maintenance");
    pump(700ms);
    EXPECT_EQ(shutdowns, 1) << "one request per written text, not one per look at the file";
    // The toolkit takes a shutdown request as the end of the link: the session no longer calls its server.
    EXPECT_FALSE(StatusAnswers(session)) << "a session whose server asked to let go is lost";

    QZDAC_HSESSION later = QZDAC_Connect("", "Tagsink.SimServer.DA2", 2);
    ASSERT_NE(later, 0u);
    ASSERT_EQ(QZDAC_SetShutdownProc(later, &CountShutdown), QZDAC_TRUE);
    pump(400ms);
    EXPECT_EQ(shutdowns, 1) << "an instance created after the text was written is not asked";

    SetServers("shutdown again");
    pump(700ms);
    EXPECT_EQ(shutdowns, 3) << "a new text asks both";
    QZDAC_Disconnect(later);
    QZDAC_Disconnect(session);
}

} // namespace
} // namespace tagsink
