#include "engine/runtime/buffer_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>

namespace tagsink {
namespace {

// A file descriptor closed when it goes.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

[[noreturn]] void Fail(const std::filesystem::path& file, std::string_view what, int error) {
    throw BufferFileError("Cannot " + std::string(what) + " \"" + file.string() +
                          "\": " + std::strerror(error));
}

void WriteAll(int fd, const char* data, size_t size, const std::filesystem::path& file) {
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Fail(file, "write", errno);
        }
        if (written == 0)
            Fail(file, "write", EIO);
        data += written;
        size -= static_cast<size_t>(written);
    }
}

// Makes a change of the directory's entries (a new or removed file) durable.
void SyncDirectory(const std::filesystem::path& file) {
    std::filesystem::path dir = file.parent_path();
    if (dir.empty())
        dir = ".";
    Fd fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        fsync(fd.get());
}

} // namespace

std::string EncodeStatementLine(std::string_view statement) {
    bool needsEscape = statement.find_first_of("\r\n") != std::string_view::npos ||
                       statement.substr(0, kEscapedLineMarker.size()) == kEscapedLineMarker;
    if (!needsEscape)
        return std::string(statement);
    std::string line(kEscapedLineMarker);
    for (char c : statement) {
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\r':
            line += "\\r";
            break;
        case '\n':
            line += "\\n";
            break;
        default:
            line += c;
        }
    }
    return line;
}

std::string DecodeStatementLine(std::string_view line) {
    if (line.substr(0, kEscapedLineMarker.size()) != kEscapedLineMarker)
        return std::string(line);
    std::string statement;
    for (size_t i = kEscapedLineMarker.size(); i < line.size(); ++i) {
        char c = line[i];
        if (c != '\\') {
            statement += c;
            continue;
        }
        if (++i == line.size())
            throw BufferFileError("An escaped line ends in the middle of an escape");
        switch (line[i]) {
        case '\\':
            statement += '\\';
            break;
        case 'r':
            statement += '\r';
            break;
        case 'n':
            statement += '\n';
            break;
        default:
            throw BufferFileError(std::string("An escaped line holds the unknown escape \\") + line[i]);
        }
    }
    return statement;
}

BufferFileContents ReadBufferFile(const std::filesystem::path& file) {
    Fd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        Fail(file, "open", errno);
    std::string data;
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            Fail(file, "read", errno);
        }
        if (got == 0)
            break;
        data.append(buffer, static_cast<size_t>(got));
    }
    BufferFileContents contents;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos)
            end = data.size();
        std::string_view line(data.data() + start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        start = end + 1;
        if (line.empty())
            continue;
        try {
            contents.statements.push_back(DecodeStatementLine(line));
        } catch (const BufferFileError&) {
            contents.undecodable.emplace_back(line);
        }
    }
    return contents;
}

void AppendLines(const std::filesystem::path& file, const std::vector<std::string>& lines) {
    std::string data;
    for (const std::string& line : lines) {
        data += line;
        data += "\r\n";
    }
    bool existed = std::filesystem::exists(file);
    Fd fd(open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        Fail(file, "open", errno);
    struct stat info {};
    if (fstat(fd.get(), &info) != 0)
        Fail(file, "inspect", errno);
    const off_t oldSize = info.st_size;
    // A file that does not end with a line end (edited by hand, or cut by a crash of an older writer)
    // gets one first, so that the first new statement does not join its last line.
    if (oldSize > 0) {
        char last = '\n';
        if (pread(fd.get(), &last, 1, oldSize - 1) == 1 && last != '\n')
            data.insert(0, "\r\n");
    }
    try {
        if (lseek(fd.get(), oldSize, SEEK_SET) < 0)
            Fail(file, "seek in", errno);
        WriteAll(fd.get(), data.data(), data.size(), file);
        if (fsync(fd.get()) != 0)
            Fail(file, "flush", errno);
    } catch (...) {
        // Leave the file exactly as it was: a retried spill must not write a statement twice.
        if (ftruncate(fd.get(), oldSize) == 0)
            fsync(fd.get());
        if (!existed && oldSize == 0) {
            unlink(file.c_str());
        }
        throw;
    }
    if (close(fd.Release()) != 0)
        Fail(file, "close", errno);
    if (!existed)
        SyncDirectory(file);
}

void AppendStatements(const std::filesystem::path& file, const std::deque<std::string>& statements) {
    std::vector<std::string> lines;
    lines.reserve(statements.size());
    for (const std::string& statement : statements)
        lines.push_back(EncodeStatementLine(statement));
    AppendLines(file, lines);
}

void AppendRejected(const std::filesystem::path& file, std::string_view statement, std::string_view when,
                    std::string_view message) {
    std::string comment = "-- " + std::string(when) + " rejected: ";
    for (char c : message)
        comment += (c == '\r' || c == '\n') ? ' ' : c;
    AppendLines(file, {comment, EncodeStatementLine(statement)});
}

void RemoveBufferFile(const std::filesystem::path& file) {
    if (unlink(file.c_str()) != 0 && errno != ENOENT)
        Fail(file, "delete", errno);
    SyncDirectory(file);
}

} // namespace tagsink

