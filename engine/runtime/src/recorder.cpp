#include "engine/runtime/recorder.hpp"

#include "engine/db/db_failure.hpp"
#include "engine/db/transactions.hpp"
#include "engine/runtime/record_lock.hpp"
#include "engine/runtime/statement_list.hpp"
#include "model/server.hpp"
#include "platform/local_time.hpp"
#include "platform/path_text.hpp"
#include "platform/thread_name.hpp"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <vector>

namespace tagsink {
namespace {

std::chrono::milliseconds Doubled(std::chrono::milliseconds delay, std::chrono::milliseconds first,
                                  std::chrono::milliseconds longest) {
    return delay.count() == 0 ? first : std::min(delay * 2, longest);
}

std::string Quoted(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted + "'";
}

} // namespace

std::string LocalTimeText() {
    const std::tm local = qz::LocalCalendar(std::time(nullptr));
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

Recorder::Recorder(TServer& server, const Clock& clock, EngineReporter& reporter, RecorderStats& stats,
                   RecorderOptions options)
    : server_(server), clock_(clock), reporter_(reporter), stats_(stats), options_(std::move(options)),
      journal_(options_.buffer_file) {
    journal_.write_fault = options_.journal_fault;
    journal_.flush_fault = options_.journal_flush_fault;
}

Recorder::~Recorder() = default;

std::filesystem::path Recorder::RejectFile() const {
    if (!options_.reject_file.empty())
        return options_.reject_file;
    return options_.buffer_file.parent_path() / kRejectFileName;
}

void Recorder::Log(std::string_view operation, std::string_view text) {
    reporter_.WriteLog(kEngineUnit, operation, text);
}

void Recorder::LogStatement(std::string_view statement) {
    // One buffer for every line: no allocation per statement.
    statement_line_.assign("sql=").append(statement);
    Log("TServer.DoRecord", statement_line_);
}

void Recorder::ShowDb(bool connected) {
    stats_.db_connected.store(connected);
    if (db_shown_ == static_cast<int>(connected))
        return;
    db_shown_ = connected;
    reporter_.SetDbLinkText(connected ? kDbConnected : kDbDisconnected);
}

std::size_t Recorder::Unjournaled() const {
    return server_.OutList.size() - ends_.size();
}

bool Recorder::Due(bool waiting, std::uint32_t since, std::chrono::milliseconds delay) const {
    return !waiting || TickDifference(clock_.TickCount(), since) >= delay.count();
}

void Recorder::UpdateStats() {
    stats_.waiting.store(server_.OutList.size());
    // The journal's own count: after the last pass OutList is empty while the file still holds what the
    // next run replays.
    stats_.journaled.store(journal_.Waiting());
    stats_.journal_failing.store(journal_failing_);
}

bool Recorder::MovePending(bool always) {
    std::lock_guard guard(RecordLock());
    const std::uint32_t now = clock_.TickCount();
    // The tick difference is signed 32-bit, so a wrap of the counter does not stop the flushing; its
    // absolute value is taken in 64 bits, where -2^31 has one.
    const std::int64_t since_flush =
        std::llabs(static_cast<std::int64_t>(TickDifference(now, server_.LastFlushTick)));
    const bool flush = always ||
                       static_cast<std::int64_t>(server_.PendingList.size()) > server_.BufferCount() ||
                       since_flush > server_.BufferTime();
    if (!flush)
        return false;
    // Moved, but their emptied places stay at the front of PendingList until the journal has them on
    // disk (ReleasePending): until then they count as waiting, as what a kill may cost. Places taken by
    // a pass that ended without releasing them are not taken again.
    server_.OutList.insert(server_.OutList.end(),
                           std::make_move_iterator(server_.PendingList.begin() +
                                                   static_cast<std::ptrdiff_t>(taken_from_pending_)),
                           std::make_move_iterator(server_.PendingList.end()));
    taken_from_pending_ = server_.PendingList.size();
    server_.LastFlushTick = now;
    return true;
}

void Recorder::ReleasePending() {
    if (taken_from_pending_ == 0)
        return;
    std::lock_guard guard(RecordLock());
    // Only the record thread removes from PendingList, and only at its front; queueing appends behind.
    server_.PendingList.erase(server_.PendingList.begin(),
                              server_.PendingList.begin() + static_cast<std::ptrdiff_t>(taken_from_pending_));
    taken_from_pending_ = 0;
}

void Recorder::JournalFailed(const std::exception& error, std::string_view operation) {
    const std::uint32_t now = clock_.TickCount();
    stats_.NoteFailure(error.what());
    ++fault_attempts_;
    if (!journal_failing_) {
        Log(operation, std::string(error.what()) + "; " + std::to_string(Unjournaled()) +
                           " statements wait in memory, the write is retried");
        journal_failing_ = true;
        journal_delay_ = std::chrono::milliseconds(0);
    }
    journal_failed_at_ = now;
    journal_delay_ =
        Doubled(journal_delay_, options_.first_disk_retry_delay, options_.longest_disk_retry_delay);
    last_journal_error_ = error.what();
}

void Recorder::JournalWorks() {
    if (!journal_failing_)
        return;
    journal_failing_ = false;
    journal_delay_ = std::chrono::milliseconds(0);
    Log("TServer.SaveOutList", "The journal " + qz::PathUtf8(options_.buffer_file) + " works again after " +
                                   std::to_string(fault_attempts_) + " failed attempts; " +
                                   std::to_string(ends_.size()) + " statements are journaled");
    fault_attempts_ = 0;
}

void Recorder::LoadItem() {
    if (journal_.IsOpen())
        return;
    if (journal_failing_ && !finishing_ && !Due(true, journal_failed_at_, journal_delay_))
        return;
    Journal::Recovered recovered;
    try {
        recovered = journal_.Open();
    } catch (const std::exception& error) {
        JournalFailed(error, "TServer.LoadItem");
        return;
    }
    for (const JournalEntry& line : recovered.undecodable) {
        try {
            AppendRejected(RejectFile(), line.statement, LocalTimeText(),
                           "Line of " + qz::PathUtf8(options_.buffer_file) + " cannot be decoded");
            stats_.rejected.fetch_add(1);
        } catch (const std::exception& error) {
            Log("TServer.LoadItem", error.what());
        }
    }
    if (recovered.cut_bytes > 0)
        Log("TServer.LoadItem", "An unfinished last line of " + qz::PathUtf8(options_.buffer_file) + " (" +
                                    std::to_string(recovered.cut_bytes) +
                                    " bytes, written when the program was ended) was removed");
    if (!recovered.entries.empty())
        Log("TServer.LoadItem", std::to_string(recovered.entries.size()) + " statements of " +
                                    qz::PathUtf8(options_.buffer_file) + " are replayed first" +
                                    (recovered.plain_file ? " (a buffer file without progress mark)" : ""));
    stats_.replayed.fetch_add(recovered.entries.size());
    // The journal's statements go first, then whatever was moved before the journal could be opened.
    for (auto it = recovered.entries.rbegin(); it != recovered.entries.rend(); ++it) {
        server_.OutList.push_front(std::move(it->statement));
        ends_.push_front(it->end);
    }
    JournalWorks();
    if (set_up_ && server_.DBConnection().IsConnected())
        SetUpProgress();
}

void Recorder::SaveOutList(bool overlap) {
    if (!journal_.IsOpen() || Unjournaled() == 0 || Flushing())
        return;
    if (journal_failing_ && !finishing_ && !Due(true, journal_failed_at_, journal_delay_))
        return;
    if (overlap && !journal_failing_ && WriteInBackground())
        return;
    // Each piece is one write (the text in memory stays small), and the pass flushes once. A piece that
    // fails is halved, so that a nearly full disk still takes what fits and the rest waits for the space
    // that committed statements free.
    std::size_t piece = std::min<std::size_t>(Unjournaled(), 65536);
    std::size_t written = 0;
    const std::uint64_t size_before = journal_.Size();
    std::optional<std::string> failure;
    while (Unjournaled() > 0) {
        auto from = server_.OutList.begin() + static_cast<std::ptrdiff_t>(ends_.size());
        const std::size_t count = std::min(piece, Unjournaled());
        std::vector<std::uint64_t> ends;
        try {
            journal_.Write(from, from + static_cast<std::ptrdiff_t>(count), ends);
        } catch (const std::exception& error) {
            if (count > 16) {
                piece = count / 2; // a smaller piece may still fit
                continue;
            }
            failure = error.what();
            break;
        }
        ends_.insert(ends_.end(), ends.begin(), ends.end());
        written += count;
    }
    if (written == 0) {
        if (failure)
            JournalFailed(BufferFileError(*failure));
        return;
    }
    unflushed_ = written;
    size_before_flush_ = size_before;
    if (overlap && !failure) {
        FlushInBackground();
        return;
    }
    if (!FlushFinished(journal_.FlushWritten(), !failure))
        return;
    if (failure)
        JournalFailed(BufferFileError(*failure));
}

bool Recorder::WriteInBackground() {
    // The statements' places and ends are known before their text is written, so they can execute at
    // once while a helper thread writes and flushes the text. Their strings stay where they are until the
    // flush is done: nothing is committed, quarantined or dropped from OutList before that (CompleteFlush).
    std::vector<std::uint64_t> ends;
    Reservation reservation;
    try {
        reservation = journal_.Reserve(server_.OutList.begin() + static_cast<std::ptrdiff_t>(ends_.size()),
                                       server_.OutList.end(), ends);
    } catch (const std::exception&) {
        return false; // written in the foreground, which also says why it fails
    }
    unflushed_ = ends.size();
    size_before_flush_ = reservation.offset;
    ends_.insert(ends_.end(), ends.begin(), ends.end());
    unwritten_ = std::move(reservation);
    FlushInBackground();
    return true;
}

void Recorder::FlushInBackground() {
    auto write_and_flush = [this] {
        if (std::error_code error = journal_.WriteReserved(unwritten_))
            return error;
        return journal_.FlushWritten();
    };
    try {
        flush_ = std::async(std::launch::async, [write_and_flush] {
            qz::NameThisThread("tagsink-journal");
            return write_and_flush();
        });
    } catch (const std::system_error&) {
        FlushFinished(write_and_flush(), true); // no thread to be had: done here, then
    }
}

bool Recorder::FlushDone() const {
    return !Flushing() || flush_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

bool Recorder::CompleteFlush() {
    return !Flushing() || FlushFinished(flush_.get(), true);
}

bool Recorder::FlushFinished(std::error_code error, bool works) {
    const std::size_t count = std::exchange(unflushed_, 0);
    unwritten_ = {};
    if (error) {
        // As after a failed write: the statements are taken back from the journal and wait in memory.
        journal_.CutBack(size_before_flush_);
        ends_.erase(ends_.end() - static_cast<std::ptrdiff_t>(count), ends_.end());
        JournalFailed(BufferFileError("Cannot write \"" + qz::PathUtf8(options_.buffer_file) +
                                      "\": " + error.message()));
        return false;
    }
    stats_.spilled.fetch_add(count);
    if (works)
        JournalWorks();
    return true;
}

void Recorder::LostConnection(const std::string& message) {
    server_.DBConnection().Close();
    transactions_ = nullptr;
    progress_ = false;
    set_up_ = false;
    Log("TServer.DoRecord", message);
    stats_.NoteFailure(message);
    ShowDb(false);
    // Reopening backs off like a failed open does, so a database that drops every connection at once is
    // not reconnected thousands of times a second.
    waiting_to_reconnect_ = true;
    last_connect_attempt_ = clock_.TickCount();
    reconnect_delay_ =
        Doubled(reconnect_delay_, options_.first_reconnect_delay, options_.longest_reconnect_delay);
}

void Recorder::Connect(bool ignore_pause) {
    DbConnection& db = server_.DBConnection();
    if (db.IsConnected()) {
        if (!set_up_) // opened before this recorder existed (the editors, or a previous run)
            SetUpConnection();
        return;
    }
    transactions_ = nullptr;
    progress_ = false;
    const std::uint32_t now = clock_.TickCount();
    if (!ignore_pause && waiting_to_reconnect_ &&
        TickDifference(now, last_connect_attempt_) < reconnect_delay_.count())
        return;
    last_connect_attempt_ = now;
    try {
        db.SetConnectionString(server_.DBString());
        db.Open(options_.command_timeout);
    } catch (const std::exception& error) {
        db.Close();
        set_up_ = false;
        Log("TServer.DBConnect", error.what());
        stats_.NoteFailure(error.what());
        waiting_to_reconnect_ = true;
        reconnect_delay_ =
            Doubled(reconnect_delay_, options_.first_reconnect_delay, options_.longest_reconnect_delay);
        return;
    }
    SetUpConnection();
    // A connection that is dropped right after opening still waits before the next attempt.
    if (db.IsConnected()) {
        waiting_to_reconnect_ = false;
        reconnect_delay_ = std::chrono::milliseconds(0);
    }
}

void Recorder::SetUpConnection() {
    auto* transactions = dynamic_cast<db::Transactions*>(&server_.DBConnection());
    transactions_ = nullptr;
    progress_ = false;
    statement_lists_ = false;
    if (!options_.single_statements && transactions != nullptr && transactions->SupportsTransactions()) {
        transactions_ = transactions;
        statement_lists_ = options_.statement_lists && transactions->AcceptsStatementLists();
    }
    set_up_ = true;
    SetUpProgress();
}

void Recorder::SetUpProgress() {
    progress_retry_ = false;
    if (!journal_.IsOpen())
        return; // set up when the journal opens
    if (transactions_ == nullptr || !options_.progress_table) {
        if (!at_least_once_logged_) {
            at_least_once_logged_ = true;
            Log("TServer.Journal", "Statements are executed one by one without a progress table: after a "
                                   "crash the last statement may be executed twice (at least once)");
        }
        return;
    }
    DbConnection& db = server_.DBConnection();
    const std::string table(kProgressTableName);
    const std::string select =
        "SELECT generation, committed_to FROM " + table + " WHERE journal_key = " + Quoted(journal_.Key());
    try {
        std::vector<std::vector<std::string>> rows;
        try {
            rows = transactions_->QueryRows(select);
        } catch (const std::exception& error) {
            if (db::ClassifyRefusal(error) == db::Refusal::ConnectionLost)
                throw;
            db.Execute("CREATE TABLE " + table +
                       " (journal_key VARCHAR(40) NOT NULL PRIMARY KEY, generation VARCHAR(40) NOT NULL, "
                       "committed_to BIGINT NOT NULL)");
            Log("TServer.Journal", "Created the progress table " + table);
            rows = transactions_->QueryRows(select);
        }
        if (rows.empty()) {
            db.Execute("INSERT INTO " + table + " (journal_key, generation, committed_to) VALUES (" +
                       Quoted(journal_.Key()) + ", " + Quoted(journal_.Generation()) + ", " +
                       std::to_string(journal_.Position()) + ")");
        } else if (rows.front().size() == 2 && rows.front()[0] == journal_.Generation()) {
            SkipCommitted(std::strtoull(rows.front()[1].c_str(), nullptr, 10));
        }
        progress_ = true;
    } catch (const std::exception& error) {
        const db::Refusal refusal = db::ClassifyRefusal(error);
        if (refusal == db::Refusal::ConnectionLost) {
            LostConnection(error.what());
            return;
        }
        if (refusal == db::Refusal::Passing && !db::IsStatementRejected(error)) {
            // Locked or busy right now: set up again before the next batch instead of giving up the
            // exactly-once path for the whole connection.
            progress_retry_ = true;
            return;
        }
        if (!at_least_once_logged_) {
            at_least_once_logged_ = true;
            Log("TServer.Journal",
                "The progress table " + table + " cannot be used (" + error.what() +
                    "): after a crash the last batch may be executed twice (at least once)");
        }
    }
}

void Recorder::SkipCommitted(std::uint64_t position) {
    if (position <= journal_.Position())
        return;
    std::size_t skipped = 0;
    while (!ends_.empty() && ends_.front() <= position) {
        ends_.pop_front();
        server_.OutList.pop_front();
        ++skipped;
    }
    if (skipped > 0) {
        stats_.executed.fetch_add(skipped);
        Log("TServer.Journal", std::to_string(skipped) +
                                   " journaled statements were already committed and are not executed again");
    }
    try {
        journal_.Mark(position, false);
    } catch (const std::exception& error) {
        JournalFailed(error);
    }
}

void Recorder::Committed(std::size_t count) {
    const std::uint64_t position = ends_[count - 1];
    server_.OutList.erase(server_.OutList.begin(),
                          server_.OutList.begin() + static_cast<std::ptrdiff_t>(count));
    ends_.erase(ends_.begin(), ends_.begin() + static_cast<std::ptrdiff_t>(count));
    stats_.executed.fetch_add(count);
    try {
        // Written in place without a flush: a killed process leaves it in the system's cache. Only a
        // power failure can lose it, and then the batch runs again (at least once).
        journal_.Mark(position, false);
    } catch (const std::exception& error) {
        // Without the mark a replay repeats these statements unless the progress table skips them.
        JournalFailed(error);
    }
}

std::string Recorder::ProgressUpdate(std::uint64_t position) const {
    return "UPDATE " + std::string(kProgressTableName) +
           " SET generation = " + Quoted(journal_.Generation()) +
           ", committed_to = " + std::to_string(position) + " WHERE journal_key = " + Quoted(journal_.Key());
}

Recorder::Outcome Recorder::RunBatch(std::size_t& count,
                                     const std::chrono::steady_clock::time_point* deadline,
                                     std::exception_ptr& error) {
    DbConnection& db = server_.DBConnection();
    const bool transaction = transactions_ != nullptr;
    // With statement lists the progress row travels with the first statements of the batch; a list that
    // is refused fails the batch, which then runs one statement at a time (there the progress row is
    // written on its own again, so a table that cannot be written is still recognised). Without lists it
    // is written last, once the batch's length is known: while the journal's flush runs, the batch goes
    // on past `count` and commits when the flush is done.
    const bool lists = transaction && statement_lists_ && count > 1;
    const std::size_t most = transaction && !lists && count > 1 && Flushing() ? Journaled() : count;
    auto interrupted = [&] {
        return (deadline != nullptr && std::chrono::steady_clock::now() >= *deadline) ||
               (deadline == nullptr && stop_requested_.load());
    };
    std::size_t i = 0;
    try {
        std::string list;
        if (transaction) {
            transactions_->Begin();
            if (progress_ && lists)
                list = ProgressUpdate(ends_[count - 1]);
        }
        std::size_t listed = 0; // statements in `list` (the progress row not counted)
        auto stop = [&] {
            if (transaction)
                transactions_->Rollback();
            return Outcome::Interrupted;
        };
        // Sends what is joined so far; false when the pass is to end first.
        auto send = [&] {
            if (list.empty())
                return true;
            if (interrupted())
                return false;
            db.Execute(list);
            list.clear();
            listed = 0;
            return true;
        };
        for (; i < most; ++i) {
            if (i >= count && FlushDone())
                break;
            if (interrupted())
                return stop();
            const std::string& statement = server_.OutList[i];
            LogStatement(statement);
            if (!lists) {
                db.Execute(statement);
                continue;
            }
            if (!CanJoinStatementList(statement)) {
                // Sent alone, after what was joined before it.
                if (!send())
                    return stop();
                db.Execute(statement);
                continue;
            }
            if (listed == kStatementListCount || list.size() + statement.size() > kStatementListBytes) {
                if (!send())
                    return stop();
            }
            if (!list.empty())
                list += kStatementListSeparator;
            list += statement;
            ++listed;
        }
        count = i;
        if (!send())
            return stop();
        if (transaction && progress_ && !lists) {
            try {
                db.Execute(ProgressUpdate(ends_[count - 1]));
            } catch (const std::exception& progress_error) {
                transactions_->Rollback();
                if (db::ClassifyRefusal(progress_error) == db::Refusal::ConnectionLost)
                    throw;
                progress_ = false;
                at_least_once_logged_ = true;
                Log("TServer.Journal", "The progress table " + std::string(kProgressTableName) +
                                           " cannot be written (" + progress_error.what() +
                                           "): after a crash the last batch may be executed twice");
                return RunBatch(count, deadline, error);
            }
        }
        // Nothing is committed before the journal holds it on disk.
        if (count > Journaled() - unflushed_ && !CompleteFlush())
            return stop();
        if (transaction)
            transactions_->Commit();
    } catch (const std::exception&) {
        if (transaction && transactions_ != nullptr)
            transactions_->Rollback();
        error = std::current_exception();
        count = std::max(count, std::min(i + 1, most)); // a refusal past `count` is looked for, too
        return Outcome::Failed;
    }
    return Outcome::Committed;
}

bool Recorder::Quarantine(const std::string& reason) {
    if (!CompleteFlush())
        return false; // the statement is no longer in the journal: it waits in memory
    const std::string statement = server_.OutList.front();
    try {
        AppendRejected(RejectFile(), statement, LocalTimeText(), reason);
    } catch (const std::exception& error) {
        JournalFailed(error);
        return false;
    }
    stats_.rejected.fetch_add(1);
    stats_.NoteFailure(reason);
    Log("TServer.DoRecord", "Statement moved to " + qz::PathUtf8(RejectFile()) + ": " + statement);
    const std::uint64_t position = ends_.front();
    server_.OutList.pop_front();
    ends_.pop_front();
    if (progress_) {
        try {
            server_.DBConnection().Execute(ProgressUpdate(position));
        } catch (const std::exception&) {
            // The local mark below still moves on; the next connection reads the table again.
        }
    }
    try {
        journal_.Mark(position, false);
    } catch (const std::exception& error) {
        JournalFailed(error);
    }
    head_refused_ = false;
    head_delay_ = std::chrono::milliseconds(0);
    if (one_by_one_ > 0)
        --one_by_one_;
    return true;
}

void Recorder::ExecuteOutList(const std::chrono::steady_clock::time_point* deadline) {
    DbConnection& db = server_.DBConnection();
    if (transactions_ == nullptr && !CompleteFlush())
        return; // without a transaction every statement is committed as it runs
    while (Journaled() > 0 && db.IsConnected()) {
        if (deadline != nullptr && std::chrono::steady_clock::now() >= *deadline)
            return;
        if (deadline == nullptr && stop_requested_.load())
            return;
        if (!finishing_ && head_refused_ && !Due(true, head_last_refusal_, head_delay_))
            return;
        if (progress_retry_) {
            SetUpProgress();
            if (progress_retry_ || !db.IsConnected())
                return; // still locked: tried again on the next pass
        }
        std::size_t count = 1;
        if (transactions_ != nullptr && one_by_one_ == 0)
            count = std::min(std::max<std::size_t>(options_.batch_size, 1), Journaled());
        std::exception_ptr failure;
        Outcome outcome = RunBatch(count, deadline, failure);
        if (outcome == Outcome::Interrupted)
            return;
        if (outcome == Outcome::Committed) {
            Committed(count);
            if (head_refused_)
                Log("TServer.DoRecord", "The refused statement was accepted on a later attempt");
            head_refused_ = false;
            head_delay_ = std::chrono::milliseconds(0);
            if (one_by_one_ > 0)
                one_by_one_ -= 1;
            continue;
        }
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            const db::Refusal refusal = db::ClassifyRefusal(error);
            const std::string reason = db::DescribeFailure(error);
            if (refusal == db::Refusal::ConnectionLost) {
                LostConnection(reason);
                return;
            }
            if (count > 1) {
                // Find the refused statement: the batch runs again one statement at a time.
                one_by_one_ = count;
                continue;
            }
            if (refusal == db::Refusal::Permanent) {
                if (!Quarantine(reason))
                    return;
                continue;
            }
            const std::uint32_t now = clock_.TickCount();
            if (!head_refused_) {
                head_refused_ = true;
                head_first_refusal_ = now;
                head_delay_ = std::chrono::milliseconds(0);
            }
            head_last_refusal_ = now;
            stats_.NoteFailure(reason);
            if (TickDifference(now, head_first_refusal_) >= options_.retry_window.count()) {
                if (!Quarantine(reason + " (still refused after the retry window)"))
                    return;
                continue;
            }
            head_delay_ = Doubled(head_delay_, options_.first_retry_delay, options_.longest_retry_delay);
            Log("TServer.DoRecord",
                reason + "; tried again in " + std::to_string(head_delay_.count()) + " ms");
            if (!db.IsConnected())
                LostConnection("The connection was closed after the refusal");
            return;
        }
    }
}

void Recorder::ExecuteUnjournaled(const std::chrono::steady_clock::time_point& deadline) {
    // Only while the journal cannot be written and nothing journaled waits in front of them: execute the
    // statements that exist only in memory rather than lose them.
    DbConnection& db = server_.DBConnection();
    while (Journaled() == 0 && Unjournaled() > 0 && db.IsConnected() &&
           std::chrono::steady_clock::now() < deadline) {
        const std::string& statement = server_.OutList.front();
        LogStatement(statement);
        try {
            db.Execute(statement);
        } catch (const std::exception& error) {
            if (db::ClassifyRefusal(error) != db::Refusal::Permanent) {
                LostConnection(db::DescribeFailure(error));
                return;
            }
            Log("TServer.DoRecord", db::DescribeFailure(error));
        }
        server_.OutList.pop_front();
        stats_.executed.fetch_add(1);
    }
}

void Recorder::MaybeCompact() {
    // Everything journaled is committed (statements that could not be written yet may wait in memory:
    // emptying the journal frees the space they need).
    if (!journal_.IsOpen() || Journaled() > 0 || journal_.Size() == 0)
        return;
    // A write that failed does not hold this back (emptying is what frees the space), one that failed
    // here does.
    if (compact_failed_ && !finishing_ && !Due(true, journal_failed_at_, journal_delay_))
        return;
    try {
        journal_.Compact();
    } catch (const std::exception& error) {
        compact_failed_ = true;
        JournalFailed(error);
        return;
    }
    compact_failed_ = false;
    if (Unjournaled() == 0)
        JournalWorks();
    else if (journal_failing_) // the space is free now: try the waiting statements on the next pass
        journal_failed_at_ = clock_.TickCount() - static_cast<std::uint32_t>(journal_delay_.count());
}

bool Recorder::DoRecord() {
    LoadItem();
    const bool moved = MovePending(false);
    // With transactions the journal is flushed while the statements execute; nothing is committed, and
    // nothing leaves PendingList, before the flush is done.
    SaveOutList(options_.overlap_journal_flush && !options_.single_statements);
    if (!Flushing())
        ReleasePending();
    Connect(false);
    DbConnection& db = server_.DBConnection();
    if (db.IsConnected()) {
        ShowDb(true);
        ExecuteOutList(nullptr);
    } else {
        ShowDb(false);
    }
    CompleteFlush();
    ReleasePending();
    MaybeCompact();
    UpdateStats();
    return moved;
}

void Recorder::Finish() {
    finishing_ = true;
    CompleteFlush();
    ReleasePending();
    const auto deadline = std::chrono::steady_clock::now() + options_.finish_budget;
    LoadItem();
    MovePending(true);
    SaveOutList();
    ReleasePending();
    DbConnection& db = server_.DBConnection();
    if (!db.IsConnected() && Unjournaled() > 0)
        Connect(true); // the only way left to keep statements the journal cannot take
    if (db.IsConnected()) {
        ExecuteOutList(&deadline);
        ExecuteUnjournaled(deadline);
    }
    MaybeCompact();
    if (const std::size_t lost = Unjournaled(); lost > 0) {
        // Neither the journal nor the database took them: drop them from the list, count and say so.
        server_.OutList.erase(server_.OutList.begin() + static_cast<std::ptrdiff_t>(ends_.size()),
                              server_.OutList.end());
        stats_.lost.fetch_add(lost);
        const std::string text = std::to_string(lost) + " statements are lost: the journal " +
                                 qz::PathUtf8(options_.buffer_file) + " cannot be written (" +
                                 last_journal_error_ + ") and the database did not take them";
        stats_.NoteFailure(text);
        Log("TServer.SaveOutList", text);
    } else if (journal_failing_) {
        Log("TServer.SaveOutList", "The journal " + qz::PathUtf8(options_.buffer_file) +
                                       " still fails at the end (" + last_journal_error_ +
                                       "); nothing was lost");
    }
    if (!server_.OutList.empty()) {
        // They are in the journal, which the next run replays first; keeping them in OutList as well
        // would run them twice.
        Log("TServer.DoRecord", std::to_string(server_.OutList.size()) + " statements stay in " +
                                    qz::PathUtf8(options_.buffer_file) + " for the next run");
        server_.OutList.clear();
        ends_.clear();
    }
    journal_.Close();
    UpdateStats();
    finishing_ = false;
}

} // namespace tagsink
