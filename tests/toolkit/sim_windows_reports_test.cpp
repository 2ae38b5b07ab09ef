// Failure reports on Windows: the system's text for the HRESULT, and for the common DCOM failures one
// sentence about what to check.
#ifdef _WIN32

#include "sim_support.hpp"

using namespace tagclient::testing;

namespace {
class SimWindowsReports : public SimTest {};
} // namespace

TEST_F(SimWindowsReports, UnregisteredClassIsReportedWithAHint) {
    EXPECT_EQ(QZDAC_Connect("", "{0BADC1A5-0000-4000-8000-00000000FEED}", 2), 0u);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].source, "TServer.Connect");
    const std::string& message = Reports()[0].message;
    EXPECT_NE(message.find("Check that the OPC server and the OPC proxy/stub DLLs are installed"),
              std::string::npos)
        << message;
}

TEST_F(SimWindowsReports, CodesOutsideDcomCarryNoHint) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    ASSERT_NE(s, 0u);
    EXPECT_EQ(QZDAC_ChangeBrowsePosition(s, 1, ""), QZDAC_FALSE); // up from the root
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].message.find("Check "), std::string::npos) << Reports()[0].message;
}

#endif
