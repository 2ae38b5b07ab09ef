#include "engine/runtime/buffer_file.hpp"

#include "platform/durable_file.hpp"
#include "platform/path_text.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>

namespace tagsink {
namespace {

using qz::DurableFile;

[[noreturn]] void Fail(const std::filesystem::path& file, std::string_view what, std::error_code error) {
    throw BufferFileError("Cannot " + std::string(what) + " \"" + qz::PathUtf8(file) +
                          "\": " + error.message());
}

[[noreturn]] void Fail(const std::filesystem::path& file, std::string_view what, int error) {
    Fail(file, what, qz::ErrnoError(error));
}

void Check(std::error_code error, const std::filesystem::path& file, std::string_view what) {
    if (error)
        Fail(file, what, error);
}

// Calls `on_line(line, next)` for every non-empty line of `data` that ends with LF (a CR before it is
// cut), `next` being the position after that LF. Returns where the text after the last LF starts.
template <class OnLine> size_t ForEachLine(std::string_view data, OnLine&& on_line) {
    size_t start = 0;
    for (size_t end = data.find('\n'); end != std::string_view::npos; end = data.find('\n', start)) {
        std::string_view line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        start = end + 1;
        if (!line.empty())
            on_line(line, start);
    }
    return start;
}

// Line breaks are escaped, and so is the marker itself at the start: otherwise the line would be decoded.
// Two scans for one character each (memchr), not find_first_of: that asks, character by character,
// whether it is one of the set, and was most of the journal's cost.
bool NeedsEscape(std::string_view statement) {
    return statement.find('\n') != std::string_view::npos || statement.find('\r') != std::string_view::npos ||
           statement.substr(0, kEscapedLineMarker.size()) == kEscapedLineMarker;
}

bool IsEscaped(char c) {
    return c == '\\' || c == '\r' || c == '\n';
}

} // namespace

std::string EncodeStatementLine(std::string_view statement) {
    std::string line;
    AppendStatementLine(line, statement);
    return line;
}

void AppendStatementLine(std::string& out, std::string_view statement) {
    if (!NeedsEscape(statement)) {
        out += statement;
        return;
    }
    out += kEscapedLineMarker;
    for (char c : statement) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
}

std::size_t StatementLineSize(std::string_view statement) {
    if (!NeedsEscape(statement))
        return statement.size();
    return kEscapedLineMarker.size() + statement.size() +
           static_cast<std::size_t>(std::count_if(statement.begin(), statement.end(), IsEscaped));
}

std::string DecodeStatementLine(std::string_view line) {
    if (line.substr(0, kEscapedLineMarker.size()) != kEscapedLineMarker)
        return std::string(line);
    std::string statement;
    for (size_t i = kEscapedLineMarker.size(); i < line.size(); ++i) {
        char c = line[i];
        if (c != '\\') {
            statement += c;
            continue;
        }
        if (++i == line.size())
            throw BufferFileError("An escaped line ends in the middle of an escape");
        switch (line[i]) {
        case '\\':
            statement += '\\';
            break;
        case 'r':
            statement += '\r';
            break;
        case 'n':
            statement += '\n';
            break;
        default:
            throw BufferFileError(std::string("An escaped line holds the unknown escape \\") + line[i]);
        }
    }
    return statement;
}

BufferFileContents ReadBufferFile(const std::filesystem::path& file) {
    DurableFile in;
    Check(in.Open(file, DurableFile::Mode::Read), file, "open");
    std::string data;
    Check(in.ReadFrom(0, data), file, "read");
    if (!data.empty() && data.back() != '\n')
        data += '\n'; // an unterminated last line counts here
    BufferFileContents contents;
    ForEachLine(data, [&](std::string_view line, size_t) {
        try {
            contents.statements.push_back(DecodeStatementLine(line));
        } catch (const BufferFileError&) {
            contents.undecodable.emplace_back(line);
        }
    });
    return contents;
}

void AppendLines(const std::filesystem::path& file, const std::vector<std::string>& lines) {
    std::string data;
    for (const std::string& line : lines) {
        data += line;
        data += "\r\n";
    }
    bool existed = std::filesystem::exists(file);
    DurableFile out;
    Check(out.Open(file, DurableFile::Mode::OpenOrCreate), file, "open");
    std::uint64_t old_size = 0;
    Check(out.Size(old_size), file, "inspect");
    // A file that does not end with a line end (edited by hand, or cut by a crash of an older writer)
    // gets one first, so that the first new statement does not join its last line.
    if (old_size > 0) {
        char last = '\n';
        std::size_t got = 0;
        if (!out.ReadAt(old_size - 1, &last, 1, got) && got == 1 && last != '\n')
            data.insert(0, "\r\n");
    }
    try {
        Check(out.WriteAt(old_size, data), file, "write");
        Check(out.Flush(), file, "flush");
    } catch (...) {
        // Leave the file exactly as it was: a retried spill must not write a statement twice.
        if (!out.Truncate(old_size))
            (void)out.Flush();
        if (!existed && old_size == 0) {
            (void)out.Close();
            (void)qz::RemoveFile(file);
        }
        throw;
    }
    Check(out.Close(), file, "close");
    if (!existed)
        qz::SyncFolderOf(file);
}

void AppendStatements(const std::filesystem::path& file, const std::deque<std::string>& statements) {
    std::vector<std::string> lines;
    lines.reserve(statements.size());
    for (const std::string& statement : statements)
        lines.push_back(EncodeStatementLine(statement));
    AppendLines(file, lines);
}

void AppendRejected(const std::filesystem::path& file, std::string_view statement, std::string_view when,
                    std::string_view message) {
    std::string comment = "-- " + std::string(when) + " rejected: ";
    for (char c : message)
        comment += (c == '\r' || c == '\n') ? ' ' : c;
    AppendLines(file, {comment, EncodeStatementLine(statement)});
}

void RemoveBufferFile(const std::filesystem::path& file) {
    if (std::error_code error = qz::RemoveFile(file); error && !qz::IsNotFound(error))
        Fail(file, "delete", error);
    qz::SyncFolderOf(file);
}

} // namespace tagsink

