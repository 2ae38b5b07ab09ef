// Threads: notifications posted from other threads run on the dispatching thread, and an item operation
// from another thread waits for a connection-point batch in progress (the item-list lock).
#include "test_support.hpp"

#include <atomic>
#include <chrono>
#include <thread>

using namespace tagclient::testing;

namespace {

std::atomic<bool> g_inBatch{false};
std::atomic<int64_t> g_batchEnd{0};
std::thread::id g_deliveryThread;

int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void QZDAC_CALL SlowProc(QZDAC_HSESSION, QZDAC_HGROUP, QZDAC_HITEM, VARIANT, FILETIME, uint32_t) {
    g_deliveryThread = std::this_thread::get_id();
    g_inBatch = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    g_batchEnd = NowUs();
}

class Threaded : public ToolkitTest {};

} // namespace

TEST_F(Threaded, ItemOperationFromAnotherThreadWaitsForTheBatch) {
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP g = AddGroup(s);
    QZDAC_HITEM a = QZDAC_AddItem(s, g, "A");
    QZDAC_SetDataChangeProc(s, &SlowProc);
    g_inBatch = false;
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = 1;
    ServerGroup().PostDataChange({a, a, a}, {v, v, v}, {S_OK, S_OK, S_OK});
    std::atomic<int64_t> added{0};
    QZDAC_HITEM other = 0;
    std::thread t([&] {
        while (!g_inBatch)
            std::this_thread::yield();
        other = QZDAC_AddItem(s, g, "B");
        added = NowUs();
    });
    Dispatch();
    t.join();
    EXPECT_NE(other, 0u);
    EXPECT_GE(added.load(), g_batchEnd.load());
    EXPECT_EQ(g_deliveryThread, std::this_thread::get_id());
}

TEST_F(Threaded, CallsPostedFromOtherThreadsRunOnTheDispatchingThread) {
    Connect(); // makes sure the transport (and with it the host) exists
    std::atomic<int> ran{0};
    std::atomic<bool> wrong_thread{false};
    const auto self = std::this_thread::get_id();
    std::vector<std::thread> threads;
    for (int n = 0; n < 4; ++n)
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i)
                W().host->Post([&, self] {
                    if (std::this_thread::get_id() != self)
                        wrong_thread = true;
                    ++ran;
                });
        });
    int dispatched = 0;
    while (ran < 1000 || dispatched < 1000) {
        dispatched += Dispatch();
        std::this_thread::yield();
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(ran.load(), 1000);
    EXPECT_FALSE(wrong_thread);
}
