// tagsink-project: the project file as text, and back.
//
//   tagsink-project export FILE.DAT                   project text (JSON lines) to standard output
//   tagsink-project import TEXT FILE.DAT [--items CSV]  build FILE.DAT from project text ("-": stdin)
//   tagsink-project add-items CSV FILE.DAT            add the items of a CSV to FILE.DAT (or a new project)
//
// A project file is only ever replaced whole (written beside the target and renamed over it), so a
// failed import or add-items leaves FILE.DAT as it was. Messages go to standard error; the exit code is
// 0 on success, 1 on a failure, and 2 (or CLI11's code) on a bad command line.
#include "item_csv.hpp"
#include "model/project_error.hpp"
#include "model/project_file.hpp"
#include "model/server.hpp"
#include "project_text.hpp"

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

int Export(const std::string& file) {
    TServer root;
    tagsink::StoredProperties stored;
    tagsink::LoadProjectFile(root, file,
                             [&](const tagsink::TNamedItem& object, const tagsink::PropInfo& prop) {
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
    std::ifstream in(name, std::ios::binary);
    if (!in)
        throw tagsink::ProjectError("Cannot open file \"" + name + "\". " +
                                    std::generic_category().message(errno));
    read(in, name);
}

void AddItems(TServer& root, const std::vector<std::string>& csvFiles) {
    for (const auto& csv : csvFiles)
        WithInput(csv, [&](std::istream& in, const std::string& source) {
            const std::size_t added = tagsink::AddItemsFromCsv(in, source, root);
            std::cerr << source << ": " << added << " items added\n";
        });
}

int Import(const std::string& textFile, const std::string& file, const std::vector<std::string>& csvFiles) {
    TServer root;
    WithInput(textFile, [&](std::istream& in, const std::string& source) {
        tagsink::ImportProjectText(in, source, root);
    });
    AddItems(root, csvFiles);
    root.SaveToFile(file);
    return 0;
}

int AddItemsCommand(const std::string& csvFile, const std::string& file) {
    TServer root;
    if (std::filesystem::exists(file))
        root.LoadFromFile(file);
    AddItems(root, {csvFile});
    root.SaveToFile(file);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Converts Tagsink project files to a readable text (JSON lines) and back."};
    app.require_subcommand(1);

    std::string exportFile;
    auto* exportCmd = app.add_subcommand("export", "Write the project as text to standard output");
    exportCmd->add_option("FILE.DAT", exportFile, "Project file")->required();

    std::string importText, importFile;
    std::vector<std::string> importCsv;
    auto* importCmd = app.add_subcommand("import", "Build a project file from project text");
    importCmd->add_option("TEXT", importText, "Project text (JSON lines); - for standard input")->required();
    importCmd->add_option("FILE.DAT", importFile, "Project file to write (replaced whole)")->required();
    importCmd->add_option("--items", importCsv, "CSV of items to add after the text (repeatable)");

    std::string addCsv, addFile;
    auto* addCmd = app.add_subcommand("add-items", "Add the items of a CSV to a project file");
    addCmd->add_option("CSV", addCsv, "Items: group, item name, OPC item ID, field name, field type, key")
        ->required();
    addCmd->add_option("FILE.DAT", addFile, "Project file (created when it does not exist)")->required();

    CLI11_PARSE(app, argc, argv);

    try {
        if (*exportCmd)
            return Export(exportFile);
        if (*importCmd)
            return Import(importText, importFile, importCsv);
        if (*addCmd)
            return AddItemsCommand(addCsv, addFile);
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 2;
}
