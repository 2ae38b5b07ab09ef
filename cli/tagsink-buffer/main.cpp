// tagsink-buffer: the statement journal and the reject file of a working directory.
//
//     tagsink-buffer count  [--dir D]
//     tagsink-buffer list   [--dir D] [--rejected]
//     tagsink-buffer script [--dir D] [--rejected]            a script for a database shell, on stdout
//     tagsink-buffer replay CONNECTION [--dir D] [--rejected] [--seconds N]
//
// "sql.dat" holds the statements the recorder has not committed yet (only those after its progress mark
// are shown); "sql.rejected" the statements put aside, each with its reason. Replaying the journal uses
// the recorder's own batched, exactly-once path; replaying the reject file removes what the database
// accepts and keeps the rest with the new reason. Run it while no recorder uses the same directory.
//
// Exit status: 0 done, 1 bad command line or unreadable files, 4 statements could not be replayed.
#include "buffer_tool.hpp"
#include "engine/runtime/buffer_file.hpp"
#include "platform/path_text.hpp"
#include "program_arguments.hpp"
#include "version_flag.hpp"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>

using namespace tagsink;

int main(int argc, char** argv) {
    CLI::App app{"Shows, counts, replays and scripts the statement journal (sql.dat) and sql.rejected."};
    app.require_subcommand(1);
    AddVersionFlag(app, "tagsink-buffer");
    std::string dir = ".";
    bool rejected = false;
    std::string connection;
    int seconds = 60;
    auto* count = app.add_subcommand("count", "count the statements of sql.dat and sql.rejected");
    auto* list = app.add_subcommand("list", "list the statements of sql.dat (or sql.rejected with reasons)");
    auto* script = app.add_subcommand("script", "write the statements as a script a database shell accepts");
    auto* replay =
        app.add_subcommand("replay", "execute the statements on a database (ODBC connection string)");
    for (CLI::App* command : {count, list, script, replay})
        command->add_option("--dir", dir, "the folder of sql.dat (default: the current one)");
    for (CLI::App* command : {list, script, replay})
        command->add_flag("--rejected", rejected, "sql.rejected instead of sql.dat");
    replay->add_option("CONNECTION", connection, "ODBC connection string")->required();
    replay->add_option("--seconds", seconds, "give up on sql.dat after this long (default 60)");
    Utf8Console console;
    ProgramArguments arguments(argc, argv); // UTF-8: on Windows from the wide command line
    try {
        app.parse(arguments.argc(), arguments.argv());
    } catch (const CLI::ParseError& error) {
        int code = app.exit(error);
        return code == 0 ? 0 : 1;
    }
    const std::filesystem::path journal = qz::Utf8Path(dir) / kBufferFileName;
    const std::filesystem::path rejects = qz::Utf8Path(dir) / kRejectFileName;
    try {
        if (count->parsed()) {
            std::printf("%s: %zu statements waiting\n", qz::PathUtf8(journal).c_str(),
                        buffer::ReadJournalStatements(journal).size());
            std::printf("%s: %zu statements put aside\n", qz::PathUtf8(rejects).c_str(),
                        buffer::ReadRejected(rejects).size());
            return 0;
        }
        if (list->parsed()) {
            auto statements =
                rejected ? buffer::ReadRejected(rejects) : buffer::ReadJournalStatements(journal);
            std::size_t number = 0;
            for (const auto& item : statements) {
                std::printf("%zu\t%s\n", ++number, EncodeStatementLine(item.statement).c_str());
                if (!item.reason.empty())
                    std::printf("\t-- %s\n", item.reason.c_str());
            }
            return 0;
        }
        if (script->parsed()) {
            buffer::WriteScript(std::cout, rejected ? buffer::ReadRejected(rejects)
                                                    : buffer::ReadJournalStatements(journal));
            return 0;
        }
        buffer::ReplayResult result = rejected ? buffer::ReplayRejected(rejects, connection)
                                               : buffer::ReplayJournal(journal, connection, seconds);
        std::printf("%zu statements executed, %zu refused\n", result.executed, result.failed);
        if (!result.last_error.empty()) {
            std::fprintf(stderr, "tagsink-buffer: %s\n", result.last_error.c_str());
            return 4;
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tagsink-buffer: %s\n", error.what());
        return 1;
    }
}
