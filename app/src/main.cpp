// Tagsink: start-up and end of the program.
#include "engine/db/odbc_connection.hpp"
#include "main_window.hpp"
#include "prompts.hpp"
#include "registration.hpp"
#include "tagclient.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <string_view>

namespace {

// The program takes no options; --help and --version answer without opening a window.
bool AnswersOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            std::printf("Usage: tagsink\n\n"
                        "The Tagsink desktop program: edits and records the project in the file beside the "
                        "program\n(its path with the extension \".DAT\"); statements wait in \"sql.dat\" in "
                        "the current folder.\nIt takes no options; see docs/app.md.\n");
            return true;
        }
        if (option == "--version") {
            std::printf("tagsink (tagclient %s)\n", TAGCLIENT_VERSION);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (AnswersOption(argc, argv))
        return 0;
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Tagsink"));
    application.setQuitOnLastWindowClosed(false); // the program lives behind its tray icon

    // The toolkit first, on this (the user-interface) thread; start-up goes on when it fails.
    if (QZDAC_Init() == 0) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("错误"), QStringLiteral("无法初始化OPC!"),
                        QMessageBox::Ok);
        box.exec();
    }
    tagsink::db::InstallOdbcConnectionFactory();
    tagsink::app::RegisterProjectEditors();

    int result = 0;
    {
        tagsink::app::TMain window;
        if (window.StartsVisible()) {
            window.show();
        }
        result = application.exec();
    }
    QZDAC_Uninit();
    return result;
}
