// tagsink-project: the project file as text, and back.
//
//   tagsink-project export FILE.DAT                   project text to standard output
//   tagsink-project import TEXT FILE.DAT [--items CSV]  build FILE.DAT from project text ("-": stdin)
//   tagsink-project add-items CSV FILE.DAT            add the items of a CSV to FILE.DAT (or a new project)
//   tagsink-project check FILE... [--items CSV]       validate texts, CSVs or project files, write nothing
//
// A project file is only ever replaced whole (written beside the target and renamed over it), so a
// failed import or add-items leaves FILE.DAT as it was. Messages go to standard error; the exit code is
// 0 on success, 1 on a failure, and 2 (or CLI11's code) on a bad command line.
#include "item_csv.hpp"
#include "model/project_error.hpp"
#include "platform/ascii.hpp"
#include "model/group.hpp"
#include "model/project_file.hpp"
#include "model/server.hpp"
#include "platform/path_text.hpp"
#include "program_arguments.hpp"
#include "project_text.hpp"
#include "version_flag.hpp"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using tagsink::TServer;

// Loads a project file; a message that does not name the file yet ("Invalid stream format") gets its
// name in front.
void Load(TServer& root, const std::string& file, const tagsink::PropertyReadObserver& observer = {}) {
    try {
        tagsink::LoadProjectFile(root, qz::Utf8Path(file), observer);
    } catch (const tagsink::ProjectError& e) {
        const std::string message = e.what();
        if (message.find("\"" + file + "\"") != std::string::npos)
            throw;
        throw tagsink::ProjectError(file + ": " + message);
    }
}

int Export(const std::string& file) {
    TServer root;
    tagsink::StoredProperties stored;
    Load(root, file, [&](const tagsink::TNamedItem& object, const tagsink::PropInfo& prop) {
        stored.insert({&object, &prop});
    });
    std::ostringstream text;
    tagsink::ExportProjectText(root, text, &stored);
    std::cout << text.str() << std::flush;
    if (!std::cout) {
        std::cerr << "cannot write the project text to standard output\n";
        return 1;
    }
    return 0;
}

// Runs `read` over the named file, or standard input for "-".
template <class Read> void WithInput(const std::string& name, Read&& read) {
    if (name == "-") {
        read(std::cin, "<stdin>");
        return;
    }
    std::ifstream in(qz::Utf8Path(name), std::ios::binary);
    if (!in)
        throw tagsink::ProjectError("Cannot open file \"" + name + "\". " +
                                    std::generic_category().message(errno));
    read(in, name);
}

void AddItems(TServer& root, const std::vector<std::string>& csv_files) {
    for (const auto& csv : csv_files)
        WithInput(csv, [&](std::istream& in, const std::string& source) {
            const std::size_t added = tagsink::AddItemsFromCsv(in, source, root);
            std::cerr << source << ": " << added << " items added\n";
        });
}

int Import(const std::string& text_file, const std::string& file, const std::vector<std::string>& csv_files) {
    TServer root;
    WithInput(text_file, [&](std::istream& in, const std::string& source) {
        tagsink::ImportProjectText(in, source, root);
    });
    AddItems(root, csv_files);
    root.SaveToFile(qz::Utf8Path(file));
    return 0;
}

int AddItemsCommand(const std::string& csv_file, const std::string& file) {
    TServer root;
    if (std::filesystem::exists(qz::Utf8Path(file)))
        Load(root, file);
    AddItems(root, {csv_file});
    root.SaveToFile(qz::Utf8Path(file));
    return 0;
}

bool EndsWithCsv(const std::string& name) {
    return name.size() >= 4 && qz::EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".csv");
}

bool IsProjectFile(const std::string& name) {
    if (name == "-")
        return false;
    std::ifstream in(qz::Utf8Path(name), std::ios::binary);
    char signature[4] = {};
    return in.read(signature, 4) && std::string_view(signature, 4) == tagsink::kProjectSignature;
}