namespace tagsink {
namespace {

constexpr std::string_view kProgressHeader = "tagsink journal 1\n";
constexpr int kPositionDigits = 20;

std::string NewId() {
    static std::random_device device;
    std::uint64_t value = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    value ^= static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string PositionText(std::uint64_t position) {
    char text[kPositionDigits + 1];
    std::snprintf(text, sizeof text, "%020llu", static_cast<unsigned long long>(position));
    return text;
}

std::string ProgressText(const std::string& key, const std::string& generation, std::uint64_t position) {
    return std::string(kProgressHeader) + "key " + key + "\ngeneration " + generation + "\nposition " +
           PositionText(position) + "\n";
}

std::size_t PositionOffset(const std::string& key, const std::string& generation) {
    return kProgressHeader.size() + 4 + key.size() + 1 + 11 + generation.size() + 1 + 9;
}

struct ProgressMark {
    std::string key;
    std::string generation;
    std::uint64_t position = 0;
};

// The mark of a progress file; nothing when it is missing or not one of ours.
std::optional<ProgressMark> ReadProgress(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string header, key_word, generation_word, position_word;
    ProgressMark mark;
    std::getline(in, header);
    in >> key_word >> mark.key >> generation_word >> mark.generation >> position_word >> mark.position;
    if (!in || header + "\n" != kProgressHeader || key_word != "key" || generation_word != "generation" ||
        position_word != "position" || mark.key.empty() || mark.generation.empty())
        return std::nullopt;
    return mark;
}

std::string ReadFrom(const std::filesystem::path& file, std::uint64_t from) {
    std::string data;
    DurableFile in;
    if (std::error_code error = in.Open(file, DurableFile::Mode::Read)) {
        if (qz::IsNotFound(error))
            return data;
        Fail(file, "open", error);
    }
    Check(in.ReadFrom(from, data), file, "read");
    return data;
}

// Splits journal text that starts at file position `from` into entries; an unterminated last line is
// left in `tail`.
void SplitJournal(const std::string& data, std::uint64_t from, Journal::Recovered& out, std::string& tail) {
    const size_t rest = ForEachLine(data, [&](std::string_view line, size_t next) {
        JournalEntry entry;
        entry.end = from + next;
        try {
            entry.statement = DecodeStatementLine(line);
            out.entries.push_back(std::move(entry));
        } catch (const BufferFileError&) {
            entry.statement.assign(line);
            out.undecodable.push_back(std::move(entry));
        }
    });
    if (rest < data.size())
        tail = data.substr(rest);
}

std::uint64_t FileSize(const std::filesystem::path& file) {
    std::uint64_t size = 0;
    if (std::error_code error = qz::FileSizeOf(file, size)) {
        if (qz::IsNotFound(error))
            return 0;
        Fail(file, "inspect", error);
    }
    return size;
}

} // namespace

std::filesystem::path ProgressFileFor(const std::filesystem::path& journal) {
    std::filesystem::path progress = journal;
    progress += ".progress";
    return progress;
}

Journal::Journal(std::filesystem::path file) : file_(std::move(file)), progress_(ProgressFileFor(file_)) {}

Journal::~Journal() {
    Close();
}

void Journal::Close() {
    (void)journal_file_.Close();
    (void)progress_file_.Close();
    open_ = false;
}

Journal::Recovered PeekJournal(const std::filesystem::path& file) {
    Journal::Recovered out;
    std::optional<ProgressMark> mark = ReadProgress(ProgressFileFor(file));
    const std::uint64_t size = FileSize(file);
    std::uint64_t from = mark && mark->position <= size ? mark->position : 0;
    out.plain_file = !mark && size > 0;
    std::string tail;
    SplitJournal(ReadFrom(file, from), from, out, tail);
    if (!tail.empty() && out.plain_file) {
        JournalEntry entry{DecodeStatementLine(tail), size};
        out.entries.push_back(std::move(entry));
    }
    return out;
}

Journal::Recovered Journal::Open() {
    Recovered out;
    std::optional<ProgressMark> mark = ReadProgress(progress_);
    std::uint64_t size = FileSize(file_);
    std::string key = mark ? mark->key : NewId();
    std::string generation = mark ? mark->generation : NewId();
    std::uint64_t position = mark ? mark->position : 0;
    out.plain_file = !mark && size > 0;
    if (position > size) {
        // The journal was emptied after everything in it was committed, and the progress file was not
        // rewritten before the program ended: a new generation starts.
        generation = NewId();
        position = 0;
    }
    std::string tail;
    SplitJournal(ReadFrom(file_, position), position, out, tail);
    DurableFile journal;
    if (size > 0 || !tail.empty())
        Check(journal.Open(file_, DurableFile::Mode::ReadWrite), file_, "open");
    if (!tail.empty()) {
        if (out.plain_file) {
            // A hand-written file without a last line end: the line is a statement; end it properly.
            out.entries.push_back(JournalEntry{DecodeStatementLine(tail), size + 2});
            std::error_code error = journal.WriteAt(size, "\r\n");
            if (!error)
                error = journal.Flush();
            Check(error, file_, "write");
            size += 2;
        } else {
            // Half a line written when the program was killed: it was never acknowledged. Cut it off.
            out.cut_bytes = tail.size();
            size -= tail.size();
            std::error_code error = journal.Truncate(size);
            if (!error)
                error = journal.Flush();
            Check(error, file_, "cut");
        }
    }
    key_ = key;
    generation_ = generation;
    position_ = position;
    size_ = size;
    WriteProgressFile();
    journal_file_ = std::move(journal);
    open_ = true;
    waiting_.clear();
    for (const JournalEntry& entry : out.entries)
        waiting_.push_back(entry.end);
    return out;
}

void Journal::OpenJournalFile() {
    if (journal_file_.IsOpen())
        return;
    Check(journal_file_.Open(file_, DurableFile::Mode::OpenOrCreate), file_, "open");
    qz::SyncFolderOf(file_);
}

void Journal::Append(const std::vector<std::string>& statements, std::vector<std::uint64_t>& ends) {
    const std::uint64_t size = size_;
    Write(statements, ends);
    if (statements.empty())
        return;
    if (std::error_code error = FlushWritten()) {
        CutBack(size);
        ends.clear();
        Fail(file_, "write", error);
    }
}

void Journal::Reserved(const Reservation& reservation, std::vector<std::uint64_t>& ends) {
    if (reservation.statements.empty())
        return;
    try {
        if (write_fault) {
            if (int error = write_fault(); error != 0)
                WriteFailed(qz::ErrnoError(error));
        }
        OpenJournalFile();
    } catch (const BufferFileError&) {
        ends.clear();
        throw;
    }
    size_ += reservation.size;
    waiting_.insert(waiting_.end(), ends.begin(), ends.end());
}

std::error_code Journal::WriteReserved(const Reservation& reservation) {
    // Written in pieces of about a megabyte: the text in memory stays small however many statements
    // there are, and a pass of a few statements takes no more than their size.
    constexpr std::size_t kPiece = 1 << 20;
    std::string piece;
    piece.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(reservation.size, kPiece + 4096)));
    std::uint64_t offset = reservation.offset;
    auto write = [&] {
        std::error_code error = journal_file_.WriteAt(offset, piece);
        offset += piece.size();
        piece.clear();
        return error;
    };
    for (std::string_view statement : reservation.statements) {
        AppendStatementLine(piece, statement);
        piece += "\r\n";
        if (piece.size() >= kPiece) {
            if (std::error_code error = write())
                return error;
        }
    }
    if (!piece.empty()) {
        if (std::error_code error = write())
            return error;
    }
    // The ends handed out by Reserve must be where the lines end; anything else would mark the wrong
    // statements as committed.
    if (offset != reservation.offset + reservation.size)
        return std::make_error_code(std::errc::io_error);
    return {};
}