namespace tagsink {
namespace {

constexpr std::string_view kProgressHeader = "tagsink journal 1\n";
constexpr int kPositionDigits = 20;

std::string NewId() {
    static std::random_device device;
    std::uint64_t value = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    value ^= static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string PositionText(std::uint64_t position) {
    char text[kPositionDigits + 1];
    std::snprintf(text, sizeof text, "%020llu", static_cast<unsigned long long>(position));
    return text;
}

std::string ProgressText(const std::string& key, const std::string& generation, std::uint64_t position) {
    return std::string(kProgressHeader) + "key " + key + "\ngeneration " + generation + "\nposition " +
           PositionText(position) + "\n";
}

std::size_t PositionOffset(const std::string& key, const std::string& generation) {
    return kProgressHeader.size() + 4 + key.size() + 1 + 11 + generation.size() + 1 + 9;
}

struct ProgressMark {
    std::string key;
    std::string generation;
    std::uint64_t position = 0;
};

// The mark of a progress file; nothing when it is missing or not one of ours.
std::optional<ProgressMark> ReadProgress(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string header, keyWord, generationWord, positionWord;
    ProgressMark mark;
    std::getline(in, header);
    in >> keyWord >> mark.key >> generationWord >> mark.generation >> positionWord >> mark.position;
    if (!in || header + "\n" != kProgressHeader || keyWord != "key" || generationWord != "generation" ||
        positionWord != "position" || mark.key.empty() || mark.generation.empty())
        return std::nullopt;
    return mark;
}

std::string ReadFrom(const std::filesystem::path& file, std::uint64_t from) {
    std::string data;
    Fd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return data;
        Fail(file, "open", errno);
    }
    char buffer[65536];
    off_t at = static_cast<off_t>(from);
    for (;;) {
        ssize_t got = pread(fd.get(), buffer, sizeof buffer, at);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            Fail(file, "read", errno);
        }
        if (got == 0)
            break;
        data.append(buffer, static_cast<size_t>(got));
        at += got;
    }
    return data;
}

// Splits journal text that starts at file position `from` into entries; an unterminated last line is
// left in `tail`.
void SplitJournal(const std::string& data, std::uint64_t from, Journal::Recovered& out, std::string& tail) {
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) {
            tail = data.substr(start);
            return;
        }
        std::string_view line(data.data() + start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        start = end + 1;
        if (line.empty())
            continue;
        JournalEntry entry;
        entry.end = from + start;
        try {
            entry.statement = DecodeStatementLine(line);
            out.entries.push_back(std::move(entry));
        } catch (const BufferFileError&) {
            entry.statement.assign(line);
            out.undecodable.push_back(std::move(entry));
        }
    }
}

std::uint64_t FileSize(const std::filesystem::path& file) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return 0;
        Fail(file, "inspect", errno);
    }
    return static_cast<std::uint64_t>(info.st_size);
}

} // namespace

std::filesystem::path ProgressFileFor(const std::filesystem::path& journal) {
    std::filesystem::path progress = journal;
    progress += ".progress";
    return progress;
}

Journal::Journal(std::filesystem::path file) : file_(std::move(file)), progress_(ProgressFileFor(file_)) {}

Journal::~Journal() {
    Close();
}

void Journal::Close() {
    if (fd_ >= 0)
        close(fd_);
    if (progressFd_ >= 0)
        close(progressFd_);
    fd_ = -1;
    progressFd_ = -1;
    open_ = false;
}

Journal::Recovered PeekJournal(const std::filesystem::path& file) {
    Journal::Recovered out;
    std::optional<ProgressMark> mark = ReadProgress(ProgressFileFor(file));
    const std::uint64_t size = FileSize(file);
    std::uint64_t from = mark && mark->position <= size ? mark->position : 0;
    out.plainFile = !mark && size > 0;
    std::string tail;
    SplitJournal(ReadFrom(file, from), from, out, tail);
    if (!tail.empty() && out.plainFile) {
        JournalEntry entry{DecodeStatementLine(tail), size};
        out.entries.push_back(std::move(entry));
    }
    return out;
}

