// Durable files over POSIX file descriptors or Windows file handles.
#include "platform/durable_file.hpp"

#include <algorithm>
#include <cerrno>
#include <limits>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qz {

std::error_code ErrnoError(int error) noexcept {
    return std::error_code(error, std::generic_category());
}

#ifdef _WIN32

namespace {

std::error_code LastError() noexcept {
    const DWORD error = GetLastError();
    return std::error_code(static_cast<int>(error != 0 ? error : ERROR_GEN_FAILURE), std::system_category());
}

HANDLE AsHandle(void* handle) noexcept {
    return static_cast<HANDLE>(handle);
}

OVERLAPPED At(std::uint64_t offset) noexcept {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

} // namespace

DurableFile::~DurableFile() {
    (void)Close();
}

DurableFile::DurableFile(DurableFile&& other) noexcept : handle_(other.handle_) {
    other.handle_ = INVALID_HANDLE_VALUE;
}

DurableFile& DurableFile::operator=(DurableFile&& other) noexcept {
    if (this != &other) {
        (void)Close();
        handle_ = other.handle_;
        other.handle_ = INVALID_HANDLE_VALUE;
    }
    return *this;
}

bool DurableFile::IsOpen() const noexcept {
    return AsHandle(handle_) != INVALID_HANDLE_VALUE;
}

std::error_code DurableFile::Open(const std::filesystem::path& path, Mode mode) {
    (void)Close();
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
    case Mode::Read:
        access = GENERIC_READ;
        break;
    case Mode::ReadWrite:
        break;
    case Mode::OpenOrCreate:
        disposition = OPEN_ALWAYS;
        break;
    case Mode::CreateNew:
        disposition = CREATE_NEW;
        break;
    case Mode::CreateOrTruncate:
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    }
    // Shared for reading, writing and deleting, as a POSIX descriptor is: a reader (the buffer tool, a
    // backup) does not block the recorder, and a file may be renamed or deleted while it is open.
    HANDLE handle = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastError();
    handle_ = handle;
    return {};
}

std::error_code DurableFile::Size(std::uint64_t& size) const {
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(AsHandle(handle_), &value))
        return LastError();
    size = static_cast<std::uint64_t>(value.QuadPart);
    return {};
}

bool DurableFile::IsDirectory() const {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(AsHandle(handle_), &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::error_code DurableFile::ReadAt(std::uint64_t offset, char* data, std::size_t size,
                                    std::size_t& got) const {
    got = 0;
    OVERLAPPED at = At(offset);
    DWORD read = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(AsHandle(handle_), data, chunk, &read, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF)
            return {};
        return LastError();
    }
    got = read;
    return {};
}

std::error_code DurableFile::WriteAt(std::uint64_t offset, std::string_view data) {
    while (!data.empty()) {
        OVERLAPPED at = At(offset);
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
        if (!WriteFile(AsHandle(handle_), data.data(), chunk, &written, &at))
            return LastError();
        if (written == 0)
            return std::error_code(ERROR_WRITE_FAULT, std::system_category());
        data.remove_prefix(written);
        offset += written;
    }
    return {};
}

std::error_code DurableFile::Truncate(std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(AsHandle(handle_), FileEndOfFileInfo, &end, sizeof end))
        return LastError();
    return {};
}

std::error_code DurableFile::Flush(bool) {
    if (!FlushFileBuffers(AsHandle(handle_)))
        return LastError();
    return {};
}

void DurableFile::CopyPermissionsFrom(const std::filesystem::path&) noexcept {}

std::error_code DurableFile::Close() noexcept {
    if (!IsOpen())
        return {};
    HANDLE handle = AsHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle))
        return LastError();
    return {};
}

bool IsNotFound(const std::error_code& error) noexcept {
    if (error.category() == std::system_category())
        return error.value() == ERROR_FILE_NOT_FOUND || error.value() == ERROR_PATH_NOT_FOUND;
    return error == std::errc::no_such_file_or_directory;
}

std::error_code ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to) noexcept {
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return LastError();
    return {};
}

void SyncFolderOf(const std::filesystem::path&) noexcept {}

std::error_code RemoveFile(const std::filesystem::path& file) noexcept {
    if (!DeleteFileW(file.c_str()))
        return LastError();
    return {};
}

std::error_code FileSizeOf(const std::filesystem::path& path, std::uint64_t& size) noexcept {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return LastError();
    size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return {};
}