void Journal::WriteFailed(std::error_code error) const {
    Fail(file_, "write", error);
}

std::error_code Journal::FlushWritten() {
    if (flush_fault) {
        if (int fault = flush_fault(); fault != 0)
            return qz::ErrnoError(fault);
    }
    return journal_file_.Flush(false);
}

void Journal::CutBack(std::uint64_t size) {
    if (size >= size_)
        return;
    if (!journal_file_.Truncate(size))
        (void)journal_file_.Flush(false);
    size_ = size;
    while (!waiting_.empty() && waiting_.back() > size)
        waiting_.pop_back();
}

void Journal::Mark(std::uint64_t position, bool durable) {
    position_ = position;
    while (!waiting_.empty() && waiting_.front() <= position)
        waiting_.pop_front();
    if (!progress_file_.IsOpen())
        Fail(progress_, "write", EBADF);
    const std::string text = PositionText(position);
    Check(progress_file_.WriteAt(PositionOffset(key_, generation_), text), progress_, "write");
    if (durable)
        Check(progress_file_.Flush(false), progress_, "flush");
}

void Journal::Compact() {
    if (write_fault) {
        if (int error = write_fault(); error != 0)
            Fail(file_, "empty", error);
    }
    (void)journal_file_.Close();
    if (std::error_code error = qz::RemoveFile(file_); error && !qz::IsNotFound(error))
        Fail(file_, "delete", error);
    qz::SyncFolderOf(file_);
    size_ = 0;
    generation_ = NewId();
    position_ = 0;
    waiting_.clear();
    WriteProgressFile();
}

void Journal::WriteProgressFile() {
    std::filesystem::path temporary = progress_;
    temporary += ".new";
    const std::string text = ProgressText(key_, generation_, position_);
    {
        DurableFile out;
        Check(out.Open(temporary, DurableFile::Mode::CreateOrTruncate), temporary, "create");
        Check(out.WriteAt(0, text), temporary, "write");
        Check(out.Flush(), temporary, "flush");
        Check(out.Close(), temporary, "close");
    }
    // Closed before the new file takes its place (Windows does not replace a file that is open).
    (void)progress_file_.Close();
    Check(qz::ReplaceFile(temporary, progress_), progress_, "replace");
    qz::SyncFolderOf(progress_);
    Check(progress_file_.Open(progress_, DurableFile::Mode::ReadWrite), progress_, "open");
}

} // namespace tagsink
