#include "password_dialog.hpp"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tagsink::app {

namespace {
// Blanks and control characters (code 32 and below) at either end are not part of what was typed.
QString TrimControls(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32) {
        ++begin;
    }
    while (end > begin && text[end - 1].unicode() <= 32) {
        --end;
    }
    return text.mid(begin, end - begin);
}

char AsciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char>(c - 32) : static_cast<char>(c);
}
} // namespace

bool IsOperationPassword(const QString& typed) {
    QString text = TrimControls(typed);
    QString expected = QString::fromLatin1(kOperationPassword);
    if (text.size() != expected.size()) {
        return false;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t c = text[i].unicode();
        if (c > 127 || AsciiUpper(c) != AsciiUpper(expected[i].unicode())) {
            return false;
        }
    }
    return true;
}

TPasswordDlg::TPasswordDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PasswordDlg"));
    setWindowTitle(tr("提示"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("操作密码："), this));
    Password = new QLineEdit(this);
    Password->setObjectName(QStringLiteral("Password"));
    Password->setEchoMode(QLineEdit::Password);
    row->addWidget(Password);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(tr("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

} // namespace tagsink::app
