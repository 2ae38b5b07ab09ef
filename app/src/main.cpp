// Tagsink: start-up and end of the program.
#include "engine/db/odbc_connection.hpp"
#include "main_window.hpp"
#include "prompts.hpp"
#include "registration.hpp"
#include "tagclient.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
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
