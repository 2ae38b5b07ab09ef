// Files whose writes must survive a crash or a power cut: the statement journal, the project file.
//
// One handle type over a POSIX file descriptor or a Windows file handle, with positional reads and
// writes, flushing to the disk (fsync / FlushFileBuffers), truncation, and atomic replacement of one file
// by another (rename / MoveFileExW). Errors are std::error_code values: errno values (generic category)
// on POSIX, GetLastError values (system category) on Windows; their message() is the system's text.
#pragma once
#include "platform/oleauto.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace qz {

class QZ_OLEAUT_API DurableFile {
public:
    enum class Mode {
        Read,            ///< an existing file, for reading
        ReadWrite,       ///< an existing file, for reading and writing
        OpenOrCreate,    ///< read and write; created empty when missing
        CreateNew,       ///< read and write; fails with "file exists" when the name is taken
        CreateOrTruncate ///< write; created when missing, emptied when present
    };

    DurableFile() = default;
    ~DurableFile();
    DurableFile(DurableFile&& other) noexcept;
    DurableFile& operator=(DurableFile&& other) noexcept;
    DurableFile(const DurableFile&) = delete;
    DurableFile& operator=(const DurableFile&) = delete;

    /// Opens `path` (closing what this handle had open). The handle is not inherited by child processes,
    /// and on Windows others may read, write, rename and delete the file while it is open.
    std::error_code Open(const std::filesystem::path& path, Mode mode);
    bool IsOpen() const noexcept;

    /// The file's size in bytes.
    std::error_code Size(std::uint64_t& size) const;
    /// Whether the open file is a directory (POSIX opens directories for reading).
    bool IsDirectory() const;
    /// Reads at most `size` bytes at `offset` into `data`; `got` is 0 at the end of the file.
    std::error_code ReadAt(std::uint64_t offset, char* data, std::size_t size, std::size_t& got) const;
    /// Appends everything from `offset` to the end of the file to `out`.
    std::error_code ReadFrom(std::uint64_t offset, std::string& out) const;
    /// Writes all of `data` at `offset`, or fails.
    std::error_code WriteAt(std::uint64_t offset, std::string_view data);
    /// Cuts (or extends with zero bytes) the file to `size` bytes.
    std::error_code Truncate(std::uint64_t size);
    /// Waits until the file's data is on the disk; with `with_metadata` its size and times too (fsync),
    /// otherwise only what is needed to read the data back (fdatasync). Windows always flushes both.
    std::error_code Flush(bool with_metadata = true);
    /// Gives the file the permission bits of `source` (POSIX; nothing on Windows). Best effort.
    void CopyPermissionsFrom(const std::filesystem::path& source) noexcept;
    /// Closes the file and reports the close's own failure (the last chance to see a delayed write
    /// error). Closing a handle that is not open succeeds.
    std::error_code Close() noexcept;

private:
#ifdef _WIN32
    void* handle_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));
#else
    int fd_ = -1;
#endif
};

/// Whether `error` says that the file, or a folder on its path, does not exist.
QZ_OLEAUT_API bool IsNotFound(const std::error_code& error) noexcept;
/// The error code of a C library errno value (generic category), for faults the caller detects itself.
QZ_OLEAUT_API std::error_code ErrnoError(int error) noexcept;

/// Puts `from` in the place of `to` in one step: a reader sees the old or the new file, never neither and
/// never a half-written one (rename; MoveFileExW with MOVEFILE_REPLACE_EXISTING and
/// MOVEFILE_WRITE_THROUGH). Both must be in the same folder.
QZ_OLEAUT_API std::error_code ReplaceFile(const std::filesystem::path& from,
                                          const std::filesystem::path& to) noexcept;
/// Makes a change of the entries of the folder that holds `file` (a created, renamed or deleted file)
/// durable: fsync of the folder on POSIX; Windows' file systems do that with the change. Best effort.
QZ_OLEAUT_API void SyncFolderOf(const std::filesystem::path& file) noexcept;
/// Deletes a file. A file that does not exist is an error that IsNotFound recognises.
QZ_OLEAUT_API std::error_code RemoveFile(const std::filesystem::path& file) noexcept;
/// The size of the file at `path`.
QZ_OLEAUT_API std::error_code FileSizeOf(const std::filesystem::path& path, std::uint64_t& size) noexcept;
/// Whether an existing file at `path` may be replaced by the caller: no when it is a folder ("is a
/// directory") or when the caller may not write it (read-only). `exists` tells whether it exists.
QZ_OLEAUT_API std::error_code CheckReplaceable(const std::filesystem::path& path, bool& exists) noexcept;
/// This process's id, for names of temporary files.
QZ_OLEAUT_API std::uint64_t CurrentProcessId() noexcept;

} // namespace qz
