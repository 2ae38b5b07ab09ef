// One pass of the record thread and the buffer file work around it (DoRecord, LoadItem, SaveOutList).
//
// A pass moves the root's PendingList to its OutList when the buffer limits say so, opens the database
// when it is closed, replays "sql.dat" first, then executes the waiting statements one by one, each logged
// before it runs; while the database cannot be opened, more than 1000 waiting statements are appended to
// "sql.dat". The Recorder is used by one thread at a time (the record thread); tests drive it directly.
//
// Beyond a plain retry loop it keeps the queue moving and loses nothing:
//   - a statement the database refuses for itself is tried a few times, then moved with the database's
//     message to "sql.rejected" beside "sql.dat", and the statements behind it go on;
//   - a "sql.dat" that cannot be read (or deleted) stays where it is and none of it is taken, so nothing is
//     executed twice; escaped lines that cannot be decoded go to the reject file;
//   - Finish (the last pass before the thread ends) executes what it can within a short time and appends
//     everything still waiting to "sql.dat", to be replayed by the next run;
//   - after a failed open the next attempt waits a little longer each time (up to a limit), so an absent
//     database is not hammered every millisecond.
#pragma once

#include "engine/runtime/clock.hpp"
#include "engine/runtime/engine_reporter.hpp"
#include "engine/runtime/recorder_stats.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace tagsink {

class TServer;

struct RecorderOptions {
    /// The buffer file; relative paths are taken from the current directory when used.
    std::filesystem::path bufferFile{"sql.dat"};
    /// The reject file; empty: "sql.rejected" beside the buffer file.
    std::filesystem::path rejectFile;
    /// Attempts before a refused statement is moved to the reject file.
    int rejectAfterAttempts = 3;
    /// More waiting statements than this are spilled while the database cannot be opened.
    std::size_t spillAbove = 1000;
    /// Command time-out given to the connection when it is opened.
    std::chrono::seconds commandTimeout{10};
    /// How long Finish may spend executing before it spills the rest.
    std::chrono::milliseconds finishBudget{3000};
    /// First and longest wait between failed attempts to open the database.
    std::chrono::milliseconds firstReconnectDelay{50};
    std::chrono::milliseconds longestReconnectDelay{2000};
};

class Recorder {
public:
    Recorder(TServer& server, const Clock& clock, EngineReporter& reporter, RecorderStats& stats,
             RecorderOptions options = {});

    /// One pass; returns whether it moved statements from PendingList.
    bool DoRecord();

    /// The last pass: moves every pending statement, executes within the finish budget while the
    /// database is open, and appends whatever is still waiting to the buffer file.
    void Finish();

    /// Takes the buffer file's statements in front of OutList and deletes the file (see above).
    void LoadItem();

    /// Appends OutList to the buffer file and clears it; on failure OutList stays as it was.
    void SaveOutList();

    const RecorderOptions& Options() const { return options_; }
    std::filesystem::path RejectFile() const;

private:
    bool MovePending(bool always);
    void Connect();
    // Executes OutList's statements in order until it is empty, the connection fails, a statement is
    // refused and has attempts left, or `deadline` (if any) passes.
    void ExecuteOutList(const std::chrono::steady_clock::time_point* deadline);
    void Reject(const std::string& statement, const std::string& message);
    void ShowDb(bool connected);
    void Log(std::string_view operation, std::string_view text);

    TServer& server_;
    const Clock& clock_;
    EngineReporter& reporter_;
    RecorderStats& stats_;
    RecorderOptions options_;
    // Refused-statement bookkeeping: the statement at the head of OutList and how often it was refused.
    std::string refusedHead_;
    int refusedAttempts_ = 0;
    // Reconnect pacing.
    bool waitingToReconnect_ = false;
    std::uint32_t lastConnectAttempt_ = 0;
    std::chrono::milliseconds reconnectDelay_{0};
    std::string lastLoadError_;
    int dbShown_ = -1; // -1 nothing shown yet, 0 disconnected, 1 connected
};

/// The local time "yyyy-mm-dd hh:nn:ss" for log and reject file lines.
std::string LocalTimeText();

} // namespace tagsink
