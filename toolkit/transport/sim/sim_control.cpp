#include "sim_control.hpp"

#include "platform/ascii.hpp"
#include "platform/utf16.hpp"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace tagclient::transport::sim {
namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = qz::AsciiLower(c);
    return text;
}

std::string Trim(const std::string& text) {
    std::size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return {};
    std::size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modified_ns = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity Identify(const char* path) {
    FileIdentity id;
    struct stat st {};
    if (::stat(path, &st) != 0)
        return id;
    id.exists = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
#ifdef _WIN32
    // The C runtime's stat keeps whole seconds; size and the other fields still tell most rewrites apart.
    id.modified_ns = static_cast<long long>(st.st_mtime) * 1000000000LL;
#else
    id.modified_ns = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
#endif
    return id;
}

} // namespace

ControlReading ParseControl(const std::string& text) {
    ControlReading reading;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        std::size_t space = line.find_first_of(" \t");
        std::string word = Lower(line.substr(0, space));
        std::string rest = space == std::string::npos ? std::string() : Trim(line.substr(space));
        if (word == "down") {
            reading.state = ControlState::Down;
        } else if (word == "shutdown") {
            reading.state = ControlState::Shutdown;
            reading.reason = qz::Utf8ToUtf16(rest.empty() ? "Shutdown requested by the control file" : rest);
        }
        break;
    }
    return reading;
}

bool ControlEnabled() {
    const char* path = std::getenv(kControlVariable);
    return path != nullptr && *path != '\0';
}

ControlReading ReadControl() {
    const char* path = std::getenv(kControlVariable);
    if (path == nullptr || *path == '\0')
        return {};
    static std::mutex mutex;
    static std::string last_path;
    static FileIdentity last_identity;
    static std::string last_text;
    static ControlReading last;
    std::lock_guard lock(mutex);
    FileIdentity identity = Identify(path);
    if (path == last_path && identity == last_identity)
        return last;
    std::string text;
    if (identity.exists) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        text = content.str();
    }
    const bool changed = path != last_path || text != last_text;
    last_path = path;
    last_identity = identity;
    if (changed) {
        const std::uint64_t version = last.version + 1;
        last = ParseControl(text);
        last.version = version;
        last_text = std::move(text);
    }
    return last;
}

} // namespace tagclient::transport::sim
