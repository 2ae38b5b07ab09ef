// The API frame: failure values, reports and their source names, handles, the output-string rule, Init and
// Uninit, and the event handle.
#include "test_support.hpp"

#include "library.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#endif

#include <cstring>

using namespace tagclient::testing;

namespace {
class Frame : public ToolkitTest {};

std::vector<std::string> RemoveGroupCalls() {
    std::vector<std::string> out;
    for (auto& c : W().calls)
        if (c.rfind("RemoveGroup(", 0) == 0)
            out.push_back(c);
    return out;
}
} // namespace

TEST_F(Frame, ConnectBeforeInitReturnsZeroSilently) {
    auto& lib = tagclient::Library::Get();
    lib.initialized = false;
    EXPECT_EQ(QZDAC_Connect("", kFullClass, 2), 0u);
    lib.initialized = true;
    EXPECT_TRUE(Logs().empty());
    EXPECT_EQ(W().Count("CreateServerObject"), 0);
}

TEST_F(Frame, RejectedHandlesGiveFailureValuesWithoutReportOrServerCall) {
    QZDAC_HSESSION s1 = Connect();
    QZDAC_HSESSION s2 = Connect();
    QZDAC_HGROUP g1 = AddGroup(s1);
    QZDAC_HGROUP g2 = AddGroup(s2);
    QZDAC_HITEM i2 = QZDAC_AddItem(s2, g2, "A");
    ASSERT_NE(g1, 0u);
    ASSERT_NE(i2, 0u);
    const size_t calls = W().calls.size();

    EXPECT_EQ(QZDAC_Disconnect(0), QZDAC_FALSE);
    EXPECT_EQ(QZDAC_RemoveGroup(s1, g2), QZDAC_FALSE);
    EXPECT_EQ(QZDAC_RemoveGroup(s1, 0), QZDAC_FALSE);
    EXPECT_EQ(QZDAC_AddItem(s1, g2, "A"), 0u);
    EXPECT_EQ(QZDAC_RemoveItem(s1, g1, i2), QZDAC_FALSE);
    EXPECT_EQ(QZDAC_RemoveItem(s2, g2, g2), QZDAC_FALSE); // a group handle is no item handle
    EXPECT_EQ(QZDAC_RemoveGroup(s1, s1), QZDAC_FALSE);    // nor is a session handle a group handle
    EXPECT_EQ(QZDAC_AddGroup(g1, "x", 1, 100, 0, 0, 0), 0u);
    uint32_t rate = 7;
    EXPECT_EQ(QZDAC_GetGroupStat(s2, g1, &rate, nullptr, nullptr, nullptr, nullptr), QZDAC_FALSE);
    EXPECT_EQ(rate, 7u);
    EXPECT_EQ(W().calls.size(), calls);
    ASSERT_EQ(QZDAC_Disconnect(s2), QZDAC_TRUE);
    const size_t after_disconnect = W().calls.size();
    EXPECT_EQ(QZDAC_AddGroup(s2, "x", 1, 100, 0, 0, 0), 0u);
    EXPECT_EQ(QZDAC_SetDataChangeProc(s2, &PlainProc), QZDAC_FALSE);
    EXPECT_EQ(QZDAC_RefreshGroup(s2, g2, 1), QZDAC_FALSE);
    EXPECT_EQ(QZDAC_GetNameSpace(s2, nullptr), QZDAC_FALSE);
    EXPECT_EQ(QZDAC_Disconnect(s2), QZDAC_FALSE);

    EXPECT_TRUE(Logs().empty());
    EXPECT_EQ(W().calls.size(), after_disconnect);
}

TEST_F(Frame, EveryBoolIsMinusOneOrZero) {
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP g = AddGroup(s);
    QZDAC_HITEM i = QZDAC_AddItem(s, g, "A");
    VARIANT v;
    VariantInit(&v);
    FILETIME t{};
    uint16_t q = 0;
    const QZDAC_BOOL results[] = {
        QZDAC_SetShutdownProc(s, nullptr), QZDAC_SetDataChangeProc(s, nullptr),
        QZDAC_SetGroupName(s, g, "N"),     QZDAC_SetGroupStat(s, g, 100, 1, 0, 0, 0),
        QZDAC_ActiveItem(s, g, i, 5),      QZDAC_ReadItem(s, g, i, &v, &t, &q),
        QZDAC_WriteItem(s, g, i, v, 0),    QZDAC_ValidateItem(s, g, "A", 0, 0),
        QZDAC_RefreshGroup(s, g, 1),       QZDAC_RemoveItem(s, g, i),
        QZDAC_RemoveGroup(s, g),           QZDAC_Disconnect(s)};
    for (QZDAC_BOOL b : results)
        EXPECT_EQ(b, -1);
    VariantClear(&v);
    EXPECT_EQ(QZDAC_Disconnect(s), 0);
}

TEST_F(Frame, ReportsCarryTheCatchingStepAndThePlatformText) {
    QZDAC_HSESSION s = Connect();
    W().fail["AddGroup"] = E_ACCESSDENIED;
    EXPECT_EQ(AddGroup(s), 0u);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "TServer.AddGroup");
    char expected[256] = {};
    ASSERT_GT(QzFormatHResult(E_ACCESSDENIED, expected, sizeof expected), 0u);
    std::string text(expected);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
#ifdef _WIN32
    // On Windows the common DCOM failures carry a hint after the platform's text.
    EXPECT_EQ(Logs()[0].message.rfind(text + " Check ", 0), 0u) << Logs()[0].message;
#else
    EXPECT_EQ(Logs()[0].message, text);
#endif
}

