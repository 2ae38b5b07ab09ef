// Drives the program's window in tests: scripted answers for every modal question, and a window that
// does not end the test program when it "ends".
#pragma once

#include "main_window.hpp"
#include "prompts.hpp"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <functional>
#include <optional>

namespace tagsink::app::testing {

/// Answers the program's questions from queues; records every message shown.
class ScriptedPrompts : public Prompts {
public:
    ScriptedPrompts() { SetPrompts(this); }
    ~ScriptedPrompts() override { SetPrompts(nullptr); }

    std::deque<QString> passwords;                    // a null QString: the dialog was cancelled
    std::deque<QMessageBox::StandardButton> answers;  // Yes / No / Cancel
    std::deque<QString> file_names;                   // a null QString: cancelled
    std::deque<std::function<int(QDialog&)>> dialogs; // operate a dialog, return its result
    QStringList messages;                             // "caption|text"
    int password_asked = 0;
    int questions_asked = 0;

    void Message(const QString& caption, const QString& text, QMessageBox::Icon) override {
        messages << caption + QLatin1Char('|') + text;
    }
    QMessageBox::StandardButton AskYesNoCancel(const QString&, const QString&) override {
        ++questions_asked;
        if (answers.empty()) {
            return QMessageBox::Cancel;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<QString> AskPassword() override {
        ++password_asked;
        if (passwords.empty()) {
            return std::nullopt;
        }
        QString password = passwords.front();
        passwords.pop_front();
        if (password.isNull()) {
            return std::nullopt;
        }
        return password;
    }
    std::optional<QString> SaveFileName(QWidget*, const QString&, const QString&, const QString&,
                                        const QString&) override {
        if (file_names.empty()) {
            return std::nullopt;
        }
        QString name = file_names.front();
        file_names.pop_front();
        if (name.isNull()) {
            return std::nullopt;
        }
        return name;
    }
    int Exec(QDialog& dialog) override {
        if (dialogs.empty()) {
            return QDialog::Rejected;
        }
        auto operate = dialogs.front();
        dialogs.pop_front();
        dialog.show();
        QTest::qWait(0);
        int result = operate(dialog);
        dialog.hide();
        return result;
    }
};

/// A window on a project file in a temporary folder, shown and focused, that counts its "ends".
struct Window {
    explicit Window(const QString& project_file, int max_log_lines = TLogView::kDefaultMaxLines)
        : Window(OptionsFor(project_file, max_log_lines)) {}
    explicit Window(TMain::Options options) {
        options.use_tray = false;
        main = std::make_unique<TMain>(options);
        main->OnEndProgram = [this] { ++ended; };
        main->show();
        QApplication::setActiveWindow(main.get());
        (void)QTest::qWaitForWindowExposed(main.get());
    }
    static TMain::Options OptionsFor(const QString& project_file,
                                     int max_log_lines = TLogView::kDefaultMaxLines) {
        TMain::Options options;
        options.project_file = project_file;
        options.max_log_lines = max_log_lines;
        return options;
    }
    TMain* operator->() const { return main.get(); }
    std::unique_ptr<TMain> main;
    int ended = 0;
};

/// Lets the events run until the engine's stop (towards Edit or the program's end) is complete.
inline bool WaitStopped(TMain& main, int ms = 30000) {
    return QTest::qWaitFor([&main] { return !main.Stopping(); }, ms);
}

/// Gives a widget the keyboard focus and lets the focus events run.
inline void Focus(QWidget* widget) {
    QApplication::setActiveWindow(widget->window());
    widget->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
}

/// Selects a tree node (through the current item, as a click would) with the tree focused.
inline void SelectNode(TMain& main, QTreeWidgetItem* node) {
    Focus(main.tvItems);
    main.tvItems->setCurrentItem(node);
    QApplication::processEvents();
}

/// Selects an item row with the list focused.
inline void SelectRow(TMain& main, int row) {
    Focus(main.lvItems);
    main.lvItems->setCurrentItem(main.lvItems->topLevelItem(row));
    QApplication::processEvents();
}

/// The texts of the group nodes under the server node.
inline QStringList GroupNodes(TMain& main) {
    QStringList names;
    QTreeWidgetItem* root = main.tvItems->topLevelItem(0);
    for (int i = 0; root && i < root->childCount(); ++i) {
        names << root->child(i)->text(0);
    }
    return names;
}

/// The texts of one column of the item list.
inline QStringList ListColumn(TMain& main, int column) {
    QStringList texts;
    for (int i = 0; i < main.lvItems->topLevelItemCount(); ++i) {
        texts << main.lvItems->topLevelItem(i)->text(column);
    }
    return texts;
}

} // namespace tagsink::app::testing
