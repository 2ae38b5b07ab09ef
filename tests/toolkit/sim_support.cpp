#include "sim_support.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#endif

namespace tagclient::testing {

namespace {
std::string Utf8(const OLECHAR* s, UINT n) {
    if (!s || n == 0)
        return {};
    int bytes = WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(n), out.data(), bytes, nullptr, nullptr);
    return out;
}

void QZDAC_LOGCALL OnLog(BSTR source, BSTR message) {
    Reports().push_back({Utf8(source, SysStringLen(source)), Utf8(message, SysStringLen(message))});
    SysFreeString(source);
    SysFreeString(message);
}
} // namespace

std::vector<Report>& Reports() {
    static std::vector<Report> r;
    return r;
}

std::vector<Change>& Changes() {
    static std::vector<Change> c;
    return c;
}

void ClearChanges() {
    for (auto& c : Changes())
        VariantClear(&c.value);
    Changes().clear();
}

void QZDAC_CALL OnChange(QZDAC_HSESSION s, QZDAC_HGROUP g, QZDAC_HITEM i, VARIANT v, FILETIME t, uint32_t q) {
    Change c;
    c.session = s;
    c.group = g;
    c.item = i;
    VariantInit(&c.value);
    VariantCopy(&c.value, &v);
    c.timestamp = t;
    c.quality = q;
    Changes().push_back(c);
}

void QZDAC_CALL OnChangeEx(QZDAC_HSESSION s, QZDAC_HGROUP g, QZDAC_HITEM i, int32_t cv, VARIANT v, FILETIME t,
                           uint32_t q) {
    OnChange(s, g, i, v, t, q);
    Changes().back().extended = true;
    Changes().back().client_value = cv;
}

std::string Text(const VARIANT& v) {
    return v.vt == VT_BSTR ? Utf8(v.bstrVal, SysStringLen(v.bstrVal)) : std::string();
}

std::vector<std::string> Strings(const VARIANT& array) {
    std::vector<std::string> out;
    if (array.vt != (VT_ARRAY | VT_BSTR))
        return out;
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(array.parray, 1, &lo);
    SafeArrayGetUBound(array.parray, 1, &hi);
    for (LONG i = lo; i <= hi; ++i) {
        BSTR b = nullptr;
        SafeArrayGetElement(array.parray, &i, &b);
        out.push_back(Utf8(b, SysStringLen(b)));
        SysFreeString(b);
    }
    return out;
}

void SimTest::SetUp() {
    Reports().clear();
    ClearChanges();
    QZDAC_SetLogProc(&OnLog);
    ASSERT_EQ(QZDAC_Init(), QZDAC_TRUE);
}

void SimTest::TearDown() {
    EXPECT_EQ(QZDAC_Uninit(), QZDAC_TRUE);
#ifdef _WIN32
    Pump(10); // the library's work arrives as window messages
#else
    QZDAC_DispatchEvents();
#endif
    QZDAC_SetLogProc(nullptr);
    ClearChanges();
}

bool SimTest::PumpUntil(const std::function<bool()>& pred, int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
#ifndef _WIN32
    pollfd p{static_cast<int>(QZDAC_GetEventHandle()), POLLIN, 0};
#endif
    while (!pred()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                .count();
        if (left <= 0)
            return false;
#ifdef _WIN32
        // The client thread's message loop: the library's work and the servers' calls are window messages.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<long long>(left, 50)),
                                  QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
#else
        poll(&p, 1, static_cast<int>(std::min<long long>(left, 50)));
        QZDAC_DispatchEvents();
#endif
    }
    return true;
}

void SimTest::Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

bool SimTest::Control(QZDAC_HSESSION s, const char* item, const VARIANT& value) {
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "", QZDAC_FALSE, 1000, 0, 0, 0);
    QZDAC_HITEM i = QZDAC_AddItem(s, g, item);
    const bool ok = i != 0 && QZDAC_WriteItem(s, g, i, value, QZDAC_FALSE) == QZDAC_TRUE;
    QZDAC_RemoveGroup(s, g);
    return ok;
}

bool SimTest::ControlText(QZDAC_HSESSION s, const char* item, const char16_t* text) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(reinterpret_cast<const OLECHAR*>(text));
    const bool ok = Control(s, item, v);
    VariantClear(&v);
    return ok;
}

bool SimTest::HasReport(const std::string& source) const {
    for (auto& r : Reports())
        if (r.source == source)
            return true;
    return false;
}

} // namespace tagclient::testing
