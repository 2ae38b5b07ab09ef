#include "version_flag.hpp"

#include "tool_version.hpp"

namespace tagsink {

std::string VersionText(const std::string& program) {
    return program + " " + kToolVersion;
}

void AddVersionFlag(CLI::App& app, const std::string& program) {
    app.set_version_flag("--version", VersionText(program), "print the program's version and exit");
}

} // namespace tagsink
