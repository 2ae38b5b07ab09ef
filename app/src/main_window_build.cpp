// TMain, building the window: its actions, menus, toolbar, tool windows, status bar and tray icon.
#include "main_window.hpp"

#include "main_window_common.hpp"
#include "model_bridge.hpp"
#include "prompts.hpp"
#include "property_captions.hpp"

#include <QApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace tagsink::app {

using main_window::kObjectRole;
using main_window::Q;

namespace {

// Draws the item list's grid lines around every cell and leaves the rest (selection, colours) to the
// style, so the selected row keeps the style's readable highlight.
class GridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(QColor(0xd0, 0xd0, 0xd0));
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

} // namespace

QAction* TMain::MakeAction(const QString& category, const QString& caption, const QString& hint) {
    auto* action = new QAction(caption, this);
    action->setStatusTip(hint);
    action->setToolTip(hint);
    actions_.append({category, action});
    return action;
}

void TMain::BuildActions() {
    QStyle* s = style();
    actFileSave = MakeAction("File", tr("保存(&Save)"), tr("保存配置信息"));
    actFileSave->setIcon(s->standardIcon(QStyle::SP_DialogSaveButton));
    actFileRestore = MakeAction("File", tr("恢复显示(&Restore)"), tr("恢复显示"));
    actFileExit = MakeAction("File", tr("退出系统(E&xit)"), tr("退出系统"));
    actFileExit->setIcon(s->standardIcon(QStyle::SP_DialogCloseButton));
    actEditAdd = MakeAction("Edit", tr("增加(&Add)"), tr("增加子项目"));
    actEditAdd->setIcon(s->standardIcon(QStyle::SP_FileDialogNewFolder));
    actEditDelete = MakeAction("Edit", tr("删除(&Delete)"), tr("删除选中项目"));
    actEditDelete->setIcon(s->standardIcon(QStyle::SP_TrashIcon));
    actEditCheck = MakeAction("Edit", tr("检查项目(&Check)"), tr("对照OPC服务器和数据库检查项目"));
    actEditCheck->setIcon(s->standardIcon(QStyle::SP_DialogApplyButton));
    actLogClear = MakeAction("Log", tr("清除日志(&Clear)"), tr("清除日志"));
    actLogExport = MakeAction("Log", tr("日志导出(&Export)"), tr("日志导出到文件"));
    actViewToolbar = MakeAction("View", tr("工具条(&Toolbar)"), tr("显示工具条"));
    actViewManager = MakeAction("View", tr("管理器(&Manager)"), tr("显示项目管理器"));
    actViewProperty = MakeAction("View", tr("属性编辑器(&Property)"), tr("显示属性编辑器"));
    actViewLog = MakeAction("View", tr("日志信息(&Log)"), tr("显示日志信息"));
    actModeEdit = MakeAction("Mode", tr("编辑模式(&Edit)"), tr("切换到编辑模式"));
    actModeDebug = MakeAction("Mode", tr("调试模式(&Debug)"), tr("切换到调试模式"));
    actModeRun = MakeAction("Mode", tr("运行模式(&Run)"), tr("切换到运行模式"));
    actHelpContext = MakeAction("Help", tr("帮助信息(&Context)"), tr("帮助信息"));
    actHelpAbout = MakeAction("Help", tr("关于(&About)"), tr("关于"));

    for (QAction* view : {actViewToolbar, actViewManager, actViewProperty, actViewLog}) {
        view->setCheckable(true);
        view->setChecked(view != actViewLog);
    }
    mode_group_ = new QActionGroup(this);
    for (QAction* mode : {actModeEdit, actModeDebug, actModeRun}) {
        mode->setCheckable(true);
        mode_group_->addAction(mode);
    }
    actModeEdit->setChecked(true);
    actHelpContext->setEnabled(false);

    connect(actFileSave, &QAction::triggered, this, [this] { Guarded([this] { FileSave(); }); });
    connect(actFileRestore, &QAction::triggered, this, [this] { Guarded([this] { FileRestore(); }); });
    connect(actFileExit, &QAction::triggered, this, [this] { Guarded([this] { FileExit(); }); });
    connect(actEditAdd, &QAction::triggered, this, [this] { Guarded([this] { EditAdd(); }); });
    connect(actEditDelete, &QAction::triggered, this, [this] { Guarded([this] { EditDelete(); }); });
    connect(actEditCheck, &QAction::triggered, this, [this] { Guarded([this] { EditCheck(); }); });
    connect(actLogClear, &QAction::triggered, this, [this] { Guarded([this] { LogClear(); }); });
    connect(actLogExport, &QAction::triggered, this, [this] { Guarded([this] { LogExport(); }); });
    connect(actModeEdit, &QAction::triggered, this, [this] {
        Guarded([this] { ModeEdit(); });
        SyncModeMark();
    });
    connect(actModeDebug, &QAction::triggered, this, [this] {
        Guarded([this] { SetMode(rmDebug); });
        SyncModeMark();
    });
    connect(actModeRun, &QAction::triggered, this, [this] {
        Guarded([this] { SetMode(rmRun); });
        SyncModeMark();
    });
    connect(actHelpAbout, &QAction::triggered, this, [this] { Guarded([this] { HelpAbout(); }); });
}

