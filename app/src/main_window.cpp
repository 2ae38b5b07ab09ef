#include "main_window.hpp"

#include "about_box.hpp"
#include "live_values.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "model_bridge.hpp"
#include "password_dialog.hpp"
#include "prompts.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QPainter>
#include <QStatusTipEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <map>

namespace tagsink::app {

namespace {

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr int kObjectRole = Qt::UserRole + 1;

// The caption the inspector shows for a property of the project.
const std::map<QString, QString>& Captions() {
    static const std::map<QString, QString> kCaptions{
        {QStringLiteral("BufferCount"), QStringLiteral("记录缓存数量")},
        {QStringLiteral("BufferTime"), QStringLiteral("记录缓存时间")},
        {QStringLiteral("DBString"), QStringLiteral("数据库连接参数")},
        {QStringLiteral("OPCString"), QStringLiteral("OPC连接参数")},
        {QStringLiteral("Description"), QStringLiteral("描述")},
        {QStringLiteral("Deadband"), QStringLiteral("数据值死区")},
        {QStringLiteral("TimeField"), QStringLiteral("时间字段")},
        {QStringLiteral("TimeFieldType"), QStringLiteral("时间字段类型")},
        {QStringLiteral("KeyField"), QStringLiteral("标志字段")},
        {QStringLiteral("KeyFieldType"), QStringLiteral("标志字段类型")},
        {QStringLiteral("RecordInterval"), QStringLiteral("数据记录间隔")},
        {QStringLiteral("RecordType"), QStringLiteral("数据记录方式")},
        {QStringLiteral("TableName"), QStringLiteral("表名")},
        {QStringLiteral("TableType"), QStringLiteral("表类型")},
        {QStringLiteral("UpdateRate"), QStringLiteral("OPC采集间隔")},
        {QStringLiteral("TrigType"), QStringLiteral("数据采集方式")},
        {QStringLiteral("DefaultValue"), QStringLiteral("缺省值")},
        {QStringLiteral("CalcExpr"), QStringLiteral("计算表达式")},
        {QStringLiteral("FieldName"), QStringLiteral("数据字段名称")},
        {QStringLiteral("FieldType"), QStringLiteral("数据字段类型")},
        {QStringLiteral("GainType"), QStringLiteral("数据获取方式")},
        {QStringLiteral("ItemName"), QStringLiteral("OPC标签名称")},
        {QStringLiteral("Key"), QStringLiteral("记录标志")},
    };
    return kCaptions;
}

// The smallest n from 1 for which `owner` has no child named prefix + n (case ignored).
std::string FreeName(const TNamedItem& owner, const char* prefix) {
    for (int n = 1;; ++n) {
        std::string name = prefix + std::to_string(n);
        if (!owner.FindChild(name)) {
            return name;
        }
    }
}

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

// Live cells: missing values and bad quality stand out, uncertain quality is marked.
const QColor kBadBackground(0xff, 0xcd, 0xd2);
const QColor kBadText(0xb7, 0x1c, 0x1c);
const QColor kUncertainBackground(0xff, 0xf0, 0xb3);
const QColor kMissingBackground(0xe6, 0xe6, 0xe6);
const QColor kMissingText(0x60, 0x60, 0x60);

const char* const kLinkDownStyle = "QLabel { color: #ffffff; background-color: #c62828; }";

} // namespace

void TInspector::ShowError(const QString& message) {
    ShowFailure(message);
}

QString ProjectFilePathFor(const QString& program_path) {
    QFileInfo info(program_path);
    return QDir(info.absolutePath()).filePath(info.completeBaseName() + QStringLiteral(".DAT"));
}

TMain::TMain() : TMain(Options{}) {}

TMain::TMain(Options options) : options_(std::move(options)) {
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("Tagsink"));
    resize(800, 600);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    OnEndProgram = [] { QCoreApplication::quit(); };

    reporter_ = std::make_unique<UiReporter>(
        UiReporter::Sinks{[this](const QDateTime& time, const QString& unit, const QString& operation,
                                 const QString& text) { Log(time, unit, operation, text); },
                          [this](const QString& text) {
                              OpcPanel->setText(text);
                              ColourLinkPanels();
                          },
                          [this](const QString& text) {
                              DbPanel->setText(text);
                              ColourLinkPanels();
                          }});
    loop_ = std::make_unique<QtEventLoop>();
    toolkit_watch_ = WatchToolkitEvents(*loop_);

