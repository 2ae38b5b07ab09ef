// What a replay of the statement journal must leave behind: every statement that was kept while the
// database was away arrives exactly once, before the statements of the run that replayed it, and the
// journal is empty afterwards. Checked from the files alone, so the Windows stage can hold the programs
// it ran under Wine to the same rule the engine's own tests hold the Linux build to.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tagsink::testing {

struct ReplayFiles {
    std::filesystem::path kept_journal; // a copy of "sql.dat" (and its progress file) taken before the replay
    std::filesystem::path journal;      // "sql.dat" after the replaying run
    std::filesystem::path database;     // the SQLite file the runs record into
    std::string table;
    std::size_t queued = 0; // statements the replaying run queued of its own
};

struct ReplayOutcome {
    std::size_t kept = 0;
    std::size_t rows = 0;
    std::size_t left = 0;
    std::vector<std::string> faults; // empty: every kept statement arrived once, first, and nothing is left
};

ReplayOutcome CheckReplay(const ReplayFiles& files);

/// The number of statements the last progress line of a tagsink-run log says were queued ("queued N ..."),
/// or nothing when the log holds no such line.
std::optional<std::size_t> QueuedFromLog(const std::filesystem::path& log);

} // namespace tagsink::testing
