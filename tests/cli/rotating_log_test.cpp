// The rotating log file of tagsink-run: rotation at the size limit, the number of files kept, whole lines
// in every file, an existing file's size, and the folder that is missing at the start or vanishes later.
#include "rotating_log.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using tagsink::RotatingLogFile;

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "rotating-log-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// "line NNNN " padded with dots to `width` bytes, the line break included.
std::string Line(int n, std::size_t width = 30) {
    std::string text = "line " + std::to_string(n) + " ";
    text.resize(width - 1, '.');
    return text + "\n";
}

// The files from the oldest kept to the current one, joined.
std::string AllText(const fs::path& log, int keep) {
    std::string text;
    for (int n = keep; n >= 1; --n)
        text += ReadFile(RotatingLogFile::RotatedPath(log, n));
    return text + ReadFile(log);
}

TEST(RotatingLog, RotatesBeforeTheLineThatWouldPassTheLimit) {
    TempFolder dir;
    const fs::path log = dir.Path() / "tagsink-run.log";
    std::string expected;
    {
        RotatingLogFile file(log, {100, 5});
        for (int n = 0; n < 10; ++n) { // 300 bytes: three lines of 30 per file
            ASSERT_TRUE(file.Write(Line(n)));
            expected += Line(n);
        }
    }
    EXPECT_EQ(fs::file_size(log), 30u); // line 9
    EXPECT_EQ(fs::file_size(RotatingLogFile::RotatedPath(log, 1)), 90u);
    EXPECT_EQ(fs::file_size(RotatingLogFile::RotatedPath(log, 3)), 90u);
    EXPECT_FALSE(fs::exists(RotatingLogFile::RotatedPath(log, 4)));
    EXPECT_EQ(ReadFile(RotatingLogFile::RotatedPath(log, 3)), Line(0) + Line(1) + Line(2));
    EXPECT_EQ(AllText(log, 3), expected); // nothing lost, nothing twice, in order
}

TEST(RotatingLog, KeepsOnlyTheConfiguredNumberOfFiles) {
    TempFolder dir;
    const fs::path log = dir.Path() / "run.log";
    RotatingLogFile file(log, {60, 2});
    for (int n = 0; n < 20; ++n)
        ASSERT_TRUE(file.Write(Line(n)));
    EXPECT_TRUE(fs::exists(RotatingLogFile::RotatedPath(log, 1)));
    EXPECT_TRUE(fs::exists(RotatingLogFile::RotatedPath(log, 2)));
    EXPECT_FALSE(fs::exists(RotatingLogFile::RotatedPath(log, 3)));
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 3u);
    // The newest six lines survive, oldest first.
    std::string newest;
    for (int n = 14; n < 20; ++n)
        newest += Line(n);
    EXPECT_EQ(AllText(log, 2), newest);
}

TEST(RotatingLog, KeepZeroStartsTheFileAgain) {
    TempFolder dir;
    const fs::path log = dir.Path() / "run.log";
    RotatingLogFile file(log, {60, 0});
    for (int n = 0; n < 5; ++n)
        ASSERT_TRUE(file.Write(Line(n)));
    EXPECT_EQ(ReadFile(log), Line(4));
    EXPECT_FALSE(fs::exists(RotatingLogFile::RotatedPath(log, 1)));
}

TEST(RotatingLog, NeverSplitsALineAcrossFiles) {
    TempFolder dir;
    const fs::path log = dir.Path() / "run.log";
    std::string expected;
    {
        RotatingLogFile file(log, {100, 50});
        // Pieces that end inside lines and hold several lines, as a reporter prints them.
        std::string all;
        for (int n = 0; n < 40; ++n)
            all += Line(n, 20 + static_cast<std::size_t>(n % 7) * 5);
        expected = all;
        for (std::size_t at = 0; at < all.size();) {
            const std::size_t piece = 1 + (at * 7919) % 73;
            ASSERT_TRUE(file.Write(std::string_view(all).substr(at, piece)));
            at += piece;
        }
    }
    int files = 0;
    for (int n = 1; fs::exists(RotatingLogFile::RotatedPath(log, n)); ++n) {
        const std::string text = ReadFile(RotatingLogFile::RotatedPath(log, n));
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n') << "file ." << n << " ends inside a line";
        EXPECT_EQ(text.rfind("line ", 0), 0u) << "file ." << n << " starts inside a line";
        EXPECT_LE(text.size(), 100u);
        ++files;
    }
    EXPECT_GE(files, 10);
    EXPECT_EQ(AllText(log, files), expected);
}

TEST(RotatingLog, ALineWithoutItsBreakWaitsAndIsWrittenAtClose) {
    TempFolder dir;
    const fs::path log = dir.Path() / "run.log";
    RotatingLogFile file(log, {1000, 1});
    ASSERT_TRUE(file.Write("Stopping (ti"));
    EXPECT_EQ(ReadFile(log), "");
    ASSERT_TRUE(file.Write("me is up)\nqueued 3"));
    EXPECT_EQ(ReadFile(log), "Stopping (time is up)\n");
    file.Close();
    EXPECT_EQ(ReadFile(log), "Stopping (time is up)\nqueued 3\n");
}