    BuildActions();
    BuildDocks();
    BuildMenus();
    BuildStatusBar();
    if (options_.use_tray) {
        BuildTray();
    }
    SetLogTarget(reporter_.get());
    FormCreate();
}

TMain::~TMain() {
    destroying_ = true; // a stop that completes now only frees the engine's thread
    SetLogTarget(nullptr);
    Inspector->Clear();
    if (engine_) {
        engine_->Stop();
    }
    engine_.reset();
    toolkit_watch_.reset();
    server_.reset();
}

QAction* TMain::MakeAction(const QString& category, const QString& caption, const QString& hint) {
    auto* action = new QAction(caption, this);
    action->setStatusTip(hint);
    action->setToolTip(hint);
    actions_.append({category, action});
    return action;
}

void TMain::BuildActions() {
    QStyle* s = style();
    actFileSave = MakeAction("File", QStringLiteral("保存(&Save)"), QStringLiteral("保存配置信息"));
    actFileSave->setIcon(s->standardIcon(QStyle::SP_DialogSaveButton));
    actFileRestore = MakeAction("File", QStringLiteral("恢复显示(&Restore)"), QStringLiteral("恢复显示"));
    actFileExit = MakeAction("File", QStringLiteral("退出系统(E&xit)"), QStringLiteral("退出系统"));
    actFileExit->setIcon(s->standardIcon(QStyle::SP_DialogCloseButton));
    actEditAdd = MakeAction("Edit", QStringLiteral("增加(&Add)"), QStringLiteral("增加子项目"));
    actEditAdd->setIcon(s->standardIcon(QStyle::SP_FileDialogNewFolder));
    actEditDelete = MakeAction("Edit", QStringLiteral("删除(&Delete)"), QStringLiteral("删除选中项目"));
    actEditDelete->setIcon(s->standardIcon(QStyle::SP_TrashIcon));
    actLogClear = MakeAction("Log", QStringLiteral("清除日志(&Clear)"), QStringLiteral("清除日志"));
    actLogExport = MakeAction("Log", QStringLiteral("日志导出(&Export)"), QStringLiteral("日志导出到文件"));
    actViewToolbar = MakeAction("View", QStringLiteral("工具条(&Toolbar)"), QStringLiteral("显示工具条"));
    actViewManager = MakeAction("View", QStringLiteral("管理器(&Manager)"), QStringLiteral("显示项目管理器"));
    actViewProperty =
        MakeAction("View", QStringLiteral("属性编辑器(&Property)"), QStringLiteral("显示属性编辑器"));
    actViewLog = MakeAction("View", QStringLiteral("日志信息(&Log)"), QStringLiteral("显示日志信息"));
    actModeEdit = MakeAction("Mode", QStringLiteral("编辑模式(&Edit)"), QStringLiteral("切换到编辑模式"));
    actModeDebug = MakeAction("Mode", QStringLiteral("调试模式(&Debug)"), QStringLiteral("切换到调试模式"));
    actModeRun = MakeAction("Mode", QStringLiteral("运行模式(&Run)"), QStringLiteral("切换到运行模式"));
    actHelpContext = MakeAction("Help", QStringLiteral("帮助信息(&Context)"), QStringLiteral("帮助信息"));
    actHelpAbout = MakeAction("Help", QStringLiteral("关于(&About)"), QStringLiteral("关于"));

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

    ManagerWin = new QDockWidget(QStringLiteral("ManagerWin"), this);
    ManagerWin->setObjectName(QStringLiteral("ManagerWin"));
    ManagerWin->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    ManagerWin->setWidget(tvItems);
    addDockWidget(Qt::LeftDockWidgetArea, ManagerWin);

    Inspector = new TInspector(this);
    Inspector->setObjectName(QStringLiteral("Inspector"));
    Inspector->SetSplitter(120);
    Inspector->SetExpandComponentRefs(false);
    Inspector->OnFilterProp = [](inspector::TQZCustomPropertyInspector*, const inspector::TQZInstance&,
                                 const inspector::TQZPropInfo* prop, bool& include) {
        const QString& name = prop->Name;
        include = !(name == QLatin1String("Dirty") || name == QLatin1String("Tag") ||
                    name == QLatin1String("Name"));
    };
    Inspector->OnDrawCaption = [](inspector::TQZCustomPropertyInspector*, const inspector::TQZTypeInfo*,
                                  QString& name) {
        auto found = Captions().find(name);
        if (found != Captions().end()) {
            name = found->second;
        }
    };
    Inspector->OnModified = [this](inspector::TQZCustomPropertyInspector*) { InspectorModified(); };

    PropertyWin = new QDockWidget(QStringLiteral("Property "), this);
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
    lvItems->setHeaderLabels({QStringLiteral("名称"), QStringLiteral("OPC标签"), QStringLiteral("字段名"),
                              QStringLiteral("缺省值"), QStringLiteral("计算表达式"),
                              QStringLiteral("记录标志"), QStringLiteral("值"), QStringLiteral("质量"),
                              QStringLiteral("时间")});
    lvItems->headerItem()->setToolTip(kValueColumn, QStringLiteral("The last value received"));
    lvItems->headerItem()->setToolTip(kQualityColumn, QStringLiteral("The OPC quality of the last value"));
    lvItems->headerItem()->setToolTip(kTimeColumn, QStringLiteral("The local time stamp of the last value"));
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
    QMenu* file = add_menu(QStringLiteral("文件(&File)"), QStringLiteral("文件操作"));
    file->addAction(actFileSave);
    file->addSeparator();
    file->addAction(actFileExit);
    QMenu* edit = add_menu(QStringLiteral("编辑(&Edit)"), QStringLiteral("编辑操作"));
    edit->addActions({actEditAdd, actEditDelete});
    edit->addSeparator();
    edit->addActions({actLogClear, actLogExport});
    edit->addSeparator();
    edit->addActions({actViewToolbar, actViewManager, actViewProperty, actViewLog});
    QMenu* mode = add_menu(QStringLiteral("模式(&Mode)"), QStringLiteral("模式切换"));
    mode->addActions({actModeEdit, actModeDebug, actModeRun});
    QMenu* help = add_menu(QStringLiteral("帮助(&Help)"), QStringLiteral("帮助"));
    help->addAction(actHelpContext);
    help->addSeparator();
    help->addAction(actHelpAbout);

    Toolbar = addToolBar(QStringLiteral("Toolbar"));
    Toolbar->setObjectName(QStringLiteral("Toolbar"));
    Toolbar->addAction(actEditAdd);
    Toolbar->addAction(actEditDelete);
    Toolbar->addSeparator();
    // The toolbar's own hints for saving and leaving.
    auto* save = new QAction(actFileSave->icon(), actFileSave->text(), Toolbar);
    save->setStatusTip(QStringLiteral("保存配置"));
    save->setToolTip(QStringLiteral("保存配置"));
    connect(save, &QAction::triggered, actFileSave, &QAction::trigger);
    auto* exit = new QAction(actFileExit->icon(), actFileExit->text(), Toolbar);
    exit->setStatusTip(QStringLiteral("退出程序"));
    exit->setToolTip(QStringLiteral("退出程序"));
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
    ModePanel = panel("ModePanel", 80, QStringLiteral("Edit"));
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
    TrayIcon->setToolTip(QStringLiteral("Tagsink Tool"));
    TrayIcon->setContextMenu(TrayMenu);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick) {
            FileRestore();
        }
    });
    TrayIcon->show();
}

