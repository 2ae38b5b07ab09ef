// One pass of the record thread and the journal work around it (DoRecord, LoadItem, SaveOutList).
//
// A pass moves the root's PendingList to its OutList when the buffer limits say so, places the moved
// statements in the journal "sql.dat" and then executes the journaled statements in order, in
// transactions of many statements, each statement logged before it runs. Writing their text to the
// journal and flushing it to disk run meanwhile on a helper thread; a transaction commits only once the
// flush of its statements is done. A statement leaves the journal only after the database has committed
// it (buffer_file.hpp describes the files), so a kill at any moment costs at most what was still in
// PendingList.
//
// Where the database has transactions the journal position is committed in the same transaction as the
// statements, in a small table of the target database ("tagsink_journal"), so that a replay after a kill
// skips what was already committed: every statement arrives exactly once. Where that table cannot be
// created (or transactions are switched off) the position is kept only beside the journal and a kill can
// repeat the last batch (at least once; logged once).
//
// Refusals:
//   - a lost connection: reconnect with growing pauses and try the same statements again, for ever;
//   - a refusal that can pass (read-only, locked, busy, deadlock, time-out, resources, a missing table or
//     column, a permission): the statement is tried again after 1 s, 2 s, 4 s ... up to 60 s, the ones
//     behind it waiting in order; after the retry window (10 minutes) it goes to "sql.rejected";
//   - syntax, data and constraint errors: the statement goes to "sql.rejected" at once with the
//     database's message, and the ones behind it go on.
// A batch that fails is rolled back and run again one statement at a time, so only the refused statement
// takes the refused path.
//
// Where the connection takes several statements in one call (PostgreSQL; MariaDB and MySQL with the
// driver's multi-statement option; statement_list.hpp says which statements are joined), a batch goes to
// the database in as few calls as the statements allow, the progress row in the first of them: one round
// trip for the statements and one for the commit.
//
// Finish (the last pass before the thread ends) executes what it can within its budget; everything else
// stays in the journal for the next run. The Recorder is used by one thread at a time (the record
// thread), except RequestStop; tests drive it directly.
#pragma once

#include "engine/runtime/buffer_file.hpp"
#include "engine/runtime/clock.hpp"
#include "engine/runtime/engine_reporter.hpp"
#include "engine/runtime/recorder_stats.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <future>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace tagsink {

class TServer;
namespace db {
class Transactions;
}

/// The table in the target database that holds each journal's committed position.
inline constexpr std::string_view kProgressTableName = "tagsink_journal";

struct RecorderOptions {
    /// The journal; relative paths are taken from the current directory when used.
    std::filesystem::path buffer_file{"sql.dat"};
    /// The reject file; empty: "sql.rejected" beside the journal.
    std::filesystem::path reject_file;
    /// Command time-out given to the connection when it is opened.
    std::chrono::seconds command_timeout{10};
    /// How long Finish may spend executing; the rest stays in the journal.
    std::chrono::milliseconds finish_budget{3000};
    /// First and longest wait between failed attempts to open the database (also after a connection
    /// that broke while executing).
    std::chrono::milliseconds first_reconnect_delay{50};
    std::chrono::milliseconds longest_reconnect_delay{2000};
    /// Statements per transaction.
    std::size_t batch_size = 500;
    /// Every statement on its own, in autocommit (drivers without transactions, procedures that manage
    /// their own).
    bool single_statements = false;
    /// Flush the journal while the statements it took execute, holding their commit until the flush is
    /// done (in transactions only); off: flush before executing.
    bool overlap_journal_flush = true;
    /// Several statements of a batch in one driver call where the connection takes them; off: one call per
    /// statement, as in a plain batched loop.
    bool statement_lists = true;
    /// Keep the journal position in the target database (exactly once); off: at least once.
    bool progress_table = true;
    /// Pauses between attempts of a statement refused for a reason that can pass.
    std::chrono::milliseconds first_retry_delay{1000};
    std::chrono::milliseconds longest_retry_delay{60000};
    /// How long such a statement is retried before it goes to the reject file.
    std::chrono::milliseconds retry_window{600000};
    /// First and longest pause between attempts to write a failing journal.
    std::chrono::milliseconds first_disk_retry_delay{100};
    std::chrono::milliseconds longest_disk_retry_delay{5000};
    /// Test hook handed to the journal (Journal::write_fault).
    std::function<int()> journal_fault;
    /// Test hook handed to the journal (Journal::flush_fault).
    std::function<int()> journal_flush_fault;
};

class Recorder {
public:
    Recorder(TServer& server, const Clock& clock, EngineReporter& reporter, RecorderStats& stats,
             RecorderOptions options = {});
    ~Recorder();

    /// One pass; returns whether it moved statements from PendingList.
    bool DoRecord();

    /// The last pass: moves every pending statement into the journal and executes within the finish
    /// budget while the database is open; whatever is left stays in the journal.
    void Finish();

    /// Opens the journal when it is not open yet: its uncommitted statements go in front of OutList.
    void LoadItem();

