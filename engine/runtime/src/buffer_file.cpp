#include "engine/runtime/buffer_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
