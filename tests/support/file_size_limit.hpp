// A full disk without a file system of its own: limits the size of the files this process writes, so a
// write past the limit fails (EFBIG) instead of ending the process. Undone when it goes out of scope, also
// when a test fails on the way.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstdint>

namespace tagsink::testing {

class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes) {
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limited = old_;
        limited.rlim_cur = bytes;
        set_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    /// Whether the limit is in force.
    bool Set() const { return set_; }

private:
    rlimit old_{};
    void (*old_handler_)(int) = SIG_DFL;
    bool set_ = false;
};

} // namespace tagsink::testing
