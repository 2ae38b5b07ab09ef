// Paths made from UTF-8 text and back: non-ASCII folder names (Latin-1 and CJK) name the same files.
#include "platform/path_text.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// "Anlage Süd/测试" in UTF-8.
const std::string kPlant = "Anlage S\xC3\xBC"
                           "d";
const std::string kLine = "\xE6\xB5\x8B\xE8\xAF\x95";

class PathTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/path-text-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    fs::path dir_;
};

TEST_F(PathTextTest, TextAndPathRoundTrip) {
    const std::string text = kPlant + "/" + kLine + "/plant.DAT";
    const fs::path path = qz::Utf8Path(text);
    EXPECT_EQ(qz::PathUtf8(path), text);
    EXPECT_EQ(qz::PathUtf8(path.filename()), "plant.DAT");
    EXPECT_EQ(qz::PathUtf8(path.parent_path().filename()), kLine);
    EXPECT_EQ(qz::PathUtf8(path.parent_path().parent_path()), kPlant);
    // The standard's own UTF-8 form agrees: the path is the text, not its bytes read in a code page.
    const std::u8string u8 = path.u8string();
    EXPECT_EQ(std::string(u8.begin(), u8.end()), text);
    EXPECT_EQ(qz::Utf8Path(""), fs::path());
    EXPECT_EQ(qz::PathUtf8(fs::path()), "");
}

TEST_F(PathTextTest, FilesInNonAsciiFoldersAreFoundByTheirText) {
    const fs::path folder = dir_ / qz::Utf8Path(kPlant) / qz::Utf8Path(kLine);
    fs::create_directories(folder);
    const std::string file_text = qz::PathUtf8(folder) + "/sql.dat";
    std::ofstream(qz::Utf8Path(file_text), std::ios::binary) << "journal";
    // The folder holds one file whose name reads back as written, and whose text is there.
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(dir_ / qz::Utf8Path(kPlant))) {
        ++entries;
        EXPECT_EQ(qz::PathUtf8(entry.path().filename()), kLine);
    }
    EXPECT_EQ(entries, 1u);
    std::ifstream in(folder / "sql.dat", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "journal");
    EXPECT_TRUE(fs::is_regular_file(qz::Utf8Path(file_text)));
}

#ifndef _WIN32
TEST_F(PathTextTest, PosixPathsAreTheirBytes) {
    // A name that is not UTF-8 (a file from another system) still names its file and reads back unchanged.
    const std::string latin1 = "S\xFC"
                               "d.DAT";
    EXPECT_EQ(qz::Utf8Path(latin1).native(), latin1);
    EXPECT_EQ(qz::PathUtf8(fs::path(latin1)), latin1);
}
#endif

} // namespace
