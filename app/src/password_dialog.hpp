// TPasswordDlg: asks for the operation password that guards leaving Edit mode and leaving the program.
#pragma once

#include <QDialog>
#include <QLineEdit>

namespace tagsink::app {

/// The operation password.
inline constexpr const char* kOperationPassword = "KRW5TM";

/// True when `typed`, without leading and trailing blanks and control characters, is the operation
/// password, letters A to Z compared without regard to case.
bool IsOperationPassword(const QString& typed);

class TPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit TPasswordDlg(QWidget* parent = nullptr);
    QString Text() const { return Password->text(); }
    QLineEdit* Password;
};

} // namespace tagsink::app