// Reads one file the way import (a text), add-items (a CSV) or the program (a project file) would, into
// `root`.
void CheckOne(TServer& root, const std::string& file) {
    if (IsProjectFile(file))
        Load(root, file);
    else if (EndsWithCsv(file))
        WithInput(file, [&](std::istream& in, const std::string& source) {
            tagsink::AddItemsFromCsv(in, source, root);
        });
    else
        WithInput(file, [&](std::istream& in, const std::string& source) {
            tagsink::ImportProjectText(in, source, root);
        });
}

std::string Summary(const TServer& root) {
    std::size_t items = 0;
    for (std::size_t g = 0; g < root.GroupCount(); ++g)
        items += root.Group(g).ItemCount();
    return std::to_string(root.GroupCount()) + (root.GroupCount() == 1 ? " group, " : " groups, ") +
           std::to_string(items) + (items == 1 ? " item" : " items");
}

// Checks every file on its own, and the CSVs of --items on top of the one project text or project file
// (as import and add-items would add them). Writes nothing; 0 when everything is valid, else 1.
int Check(const std::vector<std::string>& files, const std::vector<std::string>& csv_files) {
    if (!csv_files.empty() && files.size() != 1) {
        std::cerr << "check --items needs exactly one project text or project file to add the items to\n";
        return 2;
    }
    bool ok = true;
    for (const auto& file : files) {
        TServer root;
        try {
            CheckOne(root, file);
            for (const auto& csv : csv_files)
                WithInput(csv, [&](std::istream& in, const std::string& source) {
                    tagsink::AddItemsFromCsv(in, source, root);
                });
            std::cout << (file == "-" ? "<stdin>" : file) << ": ok, " << Summary(root) << '\n';
        } catch (const std::exception& e) {
            std::cerr << e.what() << '\n';
            ok = false;
        }
    }
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Converts Tagsink project files to a readable text and back."};
    app.require_subcommand(1);
    tagsink::AddVersionFlag(app, "tagsink-project");

    std::string export_file;
    auto* export_cmd = app.add_subcommand("export", "Write the project as text to standard output");
    export_cmd->add_option("FILE.DAT", export_file, "Project file")->required();

    std::string import_text, import_file;
    std::vector<std::string> import_csv;
    auto* import_cmd = app.add_subcommand("import", "Build a project file from project text");
    import_cmd->add_option("TEXT", import_text, "Project text; - for standard input")->required();
    import_cmd->add_option("FILE.DAT", import_file, "Project file to write (replaced whole)")->required();
    import_cmd->add_option("--items", import_csv, "CSV of items to add after the text (repeatable)");

    std::string add_csv, add_file;
    auto* add_cmd = app.add_subcommand("add-items", "Add the items of a CSV to a project file");
    add_cmd->add_option("CSV", add_csv, "Items: group, item name, OPC item ID, field name, field type, key")
        ->required();
    add_cmd->add_option("FILE.DAT", add_file, "Project file (created when it does not exist)")->required();

    std::vector<std::string> check_files, check_csv;
    auto* check_cmd = app.add_subcommand(
        "check", "Validate project texts, item CSVs (*.csv) or project files without writing anything");
    check_cmd->add_option("FILE", check_files, "Files to check; - for a project text on standard input")
        ->required();
    check_cmd->add_option("--items", check_csv, "CSV of items to check on top of FILE (repeatable)");

    tagsink::Utf8Console console;
    tagsink::ProgramArguments arguments(argc, argv); // UTF-8: on Windows from the wide command line
    CLI11_PARSE(app, arguments.argc(), arguments.argv());

    try {
        if (*export_cmd)
            return Export(export_file);
        if (*import_cmd)
            return Import(import_text, import_file, import_csv);
        if (*add_cmd)
            return AddItemsCommand(add_csv, add_file);
        if (*check_cmd)
            return Check(check_files, check_csv);
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 2;
}
