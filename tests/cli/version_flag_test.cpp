// --version of the command-line programs: the project's version, as tagclient.h sets it, before any check
// of the rest of the command line.
#include "version_flag.hpp"

#include "tagclient.h"

#include <CLI/CLI.hpp>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using tagsink::AddVersionFlag;
using tagsink::VersionText;

// Parses `args` (without the program name) and returns what `app.exit` prints and its code, as the
// programs' main functions do.
struct Outcome {
    int code = -1;
    std::string out, err;
};
Outcome Parse(CLI::App& app, std::vector<std::string> args) {
    std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 takes them last first
    Outcome outcome;
    try {
        app.parse(reversed);
        outcome.code = -2; // parsed: no version asked for
    } catch (const CLI::ParseError& error) {
        std::ostringstream out, err;
        outcome.code = app.exit(error, out, err);
        outcome.out = out.str();
        outcome.err = err.str();
    }
    return outcome;
}

TEST(VersionFlagTest, IsTheVersionOfTagclientH) {
    EXPECT_EQ(VersionText("tagsink-run"), std::string("tagsink-run ") + TAGCLIENT_VERSION);
    const std::string numbers = std::to_string(TAGCLIENT_VERSION_MAJOR) + "." +
                                std::to_string(TAGCLIENT_VERSION_MINOR) + "." +
                                std::to_string(TAGCLIENT_VERSION_PATCH);
    EXPECT_EQ(VersionText("x"), "x " + numbers);
}

TEST(VersionFlagTest, AnswersBeforeRequiredArgumentsAndSubcommands) {
    CLI::App app{"test"};
    std::string file;
    app.add_option("FILE", file)->required();
    app.require_subcommand(1);
    app.add_subcommand("count", "");
    AddVersionFlag(app, "tagsink-buffer");
    const Outcome outcome = Parse(app, {"--version"});
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(outcome.out, VersionText("tagsink-buffer") + "\n");
    EXPECT_EQ(outcome.err, "");
}

TEST(VersionFlagTest, LeavesOtherCommandLinesAlone) {
    CLI::App app{"test"};
    std::string file;
    app.add_option("FILE", file)->required();
    AddVersionFlag(app, "tagsink-run");
    // Without --version, a missing argument is still the error it was.
    Outcome outcome = Parse(app, {});
    EXPECT_NE(outcome.code, 0);
    EXPECT_NE(outcome.err.find("FILE is required"), std::string::npos) << outcome.err;

    CLI::App app2{"test"};
    app2.add_option("FILE", file)->required();
    AddVersionFlag(app2, "tagsink-run");
    outcome = Parse(app2, {"plant.DAT"});
    EXPECT_EQ(outcome.code, -2);
    EXPECT_EQ(file, "plant.DAT");
}

TEST(VersionFlagTest, ASubcommandKeepsItsOwnVersionOption) {
    // tagclient-cli's "servers --version N" is the OPC DA version to list, not the program's.
    CLI::App app{"test"};
    AddVersionFlag(app, "tagclient-cli");
    int opc_version = 0;
    app.add_subcommand("servers", "")->add_option("--version", opc_version);
    const Outcome outcome = Parse(app, {"servers", "--version", "3"});
    EXPECT_EQ(outcome.code, -2);
    EXPECT_EQ(opc_version, 3);
}

} // namespace
