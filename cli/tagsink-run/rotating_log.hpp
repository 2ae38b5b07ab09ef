// A log file that keeps to a size: tagsink-run's output when no terminal or journal takes it (the
// Windows service, --log-file).
//
// When the next line would take the file past its limit, the file is closed and becomes NAME.1 (NAME.1
// becomes NAME.2 and so on; the oldest, NAME.<keep>, is deleted) and a new NAME begins. A line is never
// split between two files: text is written up to its last line break, and a line whose break has not
// come yet waits in memory for the rest (it is written when the file is closed). A single line longer
// than the limit gets a file of its own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

namespace tagsink {

class RotatingLogFile {
public:
    static constexpr std::uint64_t kDefaultMaxBytes = 10u * 1024u * 1024u;
    static constexpr int kDefaultKeep = 5;

    struct Limits {
        std::uint64_t max_bytes = kDefaultMaxBytes; ///< size at which the file is rotated (at least 1)
        int keep = kDefaultKeep;                    ///< rotated files kept beside it (0: none)
    };

    /// Opens `path` for appending (its present size counts towards the limit), creating it if needed.
    /// Throws std::runtime_error ("cannot open the log file "PATH": reason") when that fails, and
    /// std::invalid_argument for limits out of range.
    RotatingLogFile(std::filesystem::path path, Limits limits);
    ~RotatingLogFile();
    RotatingLogFile(const RotatingLogFile&) = delete;
    RotatingLogFile& operator=(const RotatingLogFile&) = delete;

    /// Appends `text` and flushes it; callable from any thread. Returns false when some of it could not
    /// be written (LastError tells why); a file that could not be opened or rotated is tried again with
    /// the next line.
    bool Write(std::string_view text) noexcept;

    /// Writes a line still waiting for its break and closes the file.
    void Close() noexcept;

    /// Why the last failing Write failed ("" when none did).
    std::string LastError() const;
    const std::filesystem::path& Path() const { return path_; }
    /// NAME.n, the n-th rotated file (NAME.1 the newest).
    static std::filesystem::path RotatedPath(const std::filesystem::path& path, int n);

private:
    bool OpenLocked(std::string& error);
    bool WriteLineLocked(std::string_view line);
    void RotateLocked();
    void Fail(std::string text);

    const std::filesystem::path path_;
    const Limits limits_;
    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
    std::string partial_; // the start of a line whose break has not been written yet
    std::string last_error_;
};

} // namespace tagsink
