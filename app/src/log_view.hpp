// TLogView: the log window at the bottom of the main window. Holds the lines in a read-only text area
// that never wraps; clears it and exports it to a text file (CR LF lines, the program's 8-bit encoding).
//
// A long Debug session must not exhaust memory, so the view keeps the most recent lines (100,000 by
// default) and tells the operator when older ones were dropped.
#pragma once

#include <QDockWidget>
#include <QLabel>
#include <QPlainTextEdit>

namespace tagsink::app {

class TLogView : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int kDefaultMaxLines = 100000;

    explicit TLogView(QWidget* parent = nullptr, int max_lines = kDefaultMaxLines);

    /// Appends one line (a text with line breaks spans several lines of the view).
    void AppendLine(const QString& line);
    /// Empties the view.
    void Clear();
    /// The lines of the view, in order.
    QStringList Lines() const;
    /// Writes every line followed by CR LF, replacing the file; throws std::runtime_error with the reason.
    void ExportTo(const QString& path) const;
    /// True once lines were dropped to keep the bound (until Clear).
    bool Dropped() const { return dropped_; }

    QPlainTextEdit* Memo;
    QLabel* DroppedNote;

signals:
    /// The window was closed by its own close button.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    int max_lines_;
    long long line_count_ = 0; // lines held (as far as the bound lets them stay)
    bool dropped_ = false;
};

/// The 8-bit text of the program: code page 936 (platform/code_page.hpp), UTF-8 if that fails.
QByteArray ProgramEncoded(const QString& text);

} // namespace tagsink::app
