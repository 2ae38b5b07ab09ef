// Tagsink: start-up and end of the program.
#include "engine/db/odbc_connection.hpp"
#include "main_window.hpp"
#include "prompts.hpp"
#include "registration.hpp"
#include "tagclient.h"
#include "translation.hpp"

#include <QApplication>
#include <QLocale>
#include <QTranslator>
#include <QMessageBox>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace {

// What the command line asks for. Qt's own options (-platform and the like) are left to QApplication.
struct Options {
    bool answered = false; // --help or --version: print and leave
    int exit_code = 0;
    QString language; // --language en|zh; empty: the system's user-interface language decides
};

Options ReadOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            std::printf(
                "Usage: tagsink [--language en|zh]\n\n"
                "The Tagsink desktop program: edits and records the project in the file beside the "
                "program\n(its path with the extension \".DAT\"); statements wait in \"sql.dat\" in "
                "the current folder.\n\n"
                "  --language en|zh  the language of the window: en English, zh Chinese (the program's "
                "own texts);\n"
                "                    without it, Chinese on a Chinese desktop and English on any "
                "other\n"
                "  --version         the version\n\nSee docs/app.md.\n");
            options.answered = true;
            return options;
        }
        if (option == "--version") {
            std::printf("tagsink (tagclient %s)\n", TAGCLIENT_VERSION);
            options.answered = true;
            return options;
        }
        std::string_view value;
        bool has_value = false;
        if (option == "--language") {
            if (i + 1 < argc) {
                value = argv[++i];
                has_value = true;
            }
        } else if (option.substr(0, 11) == "--language=") {
            value = option.substr(11);
            has_value = true;
        } else {
            continue;
        }
        options.language = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
        if (!has_value || !tagsink::app::IsKnownLanguage(options.language)) {
            std::fprintf(stderr, "tagsink: --language takes en or zh, not '%s'\n",
                         has_value ? std::string(value).c_str() : "");
            options.answered = true;
            options.exit_code = 2;
            return options;
        }
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ReadOptions(argc, argv);
    if (options.answered)
        return options.exit_code;
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Tagsink"));
    const QString language = options.language.isEmpty()
                                 ? tagsink::app::LanguageForUiLanguages(QLocale::system().uiLanguages())
                                 : options.language;
    std::unique_ptr<QTranslator> translator;
    try {
        translator = tagsink::app::InstallTranslation(application, language);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tagsink: %s; the window keeps its own texts\n", error.what());
    }
    application.setQuitOnLastWindowClosed(false); // the program lives behind its tray icon

    // The toolkit first, on this (the user-interface) thread; start-up goes on when it fails.
    if (QZDAC_Init() == 0) {
        QMessageBox box(QMessageBox::Critical, QCoreApplication::translate("tagsink::app::Main", "错误"),
                        QCoreApplication::translate("tagsink::app::Main", "无法初始化OPC!"), QMessageBox::Ok);
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
