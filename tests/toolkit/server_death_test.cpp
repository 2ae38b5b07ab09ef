// The COM test server as a local server program (opcsim.exe) is killed while the client only dispatches
// events, between two calls, and in the middle of a call: the client lives on, the exports return their
// failure values with reports, and once COM starts the server again a new connection works.
// Windows only, and only meaningful with opcsim.exe registered as the local server (scripts/test.d/windows.sh
// runs it in its out-of-process stage); with the servers in-process the cases are skipped.
#include "sim_support.hpp"

#include <windows.h>

#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace tagclient::testing;

namespace {

class ServerDeath : public SimTest {
protected:
    void ExpectANewConnectionWorks();
};

// The processes of the COM test server.
std::vector<DWORD> ServerProcesses() {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry))
        if (lstrcmpiW(entry.szExeFile, L"opcsim.exe") == 0)
            ids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

// Ends every process of the COM test server, as a crash would; the number ended.
int KillServer() {
    int killed = 0;
    for (DWORD id : ServerProcesses()) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process)
            continue;
        if (TerminateProcess(process, 9)) {
            WaitForSingleObject(process, 10000);
            ++killed;
        }
        CloseHandle(process);
    }
    return killed;
}

bool Status(QZDAC_HSESSION s) {
    return QZDAC_GetServerStatus(s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, 0) == QZDAC_TRUE;
}

bool ReportMentions(const std::string& source, const std::string& text) {
    for (auto& r : Reports())
        if (r.source == source && r.message.find(text) != std::string::npos)
            return true;
    return false;
}

// Prints the reports so far (the Windows stage shows them in its log).
void ShowReports(const char* when) {
    for (auto& r : Reports())
        std::printf("(%s: report %s: %s)\n", when, r.source.c_str(), r.message.c_str());
}

// Whether a report of source gives an OLE error code and the system's text for it.
bool ReportsOleError(const std::string& source, const std::string& code) {
    const std::string head = "OLE error " + code + ": ";
    for (auto& r : Reports()) {
        const size_t at = r.message.find(head);
        if (r.source == source && at != std::string::npos && r.message.size() > at + head.size() + 3)
            return true;
    }
    return false;
}

std::atomic<int> g_changes{0};
void QZDAC_CALL CountChange(QZDAC_HSESSION, QZDAC_HGROUP, QZDAC_HITEM, VARIANT, FILETIME, uint32_t) {
    ++g_changes;
}

// A session with a group and a memory item; skips the test when the server does not run as its own
// process.
struct Link {
    QZDAC_HSESSION session = 0;
    QZDAC_HGROUP group = 0;
    QZDAC_HITEM item = 0;
};
Link Open() {
    Link l;
    l.session = QZDAC_Connect("", kDA2, 2);
    l.group = QZDAC_AddGroup(l.session, "work", QZDAC_TRUE, 100, 0, 0, 0);
    l.item = QZDAC_AddItem(l.session, l.group, "Memory.Int4");
    return l;
}

// After the server died: a new connection (COM starts the server again) reads, writes and receives data
// changes. Connects as a recorder that heals would, again after a failed attempt, but one attempt must do:
// Wine 8's COM service keeps the class registration of a killed local server and hands it to the next
// activation, which fails at once; the COM test server registers for one activation at a time, so the stale
// registration is gone after that, and the library tries such an activation once more itself.
void ServerDeath::ExpectANewConnectionWorks() {
    Link l;
    int attempts = 0;
    const DWORD start = GetTickCount();
    while (attempts < 4 && !l.item) {
        ++attempts;
        Reports().clear();
        l = Open();
        if (!l.item && l.session) {
            QZDAC_Disconnect(l.session);
            l = Link{};
        }
        if (!l.item) {
            EXPECT_FALSE(Reports().empty()) << "a failed connection attempt gives a report";
            for (auto& r : Reports())
                std::printf("(attempt %d failed: %s: %s)\n", attempts, r.source.c_str(), r.message.c_str());
        }
    }
    std::printf("(connected again after %d attempt(s), %lu ms)\n", attempts,
                static_cast<unsigned long>(GetTickCount() - start));
    ASSERT_NE(l.session, 0u);
    ASSERT_NE(l.item, 0u);
    EXPECT_EQ(attempts, 1); // the library itself tries a stale class registration once more
    EXPECT_FALSE(ServerProcesses().empty()) << "COM started the server again";
    EXPECT_TRUE(Status(l.session));
    VARIANT v{};
    v.vt = VT_I4;
    v.lVal = 42;
    EXPECT_EQ(QZDAC_WriteItem(l.session, l.group, l.item, v, QZDAC_FALSE), QZDAC_TRUE);
    VARIANT read{};
    EXPECT_EQ(QZDAC_ReadItem(l.session, l.group, l.item, &read, nullptr, nullptr), QZDAC_TRUE);
    EXPECT_EQ(read.vt, VT_I4);
    EXPECT_EQ(read.lVal, 42);
    VariantClear(&read);
    // Data changes arrive again on the new session.
    g_changes = 0;
    QZDAC_SetDataChangeProc(l.session, &CountChange);
    EXPECT_NE(QZDAC_AddItem(l.session, l.group, "Counter.Int4@100"), 0u);
    EXPECT_TRUE(PumpUntil([] { return g_changes >= 3; }, 5000)) << g_changes << " data changes";
    EXPECT_EQ(QZDAC_Disconnect(l.session), QZDAC_TRUE);
}

} // namespace