void TMain::FormCreate() {
    server_ = std::make_unique<TServer>();
    engine_ = std::make_unique<ProjectEngine>(*server_, *loop_, *reporter_, options_.engine);
    // An OPC server that shuts down stops the engine; the mode stays as it is.
    engine_->SetShutdownHandler([] {});
    project_file_ = options_.project_file.isEmpty()
                        ? ProjectFilePathFor(QCoreApplication::applicationFilePath())
                        : options_.project_file;
    bool loaded = false;
    if (QFileInfo::exists(project_file_)) {
        try {
            server_->LoadFromFile(project_file_.toStdString());
            loaded = true;
        } catch (const std::exception& error) {
            ShowFailure(QString::fromUtf8(error.what()));
        }
    }
    if (loaded && engine_->CanRun()) {
        SetMode(rmRun);
    }
}

void TMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    FillTree();
}

void TMain::FillTree() {
    if (tree_filled_) {
        return;
    }
    tree_filled_ = true;
    auto* root = new QTreeWidgetItem(tvItems, {Q(server_->Name())});
    root->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(server_.get())));
    for (std::size_t i = 0; i < server_->ChildCount(); ++i) {
        auto* group = dynamic_cast<TGroup*>(&server_->Child(i));
        if (!group) {
            continue;
        }
        auto* node = new QTreeWidgetItem(root, {Q(group->Description())});
        node->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(group)));
    }
    root->setExpanded(true);
}