Journal::Recovered Journal::Open() {
    Recovered out;
    std::optional<ProgressMark> mark = ReadProgress(progress_);
    std::uint64_t size = FileSize(file_);
    std::string key = mark ? mark->key : NewId();
    std::string generation = mark ? mark->generation : NewId();
    std::uint64_t position = mark ? mark->position : 0;
    out.plainFile = !mark && size > 0;
    if (position > size) {
        // The journal was emptied after everything in it was committed, and the progress file was not
        // rewritten before the program ended: a new generation starts.
        generation = NewId();
        position = 0;
    }
    std::string tail;
    SplitJournal(ReadFrom(file_, position), position, out, tail);
    int fd = -1;
    if (size > 0 || !tail.empty()) {
        fd = open(file_.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            Fail(file_, "open", errno);
    }
    Fd journalFd(fd);
    if (!tail.empty()) {
        if (out.plainFile) {
            // A hand-written file without a last line end: the line is a statement; end it properly.
            out.entries.push_back(JournalEntry{DecodeStatementLine(tail), size + 2});
            if (pwrite(journalFd.get(), "\r\n", 2, static_cast<off_t>(size)) != 2 ||
                fsync(journalFd.get()) != 0)
                Fail(file_, "write", errno);
            size += 2;
        } else {
            // Half a line written when the program was killed: it was never acknowledged. Cut it off.
            out.cutBytes = tail.size();
            size -= tail.size();
            if (ftruncate(journalFd.get(), static_cast<off_t>(size)) != 0 || fsync(journalFd.get()) != 0)
                Fail(file_, "cut", errno);
        }
    }
    key_ = key;
    generation_ = generation;
    position_ = position;
    size_ = size;
    WriteProgressFile();
    fd_ = journalFd.Release();
    open_ = true;
    waiting_.clear();
    for (const JournalEntry& entry : out.entries)
        waiting_.push_back(entry.end);
    return out;
}

int Journal::OpenJournalFile() {
    if (fd_ >= 0)
        return fd_;
    int fd = open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        Fail(file_, "open", errno);
    SyncDirectory(file_);
    fd_ = fd;
    return fd_;
}

void Journal::Append(const std::vector<std::string>& statements, std::vector<std::uint64_t>& ends) {
    ends.clear();
    if (statements.empty())
        return;
    if (writeFault) {
        if (int error = writeFault(); error != 0)
            Fail(file_, "write", error);
    }
    std::string data;
    ends.reserve(statements.size());
    for (const std::string& statement : statements) {
        data += EncodeStatementLine(statement);
        data += "\r\n";
        ends.push_back(size_ + data.size());
    }
    int fd = OpenJournalFile();
    const char* at = data.data();
    size_t left = data.size();
    off_t offset = static_cast<off_t>(size_);
    int error = 0;
    while (left > 0) {
        ssize_t written = pwrite(fd, at, left, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = written < 0 ? errno : EIO;
            break;
        }
        at += written;
        left -= static_cast<size_t>(written);
        offset += written;
    }
    if (error == 0 && fdatasync(fd) != 0)
        error = errno;
    if (error != 0) {
        // Leave the file as it was: a retried append must not write a statement twice.
        if (ftruncate(fd, static_cast<off_t>(size_)) == 0)
            fdatasync(fd);
        ends.clear();
        Fail(file_, "write", error);
    }
    size_ += data.size();
    waiting_.insert(waiting_.end(), ends.begin(), ends.end());
}

void Journal::Mark(std::uint64_t position, bool durable) {
    position_ = position;
    while (!waiting_.empty() && waiting_.front() <= position)
        waiting_.pop_front();
    if (progressFd_ < 0)
        Fail(progress_, "write", EBADF);
    const std::string text = PositionText(position);
    const off_t offset = static_cast<off_t>(PositionOffset(key_, generation_));
    if (pwrite(progressFd_, text.data(), text.size(), offset) != static_cast<ssize_t>(text.size()))
        Fail(progress_, "write", errno == 0 ? EIO : errno);
    if (durable && fdatasync(progressFd_) != 0)
        Fail(progress_, "flush", errno);
}

void Journal::Compact() {
    if (writeFault) {
        if (int error = writeFault(); error != 0)
            Fail(file_, "empty", error);
    }
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (unlink(file_.c_str()) != 0 && errno != ENOENT)
        Fail(file_, "delete", errno);
    SyncDirectory(file_);
    size_ = 0;
    generation_ = NewId();
    position_ = 0;
    waiting_.clear();
    WriteProgressFile();
}

void Journal::WriteProgressFile() {
    std::filesystem::path temporary = progress_;
    temporary += ".new";
    const std::string text = ProgressText(key_, generation_, position_);
    {
        Fd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (fd.get() < 0)
            Fail(temporary, "create", errno);
        WriteAll(fd.get(), text.data(), text.size(), temporary);
        if (fsync(fd.get()) != 0)
            Fail(temporary, "flush", errno);
    }
    if (rename(temporary.c_str(), progress_.c_str()) != 0)
        Fail(progress_, "replace", errno);
    SyncDirectory(progress_);
    if (progressFd_ >= 0)
        close(progressFd_);
    progressFd_ = open(progress_.c_str(), O_RDWR | O_CLOEXEC);
    if (progressFd_ < 0)
        Fail(progress_, "open", errno);
}

} // namespace tagsink
