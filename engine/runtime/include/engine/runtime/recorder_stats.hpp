// Counters of the record thread for progress displays (the runner's progress line, the main window's
// health panel). Written by the record thread, readable from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace tagsink {

struct RecorderStats {
    std::atomic<std::uint64_t> executed{0};  // statements the database accepted
    std::atomic<std::uint64_t> spilled{0};   // statements written to the buffer file
    std::atomic<std::uint64_t> replayed{0};  // statements taken back from the buffer file
    std::atomic<std::uint64_t> rejected{0};  // statements moved to the reject file (quarantined)
    std::atomic<std::uint64_t> waiting{0};   // statements in OutList after the last pass
    std::atomic<std::uint64_t> journaled{0}; // statements in the buffer file ("sql.dat") now
    std::atomic<std::uint64_t> failures{0};  // failed database or disk operations since the start
    std::atomic<std::uint64_t> lost{0};      // statements that could be kept nowhere
    std::atomic<bool> db_connected{false};
    std::atomic<bool> journal_failing{false}; // the journal cannot be written now

    struct Failure {
        std::string text; // empty: no failure yet
        std::chrono::system_clock::time_point when{};
    };

    /// Counts one failure and keeps its text as the last one.
    void NoteFailure(std::string text,
                     std::chrono::system_clock::time_point when = std::chrono::system_clock::now()) {
        failures.fetch_add(1);
        std::lock_guard lock(failure_mutex_);
        last_failure_ = Failure{std::move(text), when};
    }

    /// The last failure (empty text when there was none).
    Failure LastFailure() const {
        std::lock_guard lock(failure_mutex_);
        return last_failure_;
    }

private:
    mutable std::mutex failure_mutex_;
    Failure last_failure_;
};

} // namespace tagsink
