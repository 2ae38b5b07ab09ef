// The simulated servers' control file: what its texts mean, and when it is read again.
#include "sim_control.hpp"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace tagclient::transport::sim {
namespace {

TEST(SimControl, ParsesTheFirstWordOutsideComments) {
    EXPECT_EQ(ParseControl("").state, ControlState::Up);
    EXPECT_EQ(ParseControl("up\n").state, ControlState::Up);
    EXPECT_EQ(ParseControl("  DOWN  \r\n").state, ControlState::Down) << "case and blanks do not matter";
    EXPECT_EQ(ParseControl("# comment\n\ndown\nup\n").state, ControlState::Down) << "the first word counts";
    EXPECT_EQ(ParseControl("downward").state, ControlState::Up) << "an unknown word means up";
    EXPECT_EQ(ParseControl("#down").state, ControlState::Up);

    ControlReading shutdown = ParseControl("shutdown  planned  work \n");
    EXPECT_EQ(shutdown.state, ControlState::Shutdown);
    EXPECT_EQ(shutdown.reason, u"planned  work");
    EXPECT_EQ(ParseControl("shutdown").reason, u"Shutdown requested by the control file");
    EXPECT_EQ(ParseControl("shutdown Größe").reason, u"Größe") << "the reason is UTF-8";
}

TEST(SimControl, ReadsTheFileAgainOnlyWhenItsTextChanged) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("sim-control-" + std::to_string(::getpid()));
    auto write = [&](const std::string& text) {
        std::ofstream(file.string() + ".new", std::ios::trunc) << text;
        std::filesystem::rename(file.string() + ".new", file);
    };
    ::unsetenv(kControlVariable);
    EXPECT_FALSE(ControlEnabled());
    EXPECT_EQ(ReadControl().state, ControlState::Up) << "without the variable the servers are there";

    ASSERT_EQ(::setenv(kControlVariable, file.c_str(), 1), 0);
    EXPECT_TRUE(ControlEnabled());
    EXPECT_EQ(ReadControl().state, ControlState::Up) << "a missing file means up";
    write("shutdown one\n");
    const ControlReading first = ReadControl();
    EXPECT_EQ(first.state, ControlState::Shutdown);
    EXPECT_EQ(ReadControl().version, first.version) << "an unchanged file is the same version";
    write("shutdown one\n");
    EXPECT_EQ(ReadControl().version, first.version) << "the same text written again is no new request";
    write("shutdown two\n");
    const ControlReading second = ReadControl();
    EXPECT_NE(second.version, first.version);
    EXPECT_EQ(second.reason, u"two");
    write("down");
    EXPECT_EQ(ReadControl().state, ControlState::Down);
    std::filesystem::remove(file);
    EXPECT_EQ(ReadControl().state, ControlState::Up) << "removing the file brings the servers back";
    ::unsetenv(kControlVariable);
}

} // namespace
} // namespace tagclient::transport::sim
