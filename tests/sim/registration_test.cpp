// Registration files: their format, their places and how they merge.
#include "sim_registration.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace tagclient::transport::sim;

TEST(Registration, ReadsEntriesWithTheirOptions) {
    std::vector<std::string> problems;
    auto entries =
        ParseRegistrations("# comment\n"
                           "\n"
                           "  Acme.Plant.1  {AAAAAAAA-0000-0000-0000-000000000001}  da=1,2 server=da1 "
                           "type=\"Acme plant server\"\r\n"
                           "Acme.Bare {x}\n"
                           "Acme.Off {y} opc=no\n",
                           "f", &problems);
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].prog_id, "Acme.Plant.1");
    EXPECT_EQ(entries[0].class_id_text, "{AAAAAAAA-0000-0000-0000-000000000001}");
    EXPECT_EQ(entries[0].versions, (std::vector<int>{1, 2}));
    EXPECT_EQ(entries[0].server, "da1");
    EXPECT_EQ(entries[0].user_type, "Acme plant server");
    EXPECT_TRUE(entries[0].opc);
    EXPECT_EQ(entries[1].class_id_text, "{x}");
    EXPECT_TRUE(entries[1].versions.empty());
    EXPECT_FALSE(entries[2].opc);
}

TEST(Registration, SkipsBadLinesWithAMessageNamingTheLine) {
    std::vector<std::string> problems;
    auto entries = ParseRegistrations("OnlyAProgId\n"
                                      "A {x} da=4\n"
                                      "B {x} server=opc9\n"
                                      "C {x} colour=red\n"
                                      "D {x} type=\"open\n"
                                      "E {x} opc=maybe\n"
                                      "F {x}\n",
                                      "servers.conf", &problems);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].prog_id, "F");
    ASSERT_EQ(problems.size(), 6u);
    EXPECT_EQ(problems[0], "servers.conf:1: expected a ProgID and a class ID, found 'OnlyAProgId'");
    EXPECT_EQ(problems[1], "servers.conf:2: da lists versions 1, 2 or 3, found '4'");
    EXPECT_EQ(problems[3], "servers.conf:4: unknown key 'colour'");
    EXPECT_EQ(problems[4], "servers.conf:5: a quote is not closed");
}

TEST(Registration, PerUserFileOverridesSystemWideEntriesOfTheSameProgId) {
    char pattern[] = "/tmp/sim-reg-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    std::filesystem::create_directories(dir / "sys1/tagclient");
    std::filesystem::create_directories(dir / "sys2/tagclient");
    std::filesystem::create_directories(dir / "home/tagclient");
    std::ofstream(dir / "sys1/tagclient/servers.conf") << "Shared.1 {s1}\nOnly.Sys1 {o1}\n";
    std::ofstream(dir / "sys2/tagclient/servers.conf") << "shared.1 {s2}\nOnly.Sys2 {o2}\n";
    std::ofstream(dir / "home/tagclient/servers.conf") << "Only.Sys2 {home}\n";
    setenv("XDG_CONFIG_DIRS", ((dir / "sys1").string() + ":" + (dir / "sys2").string()).c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir / "home").c_str(), 1);

    auto paths = RegistrationFilePaths();
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], (dir / "sys2/tagclient/servers.conf").string()); // least important first
    EXPECT_EQ(paths[2], (dir / "home/tagclient/servers.conf").string());

    auto merged = LoadRegistrations();
    ASSERT_EQ(merged.size(), 3u);
    EXPECT_EQ(merged[0].prog_id, "Shared.1"); // the first system directory wins over the second
    EXPECT_EQ(merged[0].class_id_text, "{s1}");
    EXPECT_EQ(merged[1].prog_id, "Only.Sys2");
    EXPECT_EQ(merged[1].class_id_text, "{home}");
    EXPECT_EQ(merged[2].prog_id, "Only.Sys1");
    std::filesystem::remove_all(dir);
    unsetenv("XDG_CONFIG_DIRS");
    unsetenv("XDG_CONFIG_HOME");
}

TEST(Registration, KeyNamesCompareWithoutCaseOfLettersAToZOnly) {
    EXPECT_TRUE(SameKeyName("Acme.Plant", "ACME.plant"));
    EXPECT_FALSE(SameKeyName("Größe", "GRÖSSE"));
    EXPECT_FALSE(SameKeyName("a", "ab"));
}
