#include "prompts.hpp"

#include "password_dialog.hpp"

#include <QCoreApplication>
#include <QFileDialog>

namespace tagsink::app {

void Prompts::Message(const QString& caption, const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok);
    box.exec();
}

QMessageBox::StandardButton Prompts::AskYesNoCancel(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::optional<QString> Prompts::AskPassword() {
    TPasswordDlg dialog;
    if (Exec(dialog) != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Text();
}

std::optional<QString> Prompts::SaveFileName(QWidget* parent, const QString& title, const QString& directory,
                                             const QString& filter, const QString& default_suffix) {
    QFileDialog dialog(parent, title, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(default_suffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first();
}

int Prompts::Exec(QDialog& dialog) {
    return dialog.exec();
}

namespace {
Prompts* installed = nullptr;
}

Prompts& CurrentPrompts() {
    static Prompts real;
    return installed ? *installed : real;
}

void SetPrompts(Prompts* prompts) {
    installed = prompts;
}

void ShowFailure(const QString& message) {
    CurrentPrompts().Message(QCoreApplication::translate("tagsink::app::Prompts", "错误"), message,
                             QMessageBox::Critical);
}

} // namespace tagsink::app