TNamedItem* TMain::NodeObject(QTreeWidgetItem* node) const {
    return node ? reinterpret_cast<TNamedItem*>(node->data(0, kObjectRole).value<quintptr>()) : nullptr;
}

TItem* TMain::RowItem(QTreeWidgetItem* row) const {
    return row ? reinterpret_cast<TItem*>(row->data(0, kObjectRole).value<quintptr>()) : nullptr;
}

void TMain::ShowObject(TNamedItem* object) {
    current_ = object;
    Inspector->Clear();
    if (!object) {
        return;
    }
    Inspector->Add(InstanceOf(*object));
    std::string_view cls = object->ClassName();
    actEditAdd->setEnabled(cls != "TItem" && mode_ == rmEdit);
    actEditDelete->setEnabled(cls != "TServer" && mode_ == rmEdit);
    Inspector->SetReadOnly(mode_ != rmEdit);
}

void TMain::FillItemRow(QTreeWidgetItem* row) {
    TItem* item = RowItem(row);
    if (!row || !item) {
        return;
    }
    row->setText(0, Q(item->Name()));
    row->setToolTip(0, Q(item->Name()));
    row->setText(1, Q(item->ItemName()));
    row->setToolTip(1, Q(item->ItemName()));
    row->setText(2, Q(item->FieldName()));
    row->setText(3, Q(item->DefaultValue()));
    row->setText(4, Q(item->CalcExpr()));
    row->setText(5, Q(item->Key()));
}

void TMain::FillItems(TGroup* group) {
    lvItems->clear();
    if (!group) {
        return;
    }
    for (std::size_t i = 0; i < group->ChildCount(); ++i) {
        auto* item = dynamic_cast<TItem*>(&group->Child(i));
        if (!item) {
            continue;
        }
        auto* row = new QTreeWidgetItem(lvItems);
        row->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(item)));
        FillItemRow(row);
    }
    FitNameColumn();
    if (mode_ != rmEdit) {
        RefreshLive();
    }
}

void TMain::FitNameColumn() {
    // The names start at 40 pixels; the column grows so that every name in view reads in full.
    const int before = lvItems->columnWidth(0);
    lvItems->resizeColumnToContents(0);
    if (lvItems->columnWidth(0) < before) {
        lvItems->setColumnWidth(0, before);
    }
}

void TMain::FillLiveCells(QTreeWidgetItem* row) {
    TItem* item = RowItem(row);
    if (!item) {
        return;
    }
    auto set = [row](int column, const QString& text, const QColor& background, const QColor& foreground) {
        if (row->text(column) != text) {
            row->setText(column, text);
        }
        const QBrush back = background.isValid() ? QBrush(background) : QBrush();
        if (row->background(column) != back) {
            row->setBackground(column, back);
        }
        const QBrush fore = foreground.isValid() ? QBrush(foreground) : QBrush();
        if (row->foreground(column) != fore) {
            row->setForeground(column, fore);
        }
    };
    const bool missing = item->Value.get().vt == VT_EMPTY && item->TimeStamp == 0;
    if (missing) {
        set(kValueColumn, QStringLiteral("(no value)"), kMissingBackground, kMissingText);
        set(kQualityColumn, QStringLiteral("(no value)"), kMissingBackground, kMissingText);
        set(kTimeColumn, QString(), kMissingBackground, kMissingText);
        return;
    }
    QColor background;
    QColor foreground;
    switch (ClassOfQuality(item->Quality)) {
    case QualityClass::Bad:
        background = kBadBackground;
        foreground = kBadText;
        break;
    case QualityClass::Uncertain:
        background = kUncertainBackground;
        break;
    case QualityClass::Good:
        break;
    }
    set(kValueColumn, LiveValueText(item->Value), background, foreground);
    set(kQualityColumn, QualityText(item->Quality), background, foreground);
    set(kTimeColumn, LocalTimeStampText(item->TimeStamp), background, foreground);
}

