// Fixture of the tests that drive the simulated servers through the public C API only.
#pragma once
#include <tagclient.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tagclient::testing {

inline constexpr const char* kDA2 = "Tagsink.SimServer.DA2";
inline constexpr const char* kDA1 = "Tagsink.SimServer.DA1";
inline constexpr const char* kMinimal = "Tagsink.SimServer.Minimal";
inline constexpr const char* kDA2Class = "{D886E9B9-5576-47DF-B743-B81B90B0B9BF}";

struct Report {
    std::string source, message;
};

struct Change {
    bool extended = false;
    QZDAC_HSESSION session = 0;
    QZDAC_HGROUP group = 0;
    QZDAC_HITEM item = 0;
    int32_t client_value = 0;
    VARIANT value{};
    FILETIME timestamp{};
    uint32_t quality = 0;
};

std::vector<Report>& Reports();
std::vector<Change>& Changes();
void ClearChanges();
void QZDAC_CALL OnChange(QZDAC_HSESSION, QZDAC_HGROUP, QZDAC_HITEM, VARIANT, FILETIME, uint32_t);
void QZDAC_CALL OnChangeEx(QZDAC_HSESSION, QZDAC_HGROUP, QZDAC_HITEM, int32_t, VARIANT, FILETIME, uint32_t);
std::string Text(const VARIANT& v); // a BSTR as UTF-8 ("" for anything else)
std::vector<std::string> Strings(const VARIANT& array);

class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Dispatches events (waiting on the event handle) until pred holds or timeout_ms passed.
    bool PumpUntil(const std::function<bool()>& pred, int timeout_ms = 3000);
    // Dispatches for a while.
    void Pump(int ms);
    // Writes a value to a control item through a group of its own.
    bool Control(QZDAC_HSESSION s, const char* item, const VARIANT& value);
    bool ControlText(QZDAC_HSESSION s, const char* item, const char16_t* text);
    bool HasReport(const std::string& source) const;
};

} // namespace tagclient::testing
