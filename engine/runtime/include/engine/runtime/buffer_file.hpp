// The statement buffer file "sql.dat" and the reject file beside it.
//
// "sql.dat" holds the statements that could not reach the database, oldest first:
//
//     +----------------------------------------------+
//     | statement 1                           CR LF  |
//     | statement 2                           CR LF  |
//     | --escaped:Insert Into T (S) values('a\nb') CR LF  <- a statement with a line break
//     | ...                                          |
//     +----------------------------------------------+
//
//   - one statement per line, each line ended by CR LF; no header, nothing else;
//   - a statement is written exactly as built, unless it contains CR or LF or begins with the marker
//     "--escaped:"; such a statement is written as the marker followed by its text with "\" written as
//     "\\", CR as "\r" and LF as "\n". To an SQL tool the escaped line is a comment, never half a
//     statement;
//   - reading accepts LF alone as a line end too and skips empty lines.
//
// Appending is all or nothing: the new lines are written after the old end and flushed to disk; when
// anything fails the file is cut back to its old length, so a retried spill never duplicates a line and a
// crash never leaves half a statement behind a good one.
//
// "sql.rejected" (beside "sql.dat") receives the statements the database refused for themselves, each as
// a comment line with the time and the database's message, then the statement line in the same encoding.
//
// The journal (class Journal) is "sql.dat" used as a write-ahead file: the record thread appends every
// statement it takes from PendingList (flushed to disk) before it executes it, and "sql.dat.progress"
// beside it says how far the database has committed:
//
//     tagsink journal 1
//     key 5f0c2e9a41d7b3c8            <- names this journal in the database's progress table
//     generation 9b1e04c2d5a7f316     <- changes whenever "sql.dat" is emptied
//     position 00000000000000012345   <- bytes of "sql.dat" whose statements are committed
//
// Statements before the position are done; the rest are replayed, in file order, by the next run. A
// "sql.dat" without a progress file (written by an older version or by hand) is replayed whole.
#pragma once

#include "platform/durable_file.hpp"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tagsink {

inline constexpr std::string_view kBufferFileName = "sql.dat";
inline constexpr std::string_view kRejectFileName = "sql.rejected";
inline constexpr std::string_view kEscapedLineMarker = "--escaped:";

/// A failure to read or write a buffer file; the message names the file and the system's reason.
class BufferFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The line that stands for `statement` in the file (without the line end).
std::string EncodeStatementLine(std::string_view statement);
/// Appends that line to `out`.
void AppendStatementLine(std::string& out, std::string_view statement);
/// The size of that line: what AppendStatementLine appends.
std::size_t StatementLineSize(std::string_view statement);

/// The statement a line stands for. Throws BufferFileError for an escaped line with a bad escape.
std::string DecodeStatementLine(std::string_view line);

/// What ReadBufferFile found.
struct BufferFileContents {
    std::vector<std::string> statements;  // in file order
    std::vector<std::string> undecodable; // escaped lines that could not be decoded, as they stand
};

/// Reads every statement of the file. Throws BufferFileError when the file cannot be read completely.
BufferFileContents ReadBufferFile(const std::filesystem::path& file);

/// Appends the lines to the file (created when missing), all or nothing, flushed to disk. Throws
/// BufferFileError; the file is then as it was before.
void AppendLines(const std::filesystem::path& file, const std::vector<std::string>& lines);

/// Appends the statements, one line each, as AppendLines does.
void AppendStatements(const std::filesystem::path& file, const std::deque<std::string>& statements);

/// Appends one refused statement with its time stamp text and the database's message.
void AppendRejected(const std::filesystem::path& file, std::string_view statement, std::string_view when,
                    std::string_view message);

/// One statement of the journal and the file position just after its line.
struct JournalEntry {
    std::string statement;
    std::uint64_t end = 0;
};

/// The progress file that belongs to a journal file ("sql.dat" -> "sql.dat.progress").
std::filesystem::path ProgressFileFor(const std::filesystem::path& journal);

/// Statements placed at the end of a journal whose text is not written yet (Journal::Reserve). The texts
/// belong to the caller.
struct Reservation {
    std::uint64_t offset = 0; // where the first line starts
    std::uint64_t size = 0;   // bytes of all the lines, line ends included
    std::vector<std::string_view> statements;
};

class Journal {
public:
    explicit Journal(std::filesystem::path file);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    struct Recovered {
        std::vector<JournalEntry> entries;     // not yet committed, in file order
        std::vector<JournalEntry> undecodable; // escaped lines that cannot be decoded, as they stand
        bool plain_file = false;               // "sql.dat" existed without a progress file
        std::uint64_t cut_bytes = 0;           // an unfinished last line (a crash mid-write) removed
    };