void TMain::RefreshLive() {
    HealthPanel->Refresh(engine_->Stats());
    ColourLinkPanels();
    if (mode_ == rmEdit || lvItems->topLevelItemCount() == 0 || !lvItems->isVisible()) {
        return; // nothing in view (in the tray, the list shows no rows)
    }
    // Only the rows in view: the cost does not grow with the number of items.
    const int bottom = lvItems->viewport()->height();
    for (QTreeWidgetItem* row = lvItems->itemAt(0, 0); row; row = lvItems->itemBelow(row)) {
        if (lvItems->visualItemRect(row).top() > bottom) {
            break;
        }
        FillLiveCells(row);
    }
}

void TMain::ColourLinkPanels() {
    // While the project records, a link that is down is shown in red.
    const bool recording = mode_ != rmEdit && !stopping_;
    auto colour = [recording](QLabel* panel, std::string_view connected) {
        const bool down = recording && panel->text() != Q(connected);
        const QString style = down ? QLatin1String(kLinkDownStyle) : QString();
        if (panel->styleSheet() != style) {
            panel->setStyleSheet(style);
        }
    };
    colour(OpcPanel, kOpcConnected);
    colour(DbPanel, kDbConnected);
}

void TMain::TreeSelectionChanged() {
    QTreeWidgetItem* node = tvItems->currentItem();
    if (!node) {
        return;
    }
    TNamedItem* object = NodeObject(node);
    ShowObject(object);
    FillItems(object && object->ClassName() == "TGroup" ? static_cast<TGroup*>(object) : nullptr);
}

void TMain::ListSelectionChanged() {
    QList<QTreeWidgetItem*> selected = lvItems->selectedItems();
    if (!selected.isEmpty() && lvItems->hasFocus()) {
        ShowObject(RowItem(selected.first()));
    }
}

bool TMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        Guarded([&] {
            if (watched == tvItems && tvItems->currentItem()) {
                ShowObject(NodeObject(tvItems->currentItem()));
            } else if (watched == lvItems && !lvItems->selectedItems().isEmpty()) {
                ShowObject(RowItem(lvItems->selectedItems().first()));
            }
        });
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMain::InspectorModified() {
    server_->SetDirty(true);
    TNamedItem* object = Inspector->ObjectCount() > 0 ? ObjectOf(Inspector->Objects(0)) : nullptr;
    if (!object) {
        return;
    }
    std::string_view cls = object->ClassName();
    if (cls == "TItem") {
        QList<QTreeWidgetItem*> selected = lvItems->selectedItems();
        if (!selected.isEmpty()) {
            FillItemRow(selected.first());
        }
    } else if (cls == "TGroup" && tvItems->currentItem()) {
        tvItems->currentItem()->setText(0, Q(static_cast<TGroup*>(object)->Description()));
    } else if (cls == "TServer" && tvItems->currentItem()) {
        tvItems->currentItem()->setText(0, Q(static_cast<TServer*>(object)->Description()));
    }
}

void TMain::EditAdd() {
    if (!current_) {
        return;
    }
    std::string_view cls = current_->ClassName();
    if (cls == "TServer") {
        auto& server = static_cast<TServer&>(*current_);
        std::string name = FreeName(server, "Group");
        TGroup& group = TGroup::Create(server);
        group.SetName(name);
        QTreeWidgetItem* parent = tvItems->currentItem();
        if (!parent) {
            parent = tvItems->topLevelItem(0);
        }
        auto* node = new QTreeWidgetItem(parent, {Q(group.Name())});
        node->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(&group)));
        parent->setExpanded(true);
        tvItems->setCurrentItem(node);
        server_->SetDirty(true);
    } else if (cls == "TGroup") {
        auto& group = static_cast<TGroup&>(*current_);
        std::string name = FreeName(group, "Item");
        TItem& item = TItem::Create(group);
        item.SetName(name);
        auto* row = new QTreeWidgetItem(lvItems);
        row->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(&item)));
        item.SetDirty(true);
        FillItemRow(row);
        FitNameColumn();
        lvItems->clearSelection();
        row->setSelected(true);
        lvItems->setCurrentItem(row);
        server_->SetDirty(true);
    }
}