TEST(RotatingLog, ALineLongerThanTheLimitGetsAFileOfItsOwn) {
    TempFolder dir;
    const fs::path log = dir.Path() / "run.log";
    const std::string long_line = std::string(250, 'x') + "\n";
    {
        RotatingLogFile file(log, {100, 3});
        ASSERT_TRUE(file.Write(Line(1)));
        ASSERT_TRUE(file.Write(long_line));
        ASSERT_TRUE(file.Write(Line(2)));
    }
    EXPECT_EQ(ReadFile(RotatingLogFile::RotatedPath(log, 2)), Line(1));
    EXPECT_EQ(ReadFile(RotatingLogFile::RotatedPath(log, 1)), long_line);
    EXPECT_EQ(ReadFile(log), Line(2));
}

TEST(RotatingLog, AnExistingFileIsContinuedAndCountsTowardsTheLimit) {
    TempFolder dir;
    const fs::path log = dir.Path() / "run.log";
    std::ofstream(log, std::ios::binary) << Line(0) << Line(1) << Line(2); // 90 bytes from an earlier run
    {
        RotatingLogFile file(log, {100, 2});
        ASSERT_TRUE(file.Write(Line(3)));
    }
    EXPECT_EQ(ReadFile(RotatingLogFile::RotatedPath(log, 1)), Line(0) + Line(1) + Line(2));
    EXPECT_EQ(ReadFile(log), Line(3));
    {
        RotatingLogFile file(log, {100, 2}); // a restart: appended, not truncated
        ASSERT_TRUE(file.Write(Line(4)));
    }
    EXPECT_EQ(ReadFile(log), Line(3) + Line(4));
}

TEST(RotatingLog, AMissingFolderIsAClearError) {
    TempFolder dir;
    const fs::path log = dir.Path() / "no-such-folder" / "run.log";
    try {
        RotatingLogFile file(log, {});
        FAIL() << "opened a log file in a folder that does not exist";
    } catch (const std::runtime_error& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("cannot open the log file \"" + log.string() + "\""), std::string::npos) << text;
        EXPECT_NE(text.find("the folder \"" + (dir.Path() / "no-such-folder").string() + "\" does not exist"),
                  std::string::npos)
            << text;
    }
    EXPECT_THROW(RotatingLogFile(dir.Path() / "x.log", {0, 1}), std::invalid_argument);
    EXPECT_THROW(RotatingLogFile(dir.Path() / "x.log", {100, -1}), std::invalid_argument);
}

TEST(RotatingLog, AFolderThatVanishesFailsTheWritesUntilItIsBack) {
    TempFolder dir;
    const fs::path folder = dir.Path() / "logs";
    fs::create_directory(folder);
    const fs::path log = folder / "run.log";
    RotatingLogFile file(log, {60, 2});
    ASSERT_TRUE(file.Write(Line(0)));
    fs::remove_all(folder);
    ASSERT_TRUE(file.Write(Line(1)));  // still the open (now unlinked) file
    EXPECT_FALSE(file.Write(Line(2))); // the rotation cannot open a new file
    EXPECT_NE(file.LastError().find("does not exist"), std::string::npos) << file.LastError();
    EXPECT_FALSE(file.Write(Line(3)));
    fs::create_directory(folder);
    EXPECT_TRUE(file.Write(Line(4))); // opened again with the next line
    file.Close();
    EXPECT_EQ(ReadFile(log), Line(4));
}

TEST(RotatingLog, LinesOfConcurrentWritersStayWhole) {
    TempFolder dir;
    const fs::path log = dir.Path() / "run.log";
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    {
        RotatingLogFile file(log, {4096, 100});
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&file, t] {
                for (int n = 0; n < kLines; ++n)
                    file.Write("thread " + std::to_string(t) + " line " + std::to_string(n) + "\n");
            });
        for (auto& thread : threads)
            thread.join();
    }
    int files = 0;
    while (fs::exists(RotatingLogFile::RotatedPath(log, files + 1)))
        ++files;
    ASSERT_LT(files, 100) << "the oldest lines were rotated away; raise the limits of this test";
    std::istringstream all(AllText(log, files));
    std::set<std::string> seen;
    std::vector<int> next(kThreads, 0);
    for (std::string line; std::getline(all, line);) {
        int t = -1, n = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d", &t, &n), 2) << line;
        ASSERT_EQ(line, "thread " + std::to_string(t) + " line " + std::to_string(n));
        EXPECT_EQ(n, next[t]) << "thread " << t << " out of order";
        next[t] = n + 1;
        seen.insert(line);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

} // namespace
