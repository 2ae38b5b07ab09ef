#include "engine/runtime/recorder.hpp"

#include "engine/db/db_failure.hpp"
#include "engine/runtime/buffer_file.hpp"
#include "engine/runtime/record_lock.hpp"
#include "model/server.hpp"

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace tagsink {

std::string LocalTimeText() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

Recorder::Recorder(TServer& server, const Clock& clock, EngineReporter& reporter, RecorderStats& stats,
                   RecorderOptions options)
    : server_(server), clock_(clock), reporter_(reporter), stats_(stats), options_(std::move(options)) {}

std::filesystem::path Recorder::RejectFile() const {
    if (!options_.rejectFile.empty())
        return options_.rejectFile;
    return options_.bufferFile.parent_path() / kRejectFileName;
}

void Recorder::Log(std::string_view operation, std::string_view text) {
    reporter_.WriteLog(kEngineUnit, operation, text);
}

void Recorder::ShowDb(bool connected) {
    stats_.dbConnected.store(connected);
    if (dbShown_ == static_cast<int>(connected))
        return;
    dbShown_ = connected;
    reporter_.SetDbLinkText(connected ? kDbConnected : kDbDisconnected);
}

bool Recorder::MovePending(bool always) {
    std::lock_guard guard(RecordLock());
    const std::uint32_t now = clock_.TickCount();
    // The tick difference is signed 32-bit, so a wrap of the counter does not stop the flushing; its
    // absolute value is taken in 64 bits, where -2^31 has one.
    const std::int64_t sinceFlush =
        std::llabs(static_cast<std::int64_t>(TickDifference(now, server_.LastFlushTick)));
    const bool flush = always ||
                       static_cast<std::int64_t>(server_.PendingList.size()) > server_.BufferCount() ||
                       sinceFlush > server_.BufferTime();
    if (!flush)
        return false;
    for (std::string& statement : server_.PendingList)
        server_.OutList.push_back(std::move(statement));
    server_.PendingList.clear();
    server_.LastFlushTick = now;
    return true;
}

void Recorder::Connect() {
    DbConnection& db = server_.DBConnection();
    if (db.IsConnected())
        return;
    const std::uint32_t now = clock_.TickCount();
    if (waitingToReconnect_ && TickDifference(now, lastConnectAttempt_) < reconnectDelay_.count())
        return;
    lastConnectAttempt_ = now;
    try {
        db.SetConnectionString(server_.DBString());
        db.Open(options_.commandTimeout);
        waitingToReconnect_ = false;
        reconnectDelay_ = std::chrono::milliseconds(0);
    } catch (const std::exception& error) {
        db.Close();
        Log("TServer.DBConnect", error.what());
        waitingToReconnect_ = true;
        reconnectDelay_ = reconnectDelay_.count() == 0
                              ? options_.firstReconnectDelay
                              : std::min(reconnectDelay_ * 2, options_.longestReconnectDelay);
    }
}

bool Recorder::DoRecord() {
    const bool moved = MovePending(false);
    Connect();
    DbConnection& db = server_.DBConnection();
    if (db.IsConnected()) {
        ShowDb(true);
        LoadItem();
        ExecuteOutList(nullptr);
    } else {
        ShowDb(false);
        if (server_.OutList.size() > options_.spillAbove)
            SaveOutList();
    }
    stats_.waiting.store(server_.OutList.size());
    return moved;
}

void Recorder::Finish() {
    MovePending(true);
    DbConnection& db = server_.DBConnection();
    if (db.IsConnected() && !server_.OutList.empty()) {
        LoadItem();
        auto deadline = std::chrono::steady_clock::now() + options_.finishBudget;
        ExecuteOutList(&deadline);
    }
    if (!server_.OutList.empty())
        SaveOutList();
    stats_.waiting.store(server_.OutList.size());
}

void Recorder::ExecuteOutList(const std::chrono::steady_clock::time_point* deadline) {
    DbConnection& db = server_.DBConnection();
    while (!server_.OutList.empty()) {
        if (deadline != nullptr && std::chrono::steady_clock::now() >= *deadline)
            return;
        const std::string& statement = server_.OutList.front();
        Log("TServer.DoRecord", "sql=" + statement);
        try {
            db.Execute(statement);
        } catch (const std::exception& error) {
            if (!db::IsStatementRejected(error)) {
                // The connection is gone (or the database cannot work now): retry the same statement
                // first on a fresh connection.
                db.Close();
                Log("TServer.DoRecord", error.what());
                ShowDb(false);
                return;
            }
            Log("TServer.DoRecord", error.what());
            if (statement != refusedHead_) {
                refusedHead_ = statement;
                refusedAttempts_ = 0;
            }
            if (++refusedAttempts_ < options_.rejectAfterAttempts)
                return; // tried again on the next pass
            std::string rejected = std::move(server_.OutList.front());
            try {
                Reject(rejected, db::DescribeFailure(error));
            } catch (const std::exception& writeError) {
                server_.OutList.front() = std::move(rejected);
                Log("TServer.DoRecord", writeError.what());
                return;
            }
            server_.OutList.pop_front();
            refusedHead_.clear();
            refusedAttempts_ = 0;
            continue;
        }
        server_.OutList.pop_front();
        stats_.executed.fetch_add(1);
    }
}

void Recorder::Reject(const std::string& statement, const std::string& message) {
    AppendRejected(RejectFile(), statement, LocalTimeText(), message);
    stats_.rejected.fetch_add(1);
    Log("TServer.DoRecord", "Statement moved to " + RejectFile().string() + " after " +
                                std::to_string(options_.rejectAfterAttempts) + " attempts: " + statement);
}

void Recorder::LoadItem() {
    const std::filesystem::path& file = options_.bufferFile;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return;
    BufferFileContents contents;
    try {
        contents = ReadBufferFile(file);
        // Only a file that is gone for good may be taken: otherwise its statements would run again.
        for (const std::string& line : contents.undecodable)
            Reject(line, "Line of " + file.string() + " cannot be decoded");
        RemoveBufferFile(file);
    } catch (const std::exception& error) {
        // The same failure on every pass is logged once, not a thousand times a second.
        if (error.what() != lastLoadError_)
            Log("TServer.LoadItem", error.what());
        lastLoadError_ = error.what();
        return;
    }
    lastLoadError_.clear();
    stats_.replayed.fetch_add(contents.statements.size());
    for (auto it = contents.statements.rbegin(); it != contents.statements.rend(); ++it)
        server_.OutList.push_front(std::move(*it));
}

void Recorder::SaveOutList() {
    if (server_.OutList.empty())
        return;
    try {
        AppendStatements(options_.bufferFile, server_.OutList);
    } catch (const std::exception& error) {
        Log("TServer.SaveOutList", error.what());
        return;
    }
    stats_.spilled.fetch_add(server_.OutList.size());
    server_.OutList.clear();
}

} // namespace tagsink