void TMain::EditDelete() {
    bool deleted = false;
    QList<QTreeWidgetItem*> rows = lvItems->selectedItems();
    if (lvItems->hasFocus() && !rows.isEmpty()) {
        QTreeWidgetItem* row = rows.first();
        TItem* item = RowItem(row);
        if (current_ == item) {
            ShowObject(nullptr);
        }
        delete row; // the row first: it must not outlive its item
        if (item) {
            item->Owner()->DeleteChild(*item);
        }
        server_->SetDirty(true);
        deleted = true;
    }
    QTreeWidgetItem* node = tvItems->currentItem();
    if (tvItems->hasFocus() && node && node != tvItems->topLevelItem(0)) {
        TNamedItem* object = NodeObject(node);
        if (current_ == object) {
            ShowObject(nullptr);
        }
        lvItems->clear();
        {
            const QSignalBlocker block(tvItems);
            delete node;
        }
        if (object) {
            object->Owner()->DeleteChild(*object);
        }
        server_->SetDirty(true);
        deleted = true;
        TreeSelectionChanged();
    }
    if (deleted && !current_) {
        if (lvItems->hasFocus() && !lvItems->selectedItems().isEmpty()) {
            ShowObject(RowItem(lvItems->selectedItems().first()));
        } else if (tvItems->currentItem() && tvItems->hasFocus()) {
            ShowObject(NodeObject(tvItems->currentItem()));
        }
    }
}

void TMain::FileSave() {
    server_->SaveToFile(project_file_.toStdString());
}

void TMain::FileRestore() {
    if (isMinimized()) {
        showNormal();
    }
    show();
    raise();
    activateWindow();
}

void TMain::EndProgram() {
    if (OnEndProgram) {
        OnEndProgram();
    }
}

void TMain::FileExit() {
    std::optional<QString> password = CurrentPrompts().AskPassword();
    if (!password) {
        return;
    }
    if (!IsOperationPassword(*password)) {
        CurrentPrompts().Message(QStringLiteral("提示"), QStringLiteral("操作密码错误!"),
                                 QMessageBox::Warning);
        return;
    }
    if (server_->Dirty()) {
        switch (CurrentPrompts().AskYesNoCancel(QStringLiteral("提示"),
                                                QStringLiteral("设置信息发生变化,是否保存?"))) {
        case QMessageBox::Yes:
            FileSave(); // a failed save raises: the program does not end
            break;
        case QMessageBox::No:
            break;
        default:
            return;
        }
    }
    if (stopping_) {
        // The stop under way (towards Edit) ends the program when it is complete.
        end_after_stop_ = true;
        mode_after_stop_.reset();
        return;
    }
    end_after_stop_ = true; // also when the window is closed meanwhile: the program ends once
    StopEngine([] {});
}

void TMain::StopEngine(std::function<void()> then) {
    stopping_ = true;
    ModePanel->setText(QStringLiteral("Stopping"));
    ModePanel->setToolTip(QStringLiteral("The record thread executes what it can and keeps the rest in "
                                         "\"sql.dat\" for the next run"));
    for (QAction* action : {actModeEdit, actModeDebug, actModeRun}) {
        action->setEnabled(false);
    }
    ColourLinkPanels();
    // Runs before RequestStop returns when there is no record thread to wait for.
    engine_->RequestStop([this, then = std::move(then)] { StopFinished(then); });
}

