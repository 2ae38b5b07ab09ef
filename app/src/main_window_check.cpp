// TMain, the project check of Edit mode: runs CheckProject against the live OPC server and database and
// shows what it finds; a finding's object can be selected from the findings.
#include "main_window.hpp"

#include "check_view.hpp"
#include "main_window_common.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"

#include <QApplication>
#include <QCoreApplication>
#include <QTreeWidgetItemIterator>

namespace tagsink::app {

using main_window::Q;

namespace {

TNamedItem* ChildNamed(const TNamedItem& parent, const QString& name) {
    for (std::size_t i = 0; i < parent.ChildCount(); ++i) {
        if (Q(parent.Child(i).Name()) == name) {
            return &parent.Child(i);
        }
    }
    return nullptr;
}

} // namespace

void TMain::EditCheck() {
    if (mode_ != rmEdit || stopping_ || checking_) {
        return;
    }
    checking_ = true;
    // The toolkit belongs to this thread, so the check runs here; between its steps the window keeps
    // drawing and its timers run, while the operator's input waits until it is done.
    const QList<QAction*> locked{actEditCheck, actModeEdit, actModeDebug, actModeRun, actFileExit};
    for (QAction* action : locked) {
        action->setEnabled(false);
    }
    CheckWin->show();
    CheckWin->raise();
    CheckWin->ShowProgress(Q(server_->Name()));
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    try {
        const CheckReport report = CheckProject(*server_, [this](const std::string& path) {
            CheckWin->ShowProgress(Q(path));
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        });
        CheckWin->ShowReport(report, Q(report.Summary(*server_)));
    } catch (const std::exception& error) {
        CheckWin->ShowFailure(QString::fromUtf8(error.what()));
    }
    QApplication::restoreOverrideCursor();
    for (QAction* action : locked) {
        action->setEnabled(true);
    }
    actEditCheck->setEnabled(mode_ == rmEdit);
    checking_ = false;
}

bool TMain::SelectObjectPath(const QString& path) {
    const QStringList names = path.split(QLatin1Char('.'));
    if (names.isEmpty() || names.first() != Q(server_->Name())) {
        return false;
    }
    TNamedItem* group = names.size() > 1 ? ChildNamed(*server_, names.at(1)) : nullptr;
    TNamedItem* item = group && names.size() > 2 ? ChildNamed(*group, names.at(2)) : nullptr;
    if ((names.size() > 1 && !group) || (names.size() > 2 && !item) || names.size() > 3) {
        return false;
    }
    FillTree();
    TNamedItem* node_object = group ? group : server_.get();
    QTreeWidgetItem* node = nullptr;
    for (QTreeWidgetItemIterator it(tvItems); *it && !node; ++it) {
        if (NodeObject(*it) == node_object) {
            node = *it;
        }
    }
    if (!node) {
        return false;
    }
    tvItems->setCurrentItem(node); // fills the item list of a group
    tvItems->scrollToItem(node);
    if (!item) {
        tvItems->setFocus(Qt::OtherFocusReason);
        ShowObject(node_object);
        return true;
    }
    for (int i = 0; i < lvItems->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = lvItems->topLevelItem(i);
        if (RowItem(row) == item) {
            lvItems->setFocus(Qt::OtherFocusReason);
            lvItems->clearSelection();
            lvItems->setCurrentItem(row);
            row->setSelected(true);
            lvItems->scrollToItem(row);
            ShowObject(item);
            return true;
        }
    }
    return false;
}

} // namespace tagsink::app
