// TMain: the program's main window and the owner of the running project.
//
// It shows the project as a tree (the server and its groups) beside the list of the selected group's
// items, edits the selected object in the property inspector, saves the project file, and switches
// between Edit, Debug and Run mode; leaving Edit starts the recording engine, returning to Edit (after
// the operation password) stops it. The window lives behind a tray icon.
#pragma once

#include "check_view.hpp"
#include "health_panel.hpp"
#include "inspector/property_inspector.hpp"
#include "log_view.hpp"
#include "project_engine.hpp"
#include "qt_event_loop.hpp"
#include "ui_reporter.hpp"

#include <QAction>
#include <QActionGroup>
#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <optional>

namespace tagsink {
class TServer;
class TNamedItem;
class TGroup;
class TItem;
} // namespace tagsink

namespace tagsink::app {

enum TRunMode { rmEdit = 0, rmDebug = 1, rmRun = 2 };

/// The property inspector of the window: its failures reach the operator like every other failure.
class TInspector : public inspector::TQZPropertyInspector {
    Q_OBJECT
public:
    using inspector::TQZPropertyInspector::TQZPropertyInspector;
    void ShowError(const QString& message) override;
};

/// The project file of a program: its own path with the extension ".DAT".
QString ProjectFilePathFor(const QString& program_path);

class TMain : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        QString project_file; // empty: beside the program, extension ".DAT"
        int max_log_lines = TLogView::kDefaultMaxLines;
        bool use_tray = true; // false: no tray icon (tests)
        EngineOptions engine; // the record thread's and the OPC link's settings
    };

    TMain();
    explicit TMain(Options options);
    ~TMain() override;

    // State.
    TServer& Server() const { return *server_; }
    TRunMode Mode() const { return mode_; }
    /// True while the engine stops (the window is on its way to Edit mode or to the program's end): the
    /// mode panel says "Stopping", the mode actions are disabled and the window keeps working.
    bool Stopping() const { return stopping_; }
    const ProjectEngine& RecordingEngine() const { return *engine_; }
    TNamedItem* CurrentObject() const { return current_; }
    const QString& ProjectFile() const { return project_file_; }

    // Operations.
    void SetMode(TRunMode mode);
    void ShowObject(TNamedItem* object);
    void FillItemRow(QTreeWidgetItem* row);
    /// Fills the tree the first time the window is shown (also callable directly).
    void FillTree();
    /// The log method behind WriteLog: appends the line in Debug mode only.
    void Log(const QDateTime& time, const QString& unit, const QString& operation, const QString& text);
    EngineReporter& Reporter() { return *reporter_; }

    /// How the program ends (FileExit, an accepted close); the default leaves the event loop.
    std::function<void()> OnEndProgram;

    // Commands (what the actions run).
    void FileSave();
    void FileRestore();
    void FileExit();
    void EditAdd();
    void EditDelete();
    void LogClear();
    void LogExport();
    void ModeEdit();
    void HelpAbout();
    /// Edit mode only: checks the project against its OPC server and database (CheckProject) and shows
    /// the findings in CheckWin. Runs on this thread (the toolkit's); the window keeps drawing between
    /// the check's steps and takes no input until it is done.
    void EditCheck();
    /// Selects the object of a name path ("Manager", "Manager.Group1", "Manager.Group1.Item1"): the
    /// group's node in the tree and the item's row in the list. False when no such object is shown.
    bool SelectObjectPath(const QString& path);
    /// True while EditCheck runs.
    bool Checking() const { return checking_; }

    /// The columns of the item list after the six configuration columns: the last value received, its
    /// quality and its local time stamp (shown in Debug and Run).
    static constexpr int kValueColumn = 6;
    static constexpr int kQualityColumn = 7;
    static constexpr int kTimeColumn = 8;
    /// How often the live values and counters are redrawn while the project records.
    static constexpr int kLiveInterval = 250;

    /// Redraws the live cells of the rows in view, the counters and the link panels' colours.
    void RefreshLive();
    /// The record thread's counters.
    const RecorderStats& Stats() const { return engine_->Stats(); }

    // Parts (public for tests and screenshots).
    QTreeWidget* tvItems;
    QTreeWidget* lvItems;
    TInspector* Inspector;
    TLogView* LogWin;
    TCheckView* CheckWin;
    QDockWidget* ManagerWin;
    QDockWidget* PropertyWin;
    QToolBar* Toolbar;
    QLabel* HintPanel;
    QLabel* ModePanel;
    QLabel* OpcPanel;
    QLabel* DbPanel;
    QLabel* ClockPanel;
    QTimer* Timer1;
    QTimer* LiveTimer;
    THealthPanel* HealthPanel;
    QSystemTrayIcon* TrayIcon = nullptr;
    QMenu* TrayMenu;
    QMenu* TreeMenu;

    QAction* actFileSave;
    QAction* actFileRestore;
    QAction* actFileExit;
    QAction* actEditAdd;
    QAction* actEditDelete;
    QAction* actEditCheck;
    QAction* actLogClear;
    QAction* actLogExport;
    QAction* actViewToolbar;
    QAction* actViewManager;
    QAction* actViewProperty;
    QAction* actViewLog;
    QAction* actModeEdit;
    QAction* actModeDebug;
    QAction* actModeRun;
    QAction* actHelpContext;
    QAction* actHelpAbout;

    /// Every action with its category ("File", "Edit", ...), in declared order.
    QList<QPair<QString, QAction*>> Actions() const { return actions_; }

    /// Shows the window at start when the desktop offers no notification area (false: stays hidden).
    bool StartsVisible() const { return starts_visible_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildActions();
    void BuildMenus();
    void BuildDocks();
    void BuildStatusBar();
    void BuildTray();
    void FormCreate();
    QAction* MakeAction(const QString& category, const QString& caption, const QString& hint);
    void SyncModeMark();
    void EndProgram();
    void EnterEdit();
    // Stops the engine without blocking the window; `then` runs when it has stopped.
    void StopEngine(std::function<void()> then);
    void StopFinished(const std::function<void()>& then);
    void FillItems(TGroup* group);
    void TreeSelectionChanged();
    void ListSelectionChanged();
    void InspectorModified();
    void ClockTick();
    void FillLiveCells(QTreeWidgetItem* row);
    void ColourLinkPanels();
    void FitNameColumn();
    TNamedItem* NodeObject(QTreeWidgetItem* node) const;
    TItem* RowItem(QTreeWidgetItem* row) const;

    Options options_;
    std::unique_ptr<TServer> server_;
    TRunMode mode_ = rmEdit;
    bool stopping_ = false;
    bool checking_ = false;
    bool end_after_stop_ = false;             // the program ends once the stop is complete
    std::optional<TRunMode> mode_after_stop_; // a Debug or Run asked for while stopping
    bool destroying_ = false;
    TNamedItem* current_ = nullptr;
    bool tree_filled_ = false;
    bool starts_visible_ = false;
    QString project_file_;
    QList<QPair<QString, QAction*>> actions_;
    QActionGroup* mode_group_;
    std::unique_ptr<UiReporter> reporter_;
    std::unique_ptr<QtEventLoop> loop_;
    std::unique_ptr<LoopHandle> toolkit_watch_;
    std::unique_ptr<ProjectEngine> engine_;
};

} // namespace tagsink::app
