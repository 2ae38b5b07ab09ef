#include "log_view.hpp"

#include "platform/code_page.hpp"

#include <QFile>
#include <QSaveFile>
#include <QScrollBar>
#include <QStringEncoder>
#include <QTextBlock>
#include <QVBoxLayout>

#include <stdexcept>

namespace tagsink::app {

TLogView::TLogView(QWidget* parent, int max_lines) : QDockWidget(tr("Log"), parent), max_lines_(max_lines) {
    setObjectName(QStringLiteral("LogWin"));
    setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    DroppedNote = new QLabel(body);
    DroppedNote->setObjectName(QStringLiteral("DroppedNote"));
    DroppedNote->setText(
        tr("Older lines were dropped: the view keeps the most recent %1 lines.").arg(max_lines_));
    DroppedNote->setVisible(false);
    layout->addWidget(DroppedNote);
    Memo = new QPlainTextEdit(body);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setMaximumBlockCount(max_lines_);
    layout->addWidget(Memo);
    setWidget(body);
}

void TLogView::AppendLine(const QString& line) {
    line_count_ += line.count(QLatin1Char('\n')) + 1;
    // The view follows new lines while it shows the last one, and keeps showing the start of the lines
    // (appending moves the cursor to the end of the new line, which would scroll to the right).
    QScrollBar* down = Memo->verticalScrollBar();
    QScrollBar* across = Memo->horizontalScrollBar();
    const bool follow = down->value() >= down->maximum();
    const int column = across->value();
    Memo->appendPlainText(line);
    if (follow) {
        // The cursor at the start of the last line: showing the view for the first time reveals the
        // cursor, and so the start of the newest line.
        QTextCursor cursor = Memo->textCursor();
        cursor.movePosition(QTextCursor::End);
        cursor.movePosition(QTextCursor::StartOfBlock);
        Memo->setTextCursor(cursor);
        down->setValue(down->maximum());
    }
    across->setValue(column);
    if (line_count_ > max_lines_ && !dropped_) {
        dropped_ = true;
        DroppedNote->setVisible(true);
    }
}

void TLogView::Clear() {
    Memo->clear();
    line_count_ = 0;
    dropped_ = false;
    DroppedNote->setVisible(false);
}

QStringList TLogView::Lines() const {
    QStringList lines;
    if (Memo->document()->isEmpty()) {
        return lines;
    }
    for (QTextBlock block = Memo->document()->begin(); block.isValid(); block = block.next()) {
        lines << block.text();
    }
    return lines;
}

void TLogView::ExportTo(const QString& path) const {
    QByteArray bytes;
    for (const QString& line : Lines()) {
        bytes += ProgramEncoded(line);
        bytes += "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw std::runtime_error(
            tr("Cannot write the log to %1: %2").arg(path, file.errorString()).toStdString());
    }
}

void TLogView::closeEvent(QCloseEvent* event) {
    QDockWidget::closeEvent(event);
    emit Closed();
}

QByteArray ProgramEncoded(const QString& text) {
    // Code page 936 as the platform's code-page layer writes it (the one meaning of 936 in the program).
    const QByteArray utf8 = text.toUtf8();
    const std::string bytes =
        qz::Utf8ToCodePage(qz::kChineseCodePage, std::string_view(utf8.constData(), utf8.size()));
    return bytes.empty() && !utf8.isEmpty() ? utf8
                                            : QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace tagsink::app
