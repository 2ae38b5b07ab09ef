// The command line of a program as UTF-8 text. On Windows `main`'s argv is in the system's 8-bit code
// page, which cannot hold a path such as "C:\Anlage Süd\测试线\plant.DAT" on most machines: the programs
// read the wide command line instead and work in UTF-8, making paths with qz::Utf8Path.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace tagsink {

/// UTF-8 text of UTF-16 arguments (an unpaired surrogate becomes U+FFFD).
std::vector<std::string> Utf8Arguments(const std::vector<std::u16string>& wide);

/// The program's arguments in UTF-8, with an argc/argv view of them for parsers that take one. On
/// Windows they come from the wide command line (GetCommandLineW, CommandLineToArgvW); elsewhere, and
/// should Windows refuse, they are `argv` as it is.
class ProgramArguments {
public:
    ProgramArguments(int argc, char** argv);
    ProgramArguments(const ProgramArguments&) = delete;
    ProgramArguments& operator=(const ProgramArguments&) = delete;

    int Argc() const { return static_cast<int>(text_.size()); }
    char** Argv() { return pointers_.data(); }
    const std::vector<std::string>& Text() const { return text_; }

private:
    std::vector<std::string> text_;
    std::vector<char*> pointers_; // into text_, ending with nullptr
};

/// While it lives, a Windows console that shows standard output or standard error takes UTF-8 (the code
/// page it had comes back at the end); output that goes to a file or a pipe is UTF-8 as it is. Does
/// nothing elsewhere.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    unsigned previous_ = 0; // the console's output code page before, 0 when unchanged
};

/// CLI11's ExistingFile, with the name read as UTF-8 (CLI11's own reads it in the 8-bit code page on
/// Windows).
const CLI::Validator& ExistingUtf8File();

} // namespace tagsink