    /// Reads the progress file (creating it when missing) and returns the statements after its position.
    /// Throws BufferFileError; the journal then stays closed and nothing on disk is changed.
    Recovered Open();
    bool IsOpen() const { return open_; }

    /// Closes the files; the next Open reads the journal again.
    void Close();

    /// Appends the statements, flushed to disk, all or nothing; `ends` receives each one's end position.
    /// Throws BufferFileError; the file is then as it was.
    void Append(const std::vector<std::string>& statements, std::vector<std::uint64_t>& ends);

    /// Append in steps, so that writing and flushing can run while the statements execute. Reserve places
    /// the statements after the journal's end without writing them: `ends` receives each one's end
    /// position and the journal counts them from then on. It throws BufferFileError, leaving the journal
    /// as it was, when the file cannot be opened or written. WriteReserved then writes their text and
    /// FlushWritten makes it durable; both return the error instead of throwing and may run on another
    /// thread, as long as the statements' texts stay as they are and nothing else writes, cuts back or
    /// empties the journal meanwhile. CutBack takes back a reservation whose write or flush failed.
    template <class Iterator>
    Reservation Reserve(Iterator first, Iterator last, std::vector<std::uint64_t>& ends) {
        ends.clear();
        Reservation reservation;
        reservation.offset = size_;
        const auto count = static_cast<std::size_t>(std::distance(first, last));
        reservation.statements.reserve(count);
        ends.reserve(count);
        for (; first != last; ++first) {
            const std::string_view statement = *first;
            reservation.statements.push_back(statement);
            ends.push_back(reservation.offset + reservation.size + StatementLineSize(statement) + 2);
            reservation.size = ends.back() - reservation.offset;
        }
        Reserved(reservation, ends);
        return reservation;
    }
    std::error_code WriteReserved(const Reservation& reservation);
    /// Reserve and WriteReserved at once; throws BufferFileError like Append, leaving the file as it was.
    template <class Iterator> void Write(Iterator first, Iterator last, std::vector<std::uint64_t>& ends) {
        const Reservation reservation = Reserve(first, last, ends);
        if (std::error_code error = WriteReserved(reservation)) {
            CutBack(reservation.offset);
            ends.clear();
            WriteFailed(error);
        }
    }
    void Write(const std::vector<std::string>& statements, std::vector<std::uint64_t>& ends) {
        Write(statements.begin(), statements.end(), ends);
    }
    std::error_code FlushWritten();
    void CutBack(std::uint64_t size);

    /// Notes that everything up to `position` is committed. `durable` also flushes the note to disk (used
    /// when the database keeps no progress of its own).
    void Mark(std::uint64_t position, bool durable);

    /// Everything is committed: empties the journal (removes "sql.dat") and starts a new generation.
    void Compact();

    const std::filesystem::path& File() const { return file_; }
    const std::string& Key() const { return key_; }
    const std::string& Generation() const { return generation_; }
    std::uint64_t Size() const { return size_; }
    std::uint64_t Position() const { return position_; }
    /// Statements in the file after the committed position: what the next run would replay. Kept after
    /// Close, since the files then stay as they are.
    std::size_t Waiting() const { return waiting_.size(); }

    /// Test hook: called before every write to the journal; a non-zero result is taken as the errno of
    /// a failed write (a full or failing disk).
    std::function<int()> write_fault;
    /// Test hook: called before the flush of every append; a non-zero result is taken as the errno of a
    /// failed flush (the file is then cut back as after a failed write).
    std::function<int()> flush_fault;

private:
    void Reserved(const Reservation& reservation, std::vector<std::uint64_t>& ends);
    [[noreturn]] void WriteFailed(std::error_code error) const;
    void WriteProgressFile();
    void OpenJournalFile();

    std::filesystem::path file_;
    std::filesystem::path progress_;
    qz::DurableFile journal_file_;  // "sql.dat", opened on the first append
    qz::DurableFile progress_file_; // "sql.dat.progress"
    bool open_ = false;
    std::string key_;
    std::string generation_;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    std::deque<std::uint64_t> waiting_; // end positions of the statements after position_
};

/// Reads the statements of a journal file after its progress mark (the whole file without one), without
/// changing anything; for tools that show or replay a buffer.
Journal::Recovered PeekJournal(const std::filesystem::path& file);

/// Removes the file and makes the removal durable. Throws BufferFileError when it cannot be removed.
void RemoveBufferFile(const std::filesystem::path& file);

} // namespace tagsink
