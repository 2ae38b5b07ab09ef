// The string list dialog: a plain-text area and a live line count.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>

namespace tagsink::inspector {

class TStringsEditorDlg : public QDialog {
    Q_OBJECT
public:
    explicit TStringsEditorDlg(QWidget* parent = nullptr);

    void SetLines(const QStringList& lines);
    QStringList Lines() const;

    QPlainTextEdit* Memo() const { return FMemo; }
    QLabel* LineCount() const { return FLineCount; }
    QPushButton* OkButton() const { return FOk; }
    QPushButton* CancelButton() const { return FCancel; }

private:
    void UpdateLineCount();

    QPlainTextEdit* FMemo;
    QLabel* FLineCount;
    QPushButton* FOk;
    QPushButton* FCancel;
};

} // namespace tagsink::inspector