std::error_code CheckReplaceable(const std::filesystem::path& path, bool& exists) noexcept {
    exists = false;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        std::error_code error = LastError();
        return IsNotFound(error) ? std::error_code() : error;
    }
    exists = true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return ErrnoError(EISDIR);
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return std::error_code(ERROR_ACCESS_DENIED, std::system_category());
    return {};
}

std::uint64_t CurrentProcessId() noexcept {
    return GetCurrentProcessId();
}

#else // POSIX

namespace {

std::error_code LastError() noexcept {
    return ErrnoError(errno != 0 ? errno : EIO);
}

} // namespace

DurableFile::~DurableFile() {
    (void)Close();
}

DurableFile::DurableFile(DurableFile&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

DurableFile& DurableFile::operator=(DurableFile&& other) noexcept {
    if (this != &other) {
        (void)Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool DurableFile::IsOpen() const noexcept {
    return fd_ >= 0;
}

std::error_code DurableFile::Open(const std::filesystem::path& path, Mode mode) {
    (void)Close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read:
        flags |= O_RDONLY;
        break;
    case Mode::ReadWrite:
        flags |= O_RDWR;
        break;
    case Mode::OpenOrCreate:
        flags |= O_RDWR | O_CREAT;
        break;
    case Mode::CreateNew:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        break;
    case Mode::CreateOrTruncate:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return LastError();
    fd_ = fd;
    return {};
}

std::error_code DurableFile::Size(std::uint64_t& size) const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0)
        return LastError();
    size = static_cast<std::uint64_t>(info.st_size);
    return {};
}

bool DurableFile::IsDirectory() const {
    struct stat info {};
    return ::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode);
}

std::error_code DurableFile::ReadAt(std::uint64_t offset, char* data, std::size_t size,
                                    std::size_t& got) const {
    got = 0;
    for (;;) {
        const ssize_t n = ::pread(fd_, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return LastError();
        got = static_cast<std::size_t>(n);
        return {};
    }
}

std::error_code DurableFile::WriteAt(std::uint64_t offset, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::pwrite(fd_, data.data(), data.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return LastError();
        if (n == 0)
            return ErrnoError(EIO);
        data.remove_prefix(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    return {};
}

std::error_code DurableFile::Truncate(std::uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        return LastError();
    return {};
}

std::error_code DurableFile::Flush(bool with_metadata) {
    if ((with_metadata ? ::fsync(fd_) : ::fdatasync(fd_)) != 0)
        return LastError();
    return {};
}

void DurableFile::CopyPermissionsFrom(const std::filesystem::path& source) noexcept {
    struct stat info {};
    if (fd_ >= 0 && ::stat(source.c_str(), &info) == 0)
        (void)::fchmod(fd_, info.st_mode & 07777);
}

std::error_code DurableFile::Close() noexcept {
    if (fd_ < 0)
        return {};
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        return LastError();
    return {};
}

bool IsNotFound(const std::error_code& error) noexcept {
    return error == std::errc::no_such_file_or_directory;
}

std::error_code ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to) noexcept {
    if (::rename(from.c_str(), to.c_str()) != 0)
        return LastError();
    return {};
}

void SyncFolderOf(const std::filesystem::path& file) noexcept {
    std::filesystem::path dir = file.parent_path();
    if (dir.empty())
        dir = ".";
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

std::error_code RemoveFile(const std::filesystem::path& file) noexcept {
    if (::unlink(file.c_str()) != 0)
        return LastError();
    return {};
}

std::error_code FileSizeOf(const std::filesystem::path& path, std::uint64_t& size) noexcept {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return LastError();
    size = static_cast<std::uint64_t>(info.st_size);
    return {};
}

std::error_code CheckReplaceable(const std::filesystem::path& path, bool& exists) noexcept {
    struct stat info {};
    exists = ::stat(path.c_str(), &info) == 0;
    if (!exists)
        return {}; // nothing to keep: creating the file reports what is wrong with its folder
    if (S_ISDIR(info.st_mode))
        return ErrnoError(EISDIR);
    // A file the user may not write stays as it is, as truncating it would.
    if (::access(path.c_str(), W_OK) != 0)
        return LastError();
    return {};
}

std::uint64_t CurrentProcessId() noexcept {
    return static_cast<std::uint64_t>(::getpid());
}

#endif

std::error_code DurableFile::ReadFrom(std::uint64_t offset, std::string& out) const {
    char buffer[65536];
    for (;;) {
        std::size_t got = 0;
        if (std::error_code error = ReadAt(offset, buffer, sizeof buffer, got))
            return error;
        if (got == 0)
            return {};
        out.append(buffer, got);
        offset += got;
    }
}

} // namespace qz
