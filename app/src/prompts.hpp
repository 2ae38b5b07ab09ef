// Every modal question, message and dialog of the program goes through one Prompts object.
//
// The program uses the real message boxes and dialogs; tests install their own Prompts that answer at
// once (a password, Yes/No/Cancel, a file name) and operate a dialog before it would be shown, so nothing
// blocks and every message the operator would see can be checked.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QString>

#include <optional>

namespace tagsink::app {

class Prompts {
public:
    virtual ~Prompts() = default;

    /// A message box with one OK button (no owner window).
    virtual void Message(const QString& caption, const QString& text, QMessageBox::Icon icon);
    /// Yes / No / Cancel; returns the button pressed.
    virtual QMessageBox::StandardButton AskYesNoCancel(const QString& caption, const QString& text);
    /// The operation password dialog; nothing when it was cancelled.
    virtual std::optional<QString> AskPassword();
    /// A save-file dialog; nothing when it was cancelled.
    virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& title,
                                                const QString& directory, const QString& filter,
                                                const QString& default_suffix);
    /// Shows a dialog modally and returns its result (QDialog::Accepted or Rejected).
    virtual int Exec(QDialog& dialog);
};

/// The Prompts in use (the real one unless a test installed its own).
Prompts& CurrentPrompts();
/// Installs `prompts` (not owned; nullptr restores the real one).
void SetPrompts(Prompts* prompts);

/// Shows a failure of a command or dialog to the operator (caption "错误").
void ShowFailure(const QString& message);

/// Runs a command; any failure it raises is shown with its message and the window goes on.
template <class F> void Guarded(F&& command) {
    try {
        command();
    } catch (const std::exception& error) {
        ShowFailure(QString::fromUtf8(error.what()));
    }
}

} // namespace tagsink::app
