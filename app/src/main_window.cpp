// TMain: creating and destroying the window, the project tree and item list, and the commands that
// edit, save and show the project.
#include "main_window.hpp"

#include "about_box.hpp"
#include "main_window_common.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "model_bridge.hpp"
#include "prompts.hpp"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QScreen>
#include <QStatusTipEvent>

namespace tagsink::app {

using main_window::kObjectRole;
using main_window::Q;

namespace {

// The smallest n from 1 for which `owner` has no child named prefix + n (case ignored).
std::string FreeName(const TNamedItem& owner, const char* prefix) {
    for (int n = 1;; ++n) {
        std::string name = prefix + std::to_string(n);
        if (!owner.FindChild(name)) {
            return name;
        }
    }
}

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
    std::optional<QString> name =
        CurrentPrompts().SaveFileName(this, tr("日志导出"), QCoreApplication::applicationDirPath(),
                                      tr("log files (*.log)"), QStringLiteral("log"));
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
