#include "test_support.hpp"

#include "library.hpp"

namespace tagclient::testing {

std::vector<LogLine>& Logs() {
    static std::vector<LogLine> logs;
    return logs;
}

std::vector<Delivery>& Deliveries() {
    static std::vector<Delivery> d;
    return d;
}

void ClearDeliveries() {
    for (auto& d : Deliveries())
        VariantClear(&d.value);
    Deliveries().clear();
}

std::string Utf8(const std::u16string& s) {
    std::string out;
    for (char16_t c : s)
        out.push_back(static_cast<char>(c)); // the tests use ASCII texts
    return out;
}

void QZDAC_LOGCALL LogSink(BSTR source, BSTR message) {
    Logs().push_back(
        {Utf8(std::u16string(reinterpret_cast<const char16_t*>(source), SysStringLen(source))),
         Utf8(std::u16string(reinterpret_cast<const char16_t*>(message), SysStringLen(message)))});
    SysFreeString(source);
    SysFreeString(message);
}

void QZDAC_CALL PlainProc(QZDAC_HSESSION s, QZDAC_HGROUP g, QZDAC_HITEM i, VARIANT v, FILETIME t,
                          uint32_t q) {
    Delivery d;
    d.session = s;
    d.group = g;
    d.item = i;
    VariantInit(&d.value);
    VariantCopy(&d.value, &v);
    d.timestamp = t;
    d.quality = q;
    Deliveries().push_back(d);
}

void QZDAC_CALL ExProc(QZDAC_HSESSION s, QZDAC_HGROUP g, QZDAC_HITEM i, int32_t c, VARIANT v, FILETIME t,
                       uint32_t q) {
    PlainProc(s, g, i, v, t, q);
    Deliveries().back().extended = true;
    Deliveries().back().client_value = c;
}

void ToolkitTest::SetUp() {
    Reset();
    Logs().clear();
    ClearDeliveries();
    QZDAC_SetLogProc(&LogSink);
    ASSERT_EQ(QZDAC_Init(), QZDAC_TRUE);
    tagclient::Library::Get().Events().SetClock(nullptr);
    W().classes[u"{11110001-2222-3333-4444-555555555555}"] = ServerConfig{};
    ServerConfig da10;
    da10.group.async_i_o2 = false;
    da10.group.async_io = true;
    da10.group.connection_points = false;
    W().classes[u"{11110002-2222-3333-4444-555555555555}"] = da10;
    ServerConfig bare;
    bare.item_properties = bare.browse = bare.connection_points = false;
    bare.group.async_i_o2 = bare.group.connection_points = false;
    W().classes[u"{11110003-2222-3333-4444-555555555555}"] = bare;
    W().known_items = {u"A", u"B", u"C", u"D"};
}

void ToolkitTest::TearDown() {
    // A test's clock may read its own locals, which are gone by now.
    tagclient::Library::Get().Events().SetClock(nullptr);
    QZDAC_Uninit();
    QZDAC_DispatchEvents();
    QZDAC_SetLogProc(nullptr);
    ClearDeliveries();
}

QZDAC_HSESSION ToolkitTest::Connect(const ServerConfig& config) {
    W().classes[u"{11110001-2222-3333-4444-555555555555}"] = config;
    return QZDAC_Connect("", kFullClass, 2);
}

QZDAC_HGROUP ToolkitTest::AddGroup(QZDAC_HSESSION s, const char* name) {
    return QZDAC_AddGroup(s, name, QZDAC_TRUE, 1000, -480, 0.5f, 0);
}

int ToolkitTest::Dispatch() {
    return QZDAC_DispatchEvents();
}

bool ToolkitTest::HasLog(const std::string& source) const {
    for (auto& l : Logs())
        if (l.source == source)
            return true;
    return false;
}

} // namespace tagclient::testing
