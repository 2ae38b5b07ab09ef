#include "inspector/strings_editor_dlg.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tagsink::inspector {

TStringsEditorDlg::TStringsEditorDlg(QWidget* parent)
    : QDialog(parent), FMemo(new QPlainTextEdit(this)), FLineCount(new QLabel(this)),
      FOk(new QPushButton(tr("确认(&O)"), this)), FCancel(new QPushButton(tr("取消"), this)) {
    setWindowTitle(tr("文本列表编辑器"));
    FMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    FMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FOk->setDefault(true);
    connect(FOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(FMemo, &QPlainTextEdit::textChanged, this, &TStringsEditorDlg::UpdateLineCount);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(FOk);
    buttons->addWidget(FCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FLineCount);
    layout->addWidget(FMemo, 1);
    layout->addLayout(buttons);
    resize(400, 300);
    UpdateLineCount();
}

void TStringsEditorDlg::SetLines(const QStringList& lines) {
    FMemo->setPlainText(lines.join(QLatin1Char('\n')));
}

QStringList TStringsEditorDlg::Lines() const {
    const QString text = FMemo->toPlainText();
    if (text.isEmpty()) {
        return {};
    }
    QStringList lines = text.split(QLatin1Char('\n'));
    // A final line break ends the last line; it does not start an empty one.
    if (lines.size() > 1 && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

void TStringsEditorDlg::UpdateLineCount() {
    FLineCount->setText(tr("行数: %1").arg(Lines().size()));
}

} // namespace tagsink::inspector
