#include "rotating_log.hpp"

#include "platform/path_text.hpp"

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace tagsink {

namespace {

std::FILE* OpenForAppend(const std::filesystem::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"ab");
#else
    return std::fopen(path.c_str(), "ab");
#endif
}

std::string ErrnoText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

std::string Quoted(const std::filesystem::path& path) {
    return "\"" + qz::PathUtf8(path) + "\"";
}

} // namespace

RotatingLogFile::RotatingLogFile(std::filesystem::path path, Limits limits)
    : path_(std::move(path)), limits_(limits) {
    if (limits_.max_bytes < 1)
        throw std::invalid_argument("the log file's size limit must be at least 1 byte");
    if (limits_.keep < 0 || limits_.keep > 999)
        throw std::invalid_argument("the number of rotated log files to keep must be 0 to 999, not " +
                                    std::to_string(limits_.keep));
    std::string error;
    if (!OpenLocked(error))
        throw std::runtime_error(error);
}

RotatingLogFile::~RotatingLogFile() {
    Close();
}

std::filesystem::path RotatingLogFile::RotatedPath(const std::filesystem::path& path, int n) {
    std::filesystem::path rotated = path;
    rotated += "." + std::to_string(n);
    return rotated;
}

bool RotatingLogFile::OpenLocked(std::string& error) {
    std::FILE* file = OpenForAppend(path_);
    if (file == nullptr) {
        const int code = errno;
        std::error_code ec;
        const std::filesystem::path folder = path_.has_parent_path() ? path_.parent_path() : ".";
        if (!std::filesystem::is_directory(folder, ec))
            error = "cannot open the log file " + Quoted(path_) + ": the folder " + Quoted(folder) +
                    " does not exist";
        else
            error = "cannot open the log file " + Quoted(path_) + ": " + ErrnoText(code);
        return false;
    }
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path_, ec);
    size_ = ec ? 0 : static_cast<std::uint64_t>(size);
    file_ = file;
    return true;
}

void RotatingLogFile::Fail(std::string text) {
    last_error_ = std::move(text);
}

void RotatingLogFile::RotateLocked() {
    std::fclose(file_);
    file_ = nullptr;
    std::error_code ec;
    std::string problem;
    if (limits_.keep == 0) {
        std::filesystem::remove(path_, ec);
        if (ec)
            problem = "cannot delete " + Quoted(path_) + ": " + ec.message();
    } else {
        // The oldest goes; every other moves up by one; the current file becomes NAME.1. Renaming onto an
        // existing name fails on Windows, so the target is removed first.
        std::filesystem::remove(RotatedPath(path_, limits_.keep), ec);
        for (int n = limits_.keep - 1; n >= 1 && problem.empty(); --n) {
            const auto from = RotatedPath(path_, n);
            if (!std::filesystem::exists(from, ec))
                continue;
            std::filesystem::rename(from, RotatedPath(path_, n + 1), ec);
            if (ec)
                problem = "cannot rename " + Quoted(from) + ": " + ec.message();
        }
        if (problem.empty()) {
            std::filesystem::rename(path_, RotatedPath(path_, 1), ec);
            if (ec)
                problem = "cannot rename " + Quoted(path_) + ": " + ec.message();
        }
    }
    std::string error;
    if (!OpenLocked(error)) {
        Fail(error);
        return;
    }
    if (!problem.empty()) {
        // The text goes on into the file that could not be moved (past its limit) rather than being lost.
        const std::string note = "tagsink-run: the log file could not be rotated (" + problem + ")\n";
        std::fwrite(note.data(), 1, note.size(), file_);
        size_ += note.size();
        Fail(problem);
    }
}

bool RotatingLogFile::WriteLineLocked(std::string_view line) {
    if (file_ != nullptr && size_ > 0 && size_ + line.size() > limits_.max_bytes)
        RotateLocked();
    if (file_ == nullptr) {
        std::string error;
        if (!OpenLocked(error)) {
            Fail(error);
            return false;
        }
        if (size_ > 0 && size_ + line.size() > limits_.max_bytes) {
            RotateLocked();
            if (file_ == nullptr)
                return false;
        }
    }
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size()) {
        Fail("cannot write the log file " + Quoted(path_) + ": " + ErrnoText(errno));
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    size_ += line.size();
    return true;
}

bool RotatingLogFile::Write(std::string_view text) noexcept {
    try {
        std::lock_guard lock(mutex_);
        bool ok = true;
        std::size_t start = 0;
        for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', start)) {
            std::string_view piece = text.substr(start, end + 1 - start);
            if (partial_.empty()) {
                ok = WriteLineLocked(piece) && ok;
            } else {
                partial_.append(piece);
                ok = WriteLineLocked(partial_) && ok;
                partial_.clear();
            }
            start = end + 1;
        }
        partial_.append(text.substr(start));
        if (file_ != nullptr && std::fflush(file_) != 0) {
            Fail("cannot write the log file " + Quoted(path_) + ": " + ErrnoText(errno));
            ok = false;
        }
        return ok;
    } catch (...) {
        return false;
    }
}

void RotatingLogFile::Close() noexcept {
    try {
        std::lock_guard lock(mutex_);
        if (!partial_.empty()) {
            partial_ += '\n';
            WriteLineLocked(partial_);
            partial_.clear();
        }
        if (file_ != nullptr) {
            std::fclose(file_);
            file_ = nullptr;
        }
    } catch (...) {
    }
}

std::string RotatingLogFile::LastError() const {
    std::lock_guard lock(mutex_);
    return last_error_;
}

} // namespace tagsink
