#include "check_command.hpp"

#include "engine/check/project_check.hpp"
#include "engine/db/odbc_connection.hpp"
#include "model/server.hpp"
#include "platform/path_text.hpp"
#include "tagclient.h"

#include <algorithm>
#include <iostream>

namespace tagsink {

int RunCheck(const std::string& project_file) {
    db::InstallOdbcConnectionFactory();
    TServer root;
    try {
        root.LoadFromFile(qz::Utf8Path(project_file));
    } catch (const std::exception& error) {
        std::cerr << "tagsink-run: " << project_file << ": " << error.what() << '\n';
        return 1;
    }
    if (QZDAC_Init() == QZDAC_FALSE) {
        std::cerr << "tagsink-run: the OPC toolkit could not be initialised\n";
        return 1;
    }
    CheckReport report =
        CheckProject(root, [](const std::string& path) { std::cerr << "checking " << path << '\n'; });
    QZDAC_Uninit();
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const CheckFinding& a, const CheckFinding& b) {
                         return a.severity == CheckSeverity::Error && b.severity != CheckSeverity::Error;
                     });
    for (const CheckFinding& finding : report.findings)
        std::cout << FindingLine(finding) << '\n';
    std::cout << report.Summary(root) << std::endl;
    return report.Passed() ? 0 : 1;
}

} // namespace tagsink
