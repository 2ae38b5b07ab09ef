// Shared fixture of the toolkit tests that run the C API over the scripted transport.
#pragma once
#include "fake_transport.hpp"

#include <tagclient.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tagclient::testing {

struct LogLine {
    std::string source;
    std::string message;
};

// One call of a data-change procedure, with its own copy of the value.
struct Delivery {
    bool extended = false;
    QZDAC_HSESSION session = 0;
    QZDAC_HGROUP group = 0;
    QZDAC_HITEM item = 0;
    int32_t client_value = 0;
    VARIANT value{};
    FILETIME timestamp{};
    uint32_t quality = 0;
};

std::vector<LogLine>& Logs();
std::vector<Delivery>& Deliveries();
void ClearDeliveries();
void QZDAC_LOGCALL LogSink(BSTR source, BSTR message);
void QZDAC_CALL PlainProc(QZDAC_HSESSION s, QZDAC_HGROUP g, QZDAC_HITEM i, VARIANT v, FILETIME t, uint32_t q);
void QZDAC_CALL ExProc(QZDAC_HSESSION s, QZDAC_HGROUP g, QZDAC_HITEM i, int32_t c, VARIANT v, FILETIME t,
                       uint32_t q);
std::string Utf8(const std::u16string& s);

constexpr const char* kFullClass = "{11110001-2222-3333-4444-555555555555}";
constexpr const char* kDA10Class = "{11110002-2222-3333-4444-555555555555}";
constexpr const char* kBareClass = "{11110003-2222-3333-4444-555555555555}";

class ToolkitTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A session with a server that offers everything (or the given configuration).
    QZDAC_HSESSION Connect(const ServerConfig& config = {});
    // A session with one of the preset servers (kFullClass, kDA10Class, kBareClass).
    QZDAC_HSESSION ConnectTo(const char* cls) { return QZDAC_Connect("", cls, 2); }
    QZDAC_HGROUP AddGroup(QZDAC_HSESSION s, const char* name = "G");
    // The fake group behind the n-th group the server created.
    FakeGroup& ServerGroup(size_t n = 0) { return *W().groups.at(n); }
    int Dispatch();
    bool HasLog(const std::string& source) const;
};

} // namespace tagclient::testing
