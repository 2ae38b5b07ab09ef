// The work of tagsink-buffer: reading the journal ("sql.dat" after its progress mark) and the reject file
// ("sql.rejected", each statement with the reason it was put aside), writing them as a script a database
// shell accepts, and replaying them into a database.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace tagsink::buffer {

struct BufferedStatement {
    std::string statement;
    std::string reason; // why it was put aside (reject file only), "time rejected: message"
};

/// The statements of the journal that are not committed yet, oldest first.
std::vector<BufferedStatement> ReadJournalStatements(const std::filesystem::path& journal);

/// The statements of a reject file with their reasons, oldest first.
std::vector<BufferedStatement> ReadRejected(const std::filesystem::path& rejected);

/// Writes the statements as a script: each reason as a comment line, each statement followed by ";".
void WriteScript(std::ostream& out, const std::vector<BufferedStatement>& statements);

struct ReplayResult {
    std::size_t executed = 0;
    std::size_t failed = 0;
    std::string last_error;
};

/// Executes the reject file's statements in order on `connection`; the executed ones leave the file,
/// the others stay with their new reason.
ReplayResult ReplayRejected(const std::filesystem::path& rejected, const std::string& connection);

/// Executes the journal's statements through the record thread's own machinery (batched, exactly once
/// where the progress table can be used) until it is empty or `seconds` pass; what is left stays.
ReplayResult ReplayJournal(const std::filesystem::path& journal, const std::string& connection, int seconds);

} // namespace tagsink::buffer