void TMain::BuildDocks() {
    tvItems = new QTreeWidget(this);
    tvItems->setObjectName(QStringLiteral("tvItems"));
    tvItems->setHeaderHidden(true);
    tvItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvItems->setSelectionBehavior(QAbstractItemView::SelectRows);
    tvItems->setSelectionMode(QAbstractItemView::SingleSelection);
    tvItems->setContextMenuPolicy(Qt::CustomContextMenu);
    tvItems->installEventFilter(this);

    ManagerWin = new QDockWidget(tr("ManagerWin"), this);
    ManagerWin->setObjectName(tr("ManagerWin"));
    ManagerWin->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    ManagerWin->setWidget(tvItems);
    addDockWidget(Qt::LeftDockWidgetArea, ManagerWin);

    Inspector = new TInspector(this);
    Inspector->setObjectName(QStringLiteral("Inspector"));
    Inspector->SetSplitter(120);
    Inspector->SetExpandComponentRefs(false);
    UseProjectCaptions(*Inspector);
    connect(Inspector, &inspector::TQZCustomPropertyInspector::Modified, this, &TMain::InspectorModified);

    PropertyWin = new QDockWidget(tr("Property "), this);
    PropertyWin->setObjectName(QStringLiteral("PropertyWin"));
    PropertyWin->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    PropertyWin->setWidget(Inspector);
    addDockWidget(Qt::LeftDockWidgetArea, PropertyWin);
    splitDockWidget(ManagerWin, PropertyWin, Qt::Vertical);
    resizeDocks({ManagerWin}, {260}, Qt::Horizontal);

    lvItems = new QTreeWidget(this);
    lvItems->setObjectName(QStringLiteral("lvItems"));
    lvItems->setRootIsDecorated(false);
    lvItems->setItemsExpandable(false);
    lvItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvItems->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvItems->setSelectionMode(QAbstractItemView::SingleSelection);
    lvItems->setAllColumnsShowFocus(true);
    lvItems->setItemDelegate(new GridDelegate(lvItems));
    {
        // The selection stays as visible and readable when the list loses the focus or the window is
        // not the active one.
        QPalette palette = lvItems->palette();
        for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
            palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
        }
        lvItems->setPalette(palette);
        tvItems->setPalette(palette);
    }
    lvItems->setUniformRowHeights(true);
    lvItems->setContextMenuPolicy(Qt::CustomContextMenu);
    lvItems->setHeaderLabels({tr("名称"), tr("OPC标签"), tr("字段名"), tr("缺省值"), tr("计算表达式"),
                              tr("记录标志"), tr("值"), tr("质量"), tr("时间")});
    lvItems->headerItem()->setToolTip(kValueColumn, tr("The last value received"));
    lvItems->headerItem()->setToolTip(kQualityColumn, tr("The OPC quality of the last value"));
    lvItems->headerItem()->setToolTip(kTimeColumn, tr("The local time stamp of the last value"));
    const int widths[] = {40, 120, 120, 80, 120, 80, 140, 110, 170};
    for (int i = 0; i < 9; ++i) {
        lvItems->setColumnWidth(i, widths[i]);
    }
    for (int column : {kValueColumn, kQualityColumn, kTimeColumn}) {
        lvItems->setColumnHidden(column, true); // shown while the project records
    }
    lvItems->installEventFilter(this);

    HealthPanel = new THealthPanel(this);
    HealthPanel->setVisible(false);
    auto* centre = new QWidget(this);
    centre->setObjectName(QStringLiteral("Centre"));
    auto* centre_layout = new QVBoxLayout(centre);
    centre_layout->setContentsMargins(0, 0, 0, 0);
    centre_layout->setSpacing(0);
    centre_layout->addWidget(HealthPanel);
    centre_layout->addWidget(lvItems, 1);
    setCentralWidget(centre);

    LogWin = new TLogView(this, options_.max_log_lines);
    addDockWidget(Qt::BottomDockWidgetArea, LogWin);
    LogWin->hide();

    CheckWin = new TCheckView(this);
    addDockWidget(Qt::BottomDockWidgetArea, CheckWin);
    CheckWin->hide();
    connect(CheckWin, &TCheckView::FindingActivated, this,
            [this](const QString& path) { Guarded([this, &path] { SelectObjectPath(path); }); });

    connect(tvItems, &QTreeWidget::currentItemChanged, this,
            [this] { Guarded([this] { TreeSelectionChanged(); }); });
    connect(lvItems, &QTreeWidget::itemSelectionChanged, this,
            [this] { Guarded([this] { ListSelectionChanged(); }); });

    // View actions and their windows.
    connect(actViewManager, &QAction::toggled, ManagerWin, &QWidget::setVisible);
    connect(actViewProperty, &QAction::toggled, PropertyWin, &QWidget::setVisible);
    connect(actViewLog, &QAction::toggled, LogWin, &QWidget::setVisible);
    connect(ManagerWin->toggleViewAction(), &QAction::toggled, actViewManager, &QAction::setChecked);
    connect(PropertyWin->toggleViewAction(), &QAction::toggled, actViewProperty, &QAction::setChecked);
    connect(LogWin, &TLogView::Closed, this, [this] { actViewLog->setChecked(false); });
}

void TMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    auto add_menu = [bar](const QString& title, const QString& hint) {
        QMenu* menu = bar->addMenu(title);
        menu->menuAction()->setStatusTip(hint);
        return menu;
    };
    QMenu* file = add_menu(tr("文件(&File)"), tr("文件操作"));
    file->addAction(actFileSave);
    file->addSeparator();
    file->addAction(actFileExit);
    QMenu* edit = add_menu(tr("编辑(&Edit)"), tr("编辑操作"));
    edit->addActions({actEditAdd, actEditDelete});
    edit->addSeparator();
    edit->addAction(actEditCheck);
    edit->addSeparator();
    edit->addActions({actLogClear, actLogExport});
    edit->addSeparator();
    edit->addActions({actViewToolbar, actViewManager, actViewProperty, actViewLog});
    QMenu* mode = add_menu(tr("模式(&Mode)"), tr("模式切换"));
    mode->addActions({actModeEdit, actModeDebug, actModeRun});
    QMenu* help = add_menu(tr("帮助(&Help)"), tr("帮助"));
    help->addAction(actHelpContext);
    help->addSeparator();
    help->addAction(actHelpAbout);

    Toolbar = addToolBar(tr("Toolbar"));
    Toolbar->setObjectName(tr("Toolbar"));
    Toolbar->addAction(actEditAdd);
    Toolbar->addAction(actEditDelete);
    Toolbar->addAction(actEditCheck);
    Toolbar->addSeparator();
    // The toolbar's own hints for saving and leaving.
    auto* save = new QAction(actFileSave->icon(), actFileSave->text(), Toolbar);
    save->setStatusTip(tr("保存配置"));
    save->setToolTip(tr("保存配置"));
    connect(save, &QAction::triggered, actFileSave, &QAction::trigger);
    auto* exit = new QAction(actFileExit->icon(), actFileExit->text(), Toolbar);
    exit->setStatusTip(tr("退出程序"));
    exit->setToolTip(tr("退出程序"));
    connect(exit, &QAction::triggered, actFileExit, &QAction::trigger);
    Toolbar->addAction(save);
    Toolbar->addAction(exit);
    connect(actViewToolbar, &QAction::toggled, Toolbar, &QWidget::setVisible);
    connect(Toolbar->toggleViewAction(), &QAction::toggled, actViewToolbar, &QAction::setChecked);

    TreeMenu = new QMenu(this);
    TreeMenu->addActions({actEditAdd, actEditDelete});
    auto popup = [this](QWidget* view, const QPoint& at) { TreeMenu->popup(view->mapToGlobal(at)); };
    connect(tvItems, &QWidget::customContextMenuRequested, this,
            [this, popup](const QPoint& at) { popup(tvItems->viewport(), at); });
    connect(lvItems, &QWidget::customContextMenuRequested, this,
            [this, popup](const QPoint& at) { popup(lvItems->viewport(), at); });

    TrayMenu = new QMenu(this);
    TrayMenu->addActions({actFileRestore, actHelpAbout});
    TrayMenu->addSeparator();
    TrayMenu->addAction(actFileExit);
}

void TMain::BuildStatusBar() {
    auto panel = [this](const char* name, int width, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QLatin1String(name));
        label->setFixedWidth(width);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addWidget(label);
        return label;
    };
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    HintPanel = panel("HintPanel", 200, QString());
    ModePanel = panel("ModePanel", 80, tr("Edit"));
    OpcPanel = panel("OpcPanel", 120, Q(kOpcDisconnected));
    DbPanel = panel("DbPanel", 120, Q(kDbDisconnected));
    ClockPanel = panel("ClockPanel", 50, QString());
    ClockPanel->setMinimumWidth(50);
    ClockPanel->setMaximumWidth(QWIDGETSIZE_MAX);
    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TMain::ClockTick);
    Timer1->start();
    LiveTimer = new QTimer(this);
    LiveTimer->setObjectName(QStringLiteral("LiveTimer"));
    LiveTimer->setInterval(kLiveInterval);
    connect(LiveTimer, &QTimer::timeout, this, [this] { Guarded([this] { RefreshLive(); }); });
}

void TMain::BuildTray() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // With no notification area the hidden window could never be reached: show it instead.
        starts_visible_ = true;
        LogWin->AppendLine(
            QStringLiteral("%1:uMain--TMain.FormCreate--No notification area on this desktop; "
                           "the main window is shown instead of a tray icon.")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))));
        return;
    }
    TrayIcon = new QSystemTrayIcon(QApplication::windowIcon().isNull()
                                       ? style()->standardIcon(QStyle::SP_ComputerIcon)
                                       : QApplication::windowIcon(),
                                   this);
    TrayIcon->setToolTip(tr("Tagsink Tool"));
    TrayIcon->setContextMenu(TrayMenu);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick) {
            FileRestore();
        }
    });
    TrayIcon->show();
}

} // namespace tagsink::app