void TMain::StopFinished(const std::function<void()>& then) {
    if (destroying_) {
        return;
    }
    stopping_ = false;
    ModePanel->setToolTip(QString());
    for (QAction* action : {actModeEdit, actModeDebug, actModeRun}) {
        action->setEnabled(true);
    }
    ModePanel->setText(mode_ == rmEdit    ? QStringLiteral("Edit")
                       : mode_ == rmDebug ? QStringLiteral("Debug")
                                          : QStringLiteral("Run"));
    Guarded([&then] { then(); });
    if (end_after_stop_) {
        end_after_stop_ = false;
        mode_after_stop_.reset();
        EndProgram();
        return;
    }
    if (mode_after_stop_) {
        TRunMode next = *mode_after_stop_;
        mode_after_stop_.reset();
        Guarded([this, next] { SetMode(next); });
    }
    SyncModeMark();
}

void TMain::SetMode(TRunMode mode) {
    if (stopping_) {
        // The engine's thread still finishes: the last request is carried out once it has ended.
        if (mode == rmEdit) {
            mode_after_stop_.reset();
        } else {
            mode_after_stop_ = mode;
        }
        SyncModeMark();
        return;
    }
    if (mode == rmDebug || mode == rmRun) {
        if (mode_ == rmEdit) {
            engine_->Run();
        }
        Inspector->SetReadOnly(true);
        mode_ = mode;
        actEditAdd->setEnabled(false);
        actEditDelete->setEnabled(false);
        ModePanel->setText(mode == rmDebug ? QStringLiteral("Debug") : QStringLiteral("Run"));
        for (int column : {kValueColumn, kQualityColumn, kTimeColumn}) {
            lvItems->setColumnHidden(column, false);
        }
        HealthPanel->setVisible(true);
        LiveTimer->start();
        RefreshLive();
    } else if (mode_ == rmEdit) {
        engine_->Stop(); // nothing runs: only the link texts are set again
        EnterEdit();
    } else {
        StopEngine([this] { EnterEdit(); });
    }
    SyncModeMark();
}

void TMain::EnterEdit() {
    mode_ = rmEdit;
    actEditAdd->setEnabled(true);
    actEditDelete->setEnabled(true);
    Inspector->SetReadOnly(false);
    ModePanel->setText(QStringLiteral("Edit"));
    LiveTimer->stop();
    for (int column : {kValueColumn, kQualityColumn, kTimeColumn}) {
        lvItems->setColumnHidden(column, true);
    }
    HealthPanel->setVisible(false);
    ColourLinkPanels();
    SyncModeMark();
}

void TMain::SyncModeMark() {
    QAction* mark = mode_ == rmEdit ? actModeEdit : mode_ == rmDebug ? actModeDebug : actModeRun;
    mark->setChecked(true);
}

void TMain::ModeEdit() {
    std::optional<QString> password = CurrentPrompts().AskPassword();
    if (password && IsOperationPassword(*password)) {
        SetMode(rmEdit);
    }
}

void TMain::Log(const QDateTime& time, const QString& unit, const QString& operation, const QString& text) {
    if (mode_ != rmDebug) {
        return;
    }
    LogWin->AppendLine(QStringLiteral("%1:%2--%3--%4")
                           .arg(time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), unit, operation, text));
}

void TMain::LogClear() {
    LogWin->Clear();
}

void TMain::LogExport() {
    std::optional<QString> name = CurrentPrompts().SaveFileName(
        this, QStringLiteral("日志导出"), QCoreApplication::applicationDirPath(),
        QStringLiteral("log files (*.log)"), QStringLiteral("log"));
    if (!name || name->isEmpty()) {
        return;
    }
    QString path = *name;
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".log");
    }
    LogWin->ExportTo(path);
}

void TMain::HelpAbout() {
    TAbout about(this);
    CurrentPrompts().Exec(about);
}

void TMain::ClockTick() {
    QLocale locale;
    QDateTime now = QDateTime::currentDateTime();
    ClockPanel->setText(locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                        now.time().toString(QStringLiteral("hh:mm:ss")));
}

void TMain::closeEvent(QCloseEvent* event) {
    if (stopping_) {
        // On the way to Edit (the password was given) or to the program's end: end once stopped.
        event->accept();
        end_after_stop_ = true;
        mode_after_stop_.reset();
        return;
    }
    if (mode_ != rmEdit) {
        event->ignore();
        return;
    }
    event->accept();
    engine_->Stop();
    EndProgram();
}

void TMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && TrayIcon) {
        QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
    }
}

bool TMain::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        HintPanel->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

} // namespace tagsink::app
