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
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
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

/// Removes the file and makes the removal durable. Throws BufferFileError when it cannot be removed.
void RemoveBufferFile(const std::filesystem::path& file);

} // namespace tagsink