    /// Writes the statements of OutList that are not journaled yet to the journal. With `overlap` the
    /// write (while the journal works) and the flush run in the background (CompleteFlush waits for
    /// them); otherwise they are on disk on return.
    void SaveOutList(bool overlap = false);

    /// Asks a pass that is executing to return after its current statement (any thread).
    void RequestStop() { stop_requested_.store(true); }

    const RecorderOptions& Options() const { return options_; }
    std::filesystem::path RejectFile() const;

private:
    enum class Outcome { Committed, Failed, Interrupted };

    bool MovePending(bool always);
    void ReleasePending();
    void Connect(bool ignore_pause);
    void SetUpConnection();
    void SetUpProgress();
    void SkipCommitted(std::uint64_t position);
    // Executes journaled statements until none is left, the connection fails, a refused statement waits
    // for its retry, a stop is requested (without deadline) or `deadline` passes.
    void ExecuteOutList(const std::chrono::steady_clock::time_point* deadline);
    // Executes `count` statements in one transaction; while the journal's flush runs it goes on past
    // `count` (up to all journaled statements) and sets `count` to what it committed.
    Outcome RunBatch(std::size_t& count, const std::chrono::steady_clock::time_point* deadline,
                     std::exception_ptr& error);
    // Waits for the journal's flush started by SaveOutList(true); false when it failed (the statements
    // it held are then in memory only, as after a failed write).
    bool CompleteFlush();
    // SaveOutList's write and flush on a helper thread; false when the journal cannot take them (then
    // nothing has changed).
    bool WriteInBackground();
    // Writes `unwritten_` and flushes the journal on a helper thread (here when no thread can be had).
    void FlushInBackground();
    // What a flush's outcome means for the statements it held; `works` notes a journal that works again.
    bool FlushFinished(std::error_code error, bool works);
    bool Flushing() const { return flush_.valid(); }
    bool FlushDone() const;
    void Committed(std::size_t count);
    std::string ProgressUpdate(std::uint64_t position) const;
    bool Quarantine(const std::string& reason);
    void ExecuteUnjournaled(const std::chrono::steady_clock::time_point& deadline);
    void MaybeCompact();
    void JournalFailed(const std::exception& error, std::string_view operation = "TServer.SaveOutList");
    void JournalWorks();
    void LostConnection(const std::string& message);
    void UpdateStats();
    void ShowDb(bool connected);
    void Log(std::string_view operation, std::string_view text);
    void LogStatement(std::string_view statement); // "sql=<statement>" under TServer.DoRecord
    std::size_t Journaled() const { return ends_.size(); }
    std::size_t Unjournaled() const;
    bool Due(bool waiting, std::uint32_t since, std::chrono::milliseconds delay) const;

    TServer& server_;
    const Clock& clock_;
    EngineReporter& reporter_;
    RecorderStats& stats_;
    RecorderOptions options_;
    Journal journal_;
    // End positions in the journal of OutList's first Journaled() statements; the rest are in memory only.
    std::deque<std::uint64_t> ends_;
    // The journal's flush running in the background: the last `unflushed_` of ends_ are written, not yet
    // on disk, and none of them may be committed (nor leave PendingList) before it is done.
    std::future<std::error_code> flush_;
    Reservation unwritten_; // what the helper thread writes before it flushes (nothing after a write here)
    std::size_t unflushed_ = 0;
    std::uint64_t size_before_flush_ = 0;
    std::atomic<bool> stop_requested_{false};
    std::size_t taken_from_pending_ = 0; // moved to OutList; their places still lead PendingList
    bool finishing_ = false;
    std::string statement_line_; // LogStatement's buffer

    // Journal faults: logged when they start and when they end.
    bool journal_failing_ = false;
    std::uint32_t journal_failed_at_ = 0;
    std::chrono::milliseconds journal_delay_{0};
    std::uint64_t fault_attempts_ = 0;
    std::string last_journal_error_;
    bool compact_failed_ = false;

    // The open connection.
    db::Transactions* transactions_ = nullptr; // null: autocommit, one statement at a time
    bool progress_ = false;                    // the progress table is in use on this connection
    bool statement_lists_ = false;             // a batch is sent as few joined statement lists
    bool set_up_ = false;                      // transactions_ and progress_ describe the open connection
    bool at_least_once_logged_ = false;
    bool progress_retry_ = false; // setting up the progress table met a lock: again before the next batch

    // The statement at the head of OutList that was refused for a reason that can pass.
    bool head_refused_ = false;
    std::uint32_t head_first_refusal_ = 0;
    std::uint32_t head_last_refusal_ = 0;
    std::chrono::milliseconds head_delay_{0};
    std::size_t one_by_one_ = 0; // statements still to run singly after a failed batch

    // Reconnect pacing.
    bool waiting_to_reconnect_ = false;
    std::uint32_t last_connect_attempt_ = 0;
    std::chrono::milliseconds reconnect_delay_{0};
    int db_shown_ = -1; // -1 nothing shown yet, 0 disconnected, 1 connected
};

/// The local time "yyyy-mm-dd hh:nn:ss" for log and reject file lines.
std::string LocalTimeText();

} // namespace tagsink
