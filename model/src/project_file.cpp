#include "model/project_file.hpp"

#include "model/project_error.hpp"
#include "model/server.hpp"

#include "platform/durable_file.hpp"
#include "platform/path_text.hpp"

#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>

namespace tagsink {

namespace {

using qz::DurableFile;

[[noreturn]] void CannotCreate(const std::filesystem::path& path, std::error_code error) {
    throw ProjectError("Cannot create file \"" + qz::PathUtf8(path) + "\". " + error.message());
}
[[noreturn]] void CannotWrite(const std::filesystem::path& path, std::error_code error) {
    throw ProjectError("Cannot write file \"" + qz::PathUtf8(path) + "\". " + error.message());
}
[[noreturn]] void CannotOpen(const std::filesystem::path& path, std::error_code error) {
    throw ProjectError("Cannot open file \"" + qz::PathUtf8(path) + "\". " + error.message());
}

// A temporary file removed on scope exit unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~TempFile() {
        if (!path_.empty())
            (void)qz::RemoveFile(path_);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::filesystem::path& path() const { return path_; }
    void Release() { path_.clear(); }

private:
    std::filesystem::path path_;
};

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

// Writes the new contents beside the file, flushes them to the disk and puts them in its place in one
// step: a crash leaves the old file or the new one, never a half-written one.
void AtomicWrite(const std::filesystem::path& path, std::string_view bytes) {
    const std::filesystem::path target = ResolveTarget(path);
    std::filesystem::path dir = target.parent_path();
    if (dir.empty())
        dir = ".";

    bool exists = false;
    if (std::error_code error = qz::CheckReplaceable(target, exists))
        CannotCreate(path, error);

    static std::atomic<unsigned> counter{0};
    DurableFile out;
    std::error_code error = qz::ErrnoError(EEXIST);
    std::filesystem::path temp_path;
    for (int attempt = 0; attempt < 100 && error == std::errc::file_exists; ++attempt) {
        // Made of path parts, so that the name keeps every character on every platform.
        std::filesystem::path temp_name = ".";
        temp_name += target.filename();
        temp_name +=
            ".tmp-" + std::to_string(qz::CurrentProcessId()) + "-" + std::to_string(counter.fetch_add(1));
        temp_path = dir / temp_name;
        error = out.Open(temp_path, DurableFile::Mode::CreateNew);
    }
    if (error)
        CannotCreate(path, error);
    TempFile temp(temp_path);
    if (exists)
        out.CopyPermissionsFrom(target);

    error = out.WriteAt(0, bytes);
    if (!error)
        error = out.Flush();
    if (error)
        CannotWrite(path, error);
    if ((error = out.Close()))
        CannotWrite(path, error);
    if ((error = qz::ReplaceFile(temp.path(), target)))
        CannotCreate(path, error);
    temp.Release();
    // Make the rename itself durable.
    qz::SyncFolderOf(target);
}

std::string ReadAll(const std::filesystem::path& path) {
    DurableFile in;
    if (std::error_code error = in.Open(path, DurableFile::Mode::Read))
        CannotOpen(path, error);
    if (in.IsDirectory())
        CannotOpen(path, qz::ErrnoError(EISDIR));
    std::string bytes;
    if (std::error_code error = in.ReadFrom(0, bytes))
        CannotOpen(path, error);
    return bytes;
}

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
