// The findings of a project check (Edit mode, "检查项目"): errors and warnings in two branches, each
// finding with the path of its object and its text, and the check's summary line below. A double-click
// on a finding asks the window to select that object.
#pragma once

#include "engine/check/project_check.hpp"

#include <QDockWidget>

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace tagsink::app {

class TCheckView : public QDockWidget {
    Q_OBJECT
public:
    /// The role of a finding row that holds the object's path.
    static constexpr int kPathRole = Qt::UserRole + 1;

    explicit TCheckView(QWidget* parent = nullptr);

    /// Says that a check runs and which object it is at; clears what an earlier check found.
    void ShowProgress(const QString& path);
    /// Shows what a check found: errors first, then warnings, in the order found, and the summary.
    void ShowReport(const CheckReport& report, const QString& summary);
    /// Shows a check that could not run at all.
    void ShowFailure(const QString& message);

    QTreeWidget* Findings() const { return findings_; }
    QTreeWidgetItem* ErrorBranch() const { return errors_; }
    QTreeWidgetItem* WarningBranch() const { return warnings_; }
    QLabel* Summary() const { return summary_; }

signals:
    /// A finding was double-clicked: the path of its object (Manager.Group1.Item1).
    void FindingActivated(const QString& path);

private:
    void ResetBranches();

    QTreeWidget* findings_;
    QTreeWidgetItem* errors_ = nullptr;
    QTreeWidgetItem* warnings_ = nullptr;
    QLabel* summary_;
};

} // namespace tagsink::app
