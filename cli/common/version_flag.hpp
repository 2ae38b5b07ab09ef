// --version for the command-line programs.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace tagsink {

/// The text --version prints: the program's name and the project's version ("tagsink-run 1.0.0").
std::string VersionText(const std::string& program);

/// Adds --version to a program's command line: parsing it throws CLI::CallForVersion, which `app.exit`
/// turns into VersionText on standard output and exit code 0 (before any required argument is checked).
void AddVersionFlag(CLI::App& app, const std::string& program);

} // namespace tagsink