TEST_F(ServerDeath, KilledWhileTheClientOnlyDispatchesEvents) {
    Link l = Open();
    ASSERT_NE(l.item, 0u);
    if (ServerProcesses().empty())
        GTEST_SKIP() << "the COM test server runs in-process";
    g_changes = 0;
    QZDAC_SetDataChangeProc(l.session, &CountChange);
    ASSERT_NE(QZDAC_AddItem(l.session, l.group, "Counter.Int4@100"), 0u);
    ASSERT_TRUE(PumpUntil([] { return g_changes > 0; }, 5000));
    ASSERT_GE(KillServer(), 1);
    // Only the message loop runs: the keep-alive poll (every 5 s) finds the server gone.
    Pump(7000);
    Reports().clear();
    EXPECT_FALSE(Status(l.session));
    EXPECT_TRUE(ReportMentions("QZDAC_GetServerStatus", "lost"))
        << (Reports().empty() ? "" : Reports()[0].message);
    EXPECT_TRUE(ReportsOleError("QZDAC_GetServerStatus", "800706BA")); // what the keep-alive poll got
    EXPECT_EQ(QZDAC_ReadItem(l.session, l.group, l.item, nullptr, nullptr, nullptr), QZDAC_FALSE);
    EXPECT_TRUE(HasReport("QZDAC_ReadItem"));
    ShowReports("killed while the client only dispatched events");
    EXPECT_EQ(QZDAC_Disconnect(l.session), QZDAC_TRUE);
    ExpectANewConnectionWorks();
}

TEST_F(ServerDeath, KilledBetweenTwoCalls) {
    Link l = Open();
    ASSERT_NE(l.item, 0u);
    if (ServerProcesses().empty())
        GTEST_SKIP() << "the COM test server runs in-process";
    EXPECT_EQ(QZDAC_ReadItem(l.session, l.group, l.item, nullptr, nullptr, nullptr), QZDAC_TRUE);
    ASSERT_GE(KillServer(), 1);
    Reports().clear();
    EXPECT_EQ(QZDAC_ReadItem(l.session, l.group, l.item, nullptr, nullptr, nullptr), QZDAC_FALSE);
    EXPECT_TRUE(HasReport("TGroup.ReadItem"));
    ShowReports("killed between two calls");
    EXPECT_TRUE(ReportsOleError("TGroup.ReadItem", "800706BA"));
    EXPECT_FALSE(Status(l.session)); // the status poll finds the link lost ...
    EXPECT_FALSE(Status(l.session)); // ... and from then on the session fails at once
    EXPECT_TRUE(ReportMentions("QZDAC_GetServerStatus", "lost"));
    EXPECT_EQ(QZDAC_AddGroup(l.session, "more", QZDAC_TRUE, 100, 0, 0, 0), 0u);
    EXPECT_EQ(QZDAC_Disconnect(l.session), QZDAC_TRUE);
    ExpectANewConnectionWorks();
}

TEST_F(ServerDeath, KilledInsideACall) {
    Link l = Open();
    ASSERT_NE(l.item, 0u);
    if (ServerProcesses().empty())
        GTEST_SKIP() << "the COM test server runs in-process";
    // The server's next Read takes 20 s; it is killed 1 s into it.
    ASSERT_TRUE(ControlText(l.session, "Control.FailNext", u"Read=slow:20000"));
    std::thread killer([] {
        Sleep(1000);
        KillServer();
    });
    Reports().clear();
    const DWORD start = GetTickCount();
    EXPECT_EQ(QZDAC_ReadItem(l.session, l.group, l.item, nullptr, nullptr, nullptr), QZDAC_FALSE);
    const DWORD took = GetTickCount() - start;
    killer.join();
    EXPECT_LT(took, 15000u); // the call ended with the server, not after the slow read
    ShowReports("killed inside a call");
    std::printf("(the call inside which the server was killed returned after %lu ms)\n",
                static_cast<unsigned long>(took));
    EXPECT_TRUE(ReportsOleError("TGroup.ReadItem", "800706BA") ||
                ReportsOleError("TGroup.ReadItem", "800706BE"))
        << (Reports().empty() ? "" : Reports()[0].message);
    EXPECT_FALSE(Status(l.session));
    EXPECT_EQ(QZDAC_Disconnect(l.session), QZDAC_TRUE);
    ExpectANewConnectionWorks();
}
