// Fuzz target of the project text import and the item CSV reader of tagsink-project.
//
// The first byte chooses the parser (even: project text, odd: item CSV); the rest is its input. Any input
// must be imported or refused with a TextError, never crash or hang, and a project that was imported
// must write a project file that reads back without failure.
#include "item_csv.hpp"
#include "model/project_error.hpp"
#include "model/project_file.hpp"
#include "model/server.hpp"
#include "project_text.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const bool csv = (data[0] & 1) != 0;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    tagsink::TServer root;
    try {
        if (csv)
            tagsink::AddItemsFromCsv(in, "fuzz.csv", root);
        else
            tagsink::ImportProjectText(in, "fuzz.jsonl", root);
    } catch (const tagsink::TextError&) {
        return 0;
    }
    const std::string bytes = tagsink::WriteProjectStream(root);
    tagsink::TServer back;
    try {
        tagsink::ReadProjectStream(bytes, back);
    } catch (const tagsink::ProjectError& e) {
        std::fprintf(stderr, "imported project does not read back: %s\n", e.what());
        std::abort();
    }
    return 0;
}
