// The durable-file layer and the local time zone, on real files in a temporary folder.
#include "platform/durable_file.hpp"
#include "platform/local_time.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using qz::DurableFile;
namespace fs = std::filesystem;

class DurableFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/durable-file-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir_, fs::perms::owner_all, ignored);
        fs::remove_all(dir_, ignored);
    }
    static std::string Contents(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void Write(const fs::path& file, const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
    }
    fs::path dir_;
};

TEST_F(DurableFileTest, OpenModesCreateFindAndRefuseFiles) {
    const fs::path file = dir_ / "a.dat";
    DurableFile f;
    std::error_code error = f.Open(file, DurableFile::Mode::Read);
    EXPECT_TRUE(qz::IsNotFound(error)) << error.message();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(qz::IsNotFound(f.Open(file, DurableFile::Mode::ReadWrite)));
    EXPECT_TRUE(qz::IsNotFound(f.Open(dir_ / "missing" / "a.dat", DurableFile::Mode::OpenOrCreate)));

    ASSERT_FALSE(f.Open(file, DurableFile::Mode::OpenOrCreate));
    EXPECT_TRUE(f.IsOpen());
    EXPECT_TRUE(fs::exists(file));
    ASSERT_FALSE(f.WriteAt(0, "abc"));
    EXPECT_FALSE(f.Close());
    EXPECT_FALSE(f.IsOpen());
    EXPECT_FALSE(f.Close()) << "closing twice is harmless";

    // CreateNew refuses a name that is taken; CreateOrTruncate empties the file.
    error = f.Open(file, DurableFile::Mode::CreateNew);
    EXPECT_EQ(error, std::errc::file_exists) << error.message();
    EXPECT_EQ(Contents(file), "abc");
    ASSERT_FALSE(f.Open(file, DurableFile::Mode::CreateOrTruncate));
    std::uint64_t size = 99;
    ASSERT_FALSE(f.Size(size));
    EXPECT_EQ(size, 0u);
    ASSERT_FALSE(f.Open(dir_ / "b.dat", DurableFile::Mode::CreateNew));
    EXPECT_TRUE(fs::exists(dir_ / "b.dat"));

    // A read-only handle does not write.
    Write(file, "xyz");
    ASSERT_FALSE(f.Open(file, DurableFile::Mode::Read));
    EXPECT_TRUE(f.WriteAt(0, "q"));
    EXPECT_EQ(Contents(file), "xyz");
}

TEST_F(DurableFileTest, PositionalReadsAndWritesTruncateAndFlush) {
    const fs::path file = dir_ / "sql.dat";
    DurableFile f;
    ASSERT_FALSE(f.Open(file, DurableFile::Mode::OpenOrCreate));
    ASSERT_FALSE(f.WriteAt(0, "line one\r\n"));
    ASSERT_FALSE(f.WriteAt(10, "line two\r\n"));
    ASSERT_FALSE(f.Flush(false));
    ASSERT_FALSE(f.Flush(true));
    EXPECT_EQ(Contents(file), "line one\r\nline two\r\n");
    // A write in the middle overwrites, it does not insert.
    ASSERT_FALSE(f.WriteAt(5, "ONE"));
    EXPECT_EQ(Contents(file), "line ONE\r\nline two\r\n");

    char buffer[8];
    std::size_t got = 0;
    ASSERT_FALSE(f.ReadAt(15, buffer, sizeof buffer, got));
    EXPECT_EQ(std::string(buffer, got), "two\r\n");
    ASSERT_FALSE(f.ReadAt(20, buffer, sizeof buffer, got));
    EXPECT_EQ(got, 0u) << "at the end";
    ASSERT_FALSE(f.ReadAt(1000, buffer, sizeof buffer, got));
    EXPECT_EQ(got, 0u) << "past the end";
    std::string rest = "kept:";
    ASSERT_FALSE(f.ReadFrom(10, rest));
    EXPECT_EQ(rest, "kept:line two\r\n");

    ASSERT_FALSE(f.Truncate(10));
    std::uint64_t size = 0;
    ASSERT_FALSE(f.Size(size));
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(Contents(file), "line ONE\r\n");
    ASSERT_FALSE(qz::FileSizeOf(file, size));
    EXPECT_EQ(size, 10u);
    EXPECT_TRUE(qz::IsNotFound(qz::FileSizeOf(dir_ / "none", size)));

    // Larger than one read buffer.
    std::string big(200000, 'x');
    for (std::size_t i = 0; i < big.size(); i += 997)
        big[i] = static_cast<char>('a' + i % 26);
    ASSERT_FALSE(f.WriteAt(0, big));
    std::string back;
    ASSERT_FALSE(f.ReadFrom(0, back));
    EXPECT_EQ(back, big);
}

