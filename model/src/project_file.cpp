#include "model/project_file.hpp"

#include "model/project_error.hpp"
#include "model/server.hpp"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <fstream>
#include <iterator>
#endif

namespace tagsink {

namespace {

std::string SystemMessage(int error) {
    return std::generic_category().message(error);
}

[[noreturn]] void CannotCreate(const std::filesystem::path& path, int error) {
    throw ProjectError("Cannot create file \"" + path.string() + "\". " + SystemMessage(error));
}
[[noreturn]] void CannotWrite(const std::filesystem::path& path, int error) {
    throw ProjectError("Cannot write file \"" + path.string() + "\". " + SystemMessage(error));
}
[[noreturn]] void CannotOpen(const std::filesystem::path& path, int error) {
    throw ProjectError("Cannot open file \"" + path.string() + "\". " + SystemMessage(error));
}

#ifndef _WIN32

// A file descriptor closed on scope exit.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void Reset(int fd) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    /// Closes now and reports close's own failure (the last chance to see a delayed write error).
    int Close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

// A temporary file removed on scope exit unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~TempFile() {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::filesystem::path& path() const { return path_; }
    void Release() { path_.clear(); }

private:
    std::filesystem::path path_;
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The file that the path names in the end: a symbolic link is followed, so that saving through a link
// replaces the file it points at rather than the link itself.
std::filesystem::path ResolveTarget(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) {
        auto resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec)
            return resolved;
    }
    return path;
}

void AtomicWrite(const std::filesystem::path& path, std::string_view bytes) {
    const std::filesystem::path target = ResolveTarget(path);
    std::filesystem::path dir = target.parent_path();
    if (dir.empty())
        dir = ".";

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists) {
        if (S_ISDIR(existing.st_mode))
            CannotCreate(path, EISDIR);
        // A file the user may not write stays as it is, as truncating it would.
        if (::access(target.c_str(), W_OK) != 0)
            CannotCreate(path, errno);
    }

    static std::atomic<unsigned> counter{0};
    Fd fd;
    std::filesystem::path tempPath;
    for (int attempt = 0; attempt < 100 && fd.get() < 0; ++attempt) {
        tempPath = dir / ("." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                          std::to_string(counter.fetch_add(1)));
        fd.Reset(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.get() < 0 && errno != EEXIST)
            break;
    }
    if (fd.get() < 0)
        CannotCreate(path, errno);
    TempFile temp(tempPath);
    if (exists)
        (void)::fchmod(fd.get(), existing.st_mode & 07777);

    if (!WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0) {
        const int error = errno;
        CannotWrite(path, error);
    }
    if (fd.Close() != 0)
        CannotWrite(path, errno);
    if (::rename(temp.path().c_str(), target.c_str()) != 0)
        CannotCreate(path, errno);
    temp.Release();

    // Make the rename itself durable.
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0)
        (void)::fsync(dirFd.get());
}

std::string ReadAll(const std::filesystem::path& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        CannotOpen(path, errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        CannotOpen(path, errno);
    if (S_ISDIR(info.st_mode))
        CannotOpen(path, EISDIR);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            CannotOpen(path, errno);
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

#else // _WIN32: the same contract with the standard library

void AtomicWrite(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::path temp = path;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            CannotCreate(path, errno);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(temp);
            CannotWrite(path, errno);
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp);
        throw ProjectError("Cannot create file \"" + path.string() + "\". " + ec.message());
    }
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        CannotOpen(path, errno);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

#endif

} // namespace

void SaveProjectFile(const TServer& root, const std::filesystem::path& path) {
    AtomicWrite(path, WriteProjectStream(root));
}

void LoadProjectFile(TServer& root, const std::filesystem::path& path, const PropertyReadObserver& observer) {
    ReadProjectStream(ReadAll(path), root, observer);
}

void TServer::SaveToFile(const std::filesystem::path& path) {
    SaveProjectFile(*this, path);
    SetDirty(false);
}

void TServer::LoadFromFile(const std::filesystem::path& path) {
    LoadProjectFile(*this, path);
}

} // namespace tagsink
