// The programs' arguments as UTF-8 text, and the file check that reads a name as UTF-8.
#include "program_arguments.hpp"

#include "platform/path_text.hpp"

#include <CLI/CLI.hpp>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using tagsink::ExistingUtf8File;
using tagsink::ProgramArguments;
using tagsink::Utf8Arguments;

TEST(ProgramArgumentsTest, WideArgumentsBecomeUtf8) {
    const std::vector<std::u16string> wide = {u"tagsink-run.exe",
                                              u"C:\\Anlage S\u00FCd\\\u6D4B\u8BD5\\plant.DAT", u"--log-file",
                                              u"\U0001D11E.log", u""};
    const std::vector<std::string> text = Utf8Arguments(wide);
    ASSERT_EQ(text.size(), 5u);
    EXPECT_EQ(text[0], "tagsink-run.exe");
    EXPECT_EQ(text[1], "C:\\Anlage S\xC3\xBC"
                       "d\\\xE6\xB5\x8B\xE8\xAF\x95\\plant.DAT");
    EXPECT_EQ(text[3], "\xF0\x9D\x84\x9E.log"); // a surrogate pair is one character
    EXPECT_EQ(text[4], "");
    // An unpaired surrogate cannot be UTF-8: it becomes U+FFFD and the rest stays.
    const std::u16string unpaired = {u'a', char16_t(0xD800), u'b'};
    EXPECT_EQ(Utf8Arguments({unpaired}).at(0), "a\xEF\xBF\xBD"
                                               "b");
    EXPECT_TRUE(Utf8Arguments({}).empty());
}

TEST(ProgramArgumentsTest, ArgvViewForParsers) {
    std::string program = "tagsink-buffer", command = "count", option = "--dir",
                dir = "/tmp/Anlage S\xC3\xBC"
                      "d/\xE6\xB5\x8B\xE8\xAF\x95";
    std::vector<char*> argv = {program.data(), command.data(), option.data(), dir.data(), nullptr};
    ProgramArguments arguments(4, argv.data());
    ASSERT_EQ(arguments.Argc(), 4);
    EXPECT_EQ(arguments.Text(), (std::vector<std::string>{program, command, option, dir}));
    EXPECT_EQ(arguments.Argv()[4], nullptr);
    // Copies: the parser may keep them after the caller's strings change.
    EXPECT_NE(arguments.Argv()[3], dir.data());
    dir.clear();
    CLI::App app;
    std::string parsed;
    app.add_subcommand("count")->add_option("--dir", parsed);
    app.parse(arguments.Argc(), arguments.Argv());
    EXPECT_EQ(parsed, "/tmp/Anlage S\xC3\xBC"
                      "d/\xE6\xB5\x8B\xE8\xAF\x95");
}

class ExistingUtf8FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/program-arguments-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        folder_ = qz::PathUtf8(dir_) + "/Anlage S\xC3\xBC"
                                       "d/\xE6\xB5\x8B\xE8\xAF\x95";
        fs::create_directories(qz::Utf8Path(folder_));
        std::ofstream(qz::Utf8Path(folder_ + "/plant.DAT")) << "x";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    // What the check says of `name` as a required option ("" when it passes).
    static std::string Check(const std::string& name) {
        CLI::App app;
        std::string value;
        app.add_option("PROJECT.DAT", value)->required()->check(ExistingUtf8File());
        try {
            app.parse(std::vector<std::string>{name});
        } catch (const CLI::ParseError& error) {
            return error.what();
        }
        EXPECT_EQ(value, name);
        return {};
    }
    fs::path dir_;
    std::string folder_;
};

TEST_F(ExistingUtf8FileTest, NamesInNonAsciiFolders) {
    EXPECT_EQ(Check(folder_ + "/plant.DAT"), "");
    const std::string missing = Check(folder_ + "/other.DAT");
    EXPECT_NE(missing.find("File does not exist: " + folder_ + "/other.DAT"), std::string::npos) << missing;
    const std::string folder = Check(folder_);
    EXPECT_NE(folder.find("File is actually a directory: " + folder_), std::string::npos) << folder;
}

} // namespace