TEST_F(Frame, UnknownCodesAreReportedAsOleError) {
    QZDAC_HSESSION s = Connect();
    W().fail["AddGroup"] = static_cast<HRESULT>(0x8004ABCD);
    EXPECT_EQ(AddGroup(s), 0u);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].message, "OLE error 8004ABCD");
}

TEST_F(Frame, FailureOutsideTheStepIsReportedUnderTheExportName) {
#ifdef _WIN32
    if (GetACP() != CP_UTF8)
        GTEST_SKIP() << "every byte is a character in the single-byte ANSI code page " << GetACP();
#endif
    QZDAC_HSESSION s = Connect();
    // Text that is not valid in the system code page fails while the export converts its arguments.
    EXPECT_EQ(QZDAC_ChangeBrowsePosition(s, 2, "\xff\xfe"), QZDAC_FALSE);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "QZDAC_ChangeBrowsePosition");
    EXPECT_EQ(W().Count("ChangeBrowsePosition"), 0);
    Logs().clear();
    EXPECT_EQ(QZDAC_AddItem(s, AddGroup(s), "\xc3"), 0u);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "QZDAC_AddItem");
}

TEST_F(Frame, NullLogProcSilencesLaterFailures) {
    QZDAC_HSESSION s = Connect();
    W().fail["AddGroup"] = E_FAIL;
    EXPECT_EQ(AddGroup(s), 0u);
    EXPECT_EQ(Logs().size(), 1u);
    QZDAC_SetLogProc(nullptr);
    EXPECT_EQ(AddGroup(s), 0u);
    EXPECT_EQ(Logs().size(), 1u);
}

TEST_F(Frame, OutputStringIsCutAtTheLimitAndTerminated) {
    W().vendor = u"0123456789";
    QZDAC_HSESSION s = Connect();
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_EQ(QZDAC_GetServerStatus(s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, buffer, 5),
              QZDAC_TRUE);
    EXPECT_EQ(std::string(buffer, 6), std::string("01234\0", 6));
    EXPECT_EQ(buffer[6], '#');
    std::memset(buffer, '#', sizeof buffer);
    QZDAC_GetServerStatus(s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          buffer, 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '#');
}

TEST_F(Frame, UninitTearsDownThreeSessionsLastFirst) {
    QZDAC_HSESSION s[3];
    for (auto& h : s) {
        h = Connect();
        AddGroup(h);
    }
    const auto g0 = ServerGroup(0).server_handle, g1 = ServerGroup(1).server_handle,
               g2 = ServerGroup(2).server_handle;
    EXPECT_EQ(QZDAC_Uninit(), QZDAC_TRUE);
    EXPECT_EQ(RemoveGroupCalls(), (std::vector<std::string>{"RemoveGroup(" + std::to_string(g2) + ")",
                                                            "RemoveGroup(" + std::to_string(g1) + ")",
                                                            "RemoveGroup(" + std::to_string(g0) + ")"}));
    for (auto h : s)
        EXPECT_EQ(QZDAC_Disconnect(h), QZDAC_FALSE);
    // after Uninit nothing is accepted, and nothing breaks
    EXPECT_EQ(QZDAC_Connect("", kFullClass, 2), 0u);
}

TEST_F(Frame, HandlesAreNeverZeroAndNeverReused) {
    std::set<uint32_t> seen;
    for (int round = 0; round < 3; ++round) {
        QZDAC_HSESSION s = Connect();
        QZDAC_HGROUP g = AddGroup(s);
        QZDAC_HITEM i = QZDAC_AddItem(s, g, "A");
        for (uint32_t h : {s, g, i}) {
            EXPECT_NE(h, 0u);
            EXPECT_TRUE(seen.insert(h).second) << h;
        }
        QZDAC_Disconnect(s);
    }
}

TEST_F(Frame, SecondInitStartsANewSessionList) {
    QZDAC_HSESSION s = Connect();
    ASSERT_EQ(QZDAC_Init(), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_SetShutdownProc(s, nullptr), QZDAC_FALSE);
    QZDAC_HSESSION t = Connect();
    EXPECT_NE(t, 0u);
    EXPECT_NE(t, s);
}

#ifdef _WIN32
TEST_F(Frame, WorkIsDueAsAWindowMessageOfTheClientThread) {
    Dispatch();
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP g = AddGroup(s);
    QZDAC_HITEM i = QZDAC_AddItem(s, g, "A");
    QZDAC_SetDataChangeProc(s, &PlainProc);
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = 1;
    ServerGroup().PostDataChange({i}, {v}, {S_OK});
    EXPECT_TRUE(Deliveries().empty()); // nothing runs before the client dispatches its messages
    // The client's own message loop delivers it, without QZDAC_DispatchEvents.
    const ULONGLONG deadline = GetTickCount64() + 2000;
    MSG msg;
    while (Deliveries().empty() && GetTickCount64() < deadline) {
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        else
            Sleep(1);
    }
    EXPECT_EQ(Deliveries().size(), 1u);
}
#else
TEST_F(Frame, EventHandleBecomesReadableWhenWorkIsDue) {
    intptr_t fd = QZDAC_GetEventHandle();
    ASSERT_GE(fd, 0);
    Dispatch();
    pollfd p{static_cast<int>(fd), POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0);
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP g = AddGroup(s);
    QZDAC_HITEM i = QZDAC_AddItem(s, g, "A");
    QZDAC_SetDataChangeProc(s, &PlainProc);
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = 1;
    ServerGroup().PostDataChange({i}, {v}, {S_OK});
    EXPECT_EQ(poll(&p, 1, 1000), 1);
    EXPECT_TRUE(Deliveries().empty()); // nothing runs before the client dispatches
    EXPECT_EQ(Dispatch(), 1);
    EXPECT_EQ(Deliveries().size(), 1u);
    EXPECT_EQ(poll(&p, 1, 0), 0);
}
#endif