TEST_F(DurableFileTest, ReplaceRemoveAndReplaceability) {
    const fs::path target = dir_ / "project.dat";
    const fs::path fresh = dir_ / "project.dat.new";
    Write(target, "old");
    Write(fresh, "new");
    ASSERT_FALSE(qz::ReplaceFile(fresh, target));
    EXPECT_EQ(Contents(target), "new");
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_TRUE(qz::IsNotFound(qz::ReplaceFile(fresh, target)));
    EXPECT_EQ(Contents(target), "new");
    qz::SyncFolderOf(target);
    qz::SyncFolderOf("relative-name-in-the-current-folder");

    bool exists = true;
    EXPECT_FALSE(qz::CheckReplaceable(dir_ / "none", exists));
    EXPECT_FALSE(exists);
    EXPECT_FALSE(qz::CheckReplaceable(target, exists));
    EXPECT_TRUE(exists);
    EXPECT_EQ(qz::CheckReplaceable(dir_, exists), std::errc::is_a_directory);
    if (geteuid() != 0) { // root writes read-only files
        fs::permissions(target, fs::perms::owner_read);
        EXPECT_EQ(qz::CheckReplaceable(target, exists), std::errc::permission_denied);
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    }

    // Permission bits travel to a replacement.
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    DurableFile f;
    ASSERT_FALSE(f.Open(fresh, DurableFile::Mode::CreateNew));
    f.CopyPermissionsFrom(target);
    EXPECT_FALSE(f.Close());
    EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    ASSERT_FALSE(qz::RemoveFile(fresh));
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_TRUE(qz::IsNotFound(qz::RemoveFile(fresh)));
    EXPECT_NE(qz::CurrentProcessId(), 0u);
}

TEST_F(DurableFileTest, MovedHandleKeepsTheFileAndErrorsCarryTheSystemText) {
    const fs::path file = dir_ / "m.dat";
    DurableFile a;
    ASSERT_FALSE(a.Open(file, DurableFile::Mode::OpenOrCreate));
    DurableFile b(std::move(a));
    EXPECT_FALSE(a.IsOpen());
    ASSERT_TRUE(b.IsOpen());
    ASSERT_FALSE(b.WriteAt(0, "moved"));
    DurableFile c;
    c = std::move(b);
    ASSERT_FALSE(c.WriteAt(5, "!"));
    ASSERT_FALSE(c.Close());
    EXPECT_EQ(Contents(file), "moved!");
    EXPECT_TRUE(a.WriteAt(0, "x")) << "a handle that is not open fails";

    DurableFile d;
    std::error_code error = d.Open(dir_ / "none", DurableFile::Mode::Read);
    EXPECT_EQ(error.message(), "No such file or directory");
    EXPECT_EQ(qz::ErrnoError(ENOSPC).message(), "No space left on device");
}

TEST(LocalTime, FollowsTheTimeZone) {
    const char* saved = std::getenv("TZ");
    const std::string before = saved ? saved : "";
    const std::time_t summer = 1751371200; // 2025-07-01 12:00:00 UTC
    const std::time_t winter = 1736337600; // 2025-01-08 12:00:00 UTC

    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    EXPECT_EQ(qz::UtcOffsetSeconds(summer), 7200);
    EXPECT_EQ(qz::UtcOffsetSeconds(winter), 3600);
    std::tm local = qz::LocalCalendar(summer);
    EXPECT_EQ(local.tm_year, 125);
    EXPECT_EQ(local.tm_mon, 6);
    EXPECT_EQ(local.tm_mday, 1);
    EXPECT_EQ(local.tm_hour, 14);
    EXPECT_EQ(local.tm_isdst, 1);
    EXPECT_EQ(local.tm_yday, 181);

    setenv("TZ", "America/New_York", 1);
    tzset();
    EXPECT_EQ(qz::UtcOffsetSeconds(winter), -5 * 3600);
    local = qz::LocalCalendar(winter);
    EXPECT_EQ(local.tm_hour, 7);
    EXPECT_EQ(local.tm_isdst, 0);

    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(qz::UtcOffsetSeconds(summer), 0);
    EXPECT_EQ(qz::LocalCalendar(summer).tm_hour, 12);

    if (saved)
        setenv("TZ", before.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

} // namespace
