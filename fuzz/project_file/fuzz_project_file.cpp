// Fuzz target of the project file reader.
//
// Any input must load or fail with a ProjectError, never crash, hang or read out of bounds. Whatever was
// read (the whole tree or the part before the failure) must write a file that reads back without failure.
// From then on the tree is stable: reading and writing again gives the same bytes. (The first write may
// differ from the second: a group whose Description was read empty gets its name as Description back.)
#include "model/project_error.hpp"
#include "model/project_file.hpp"
#include "model/server.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    tagsink::TServer root;
    try {
        tagsink::ReadProjectStream(input, root);
    } catch (const tagsink::ProjectError&) {
        // Refused input: the part read so far is checked below all the same.
    }

    const std::string first = tagsink::WriteProjectStream(root);
    tagsink::TServer again;
    try {
        tagsink::ReadProjectStream(first, again);
    } catch (const tagsink::ProjectError& e) {
        std::fprintf(stderr, "written project does not read back: %s\n", e.what());
        std::abort();
    }
    const std::string second = tagsink::WriteProjectStream(again);
    tagsink::TServer third;
    tagsink::ReadProjectStream(second, third);
    if (tagsink::WriteProjectStream(third) != second) {
        std::fprintf(stderr, "written project changes when read and written again\n");
        std::abort();
    }
    return 0;
}
