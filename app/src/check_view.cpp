#include "check_view.hpp"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tagsink::app {

TCheckView::TCheckView(QWidget* parent) : QDockWidget(tr("检查结果"), parent) {
    setObjectName(QStringLiteral("CheckWin"));
    setAllowedAreas(Qt::BottomDockWidgetArea | Qt::TopDockWidgetArea);
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    findings_ = new QTreeWidget(body);
    findings_->setObjectName(QStringLiteral("Findings"));
    findings_->setColumnCount(2);
    findings_->setHeaderLabels({tr("对象"), tr("说明")});
    findings_->setColumnWidth(0, 240);
    findings_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    findings_->setSelectionMode(QAbstractItemView::SingleSelection);
    findings_->setAllColumnsShowFocus(true);
    findings_->setUniformRowHeights(true);
    summary_ = new QLabel(body);
    summary_->setObjectName(QStringLiteral("CheckSummary"));
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(findings_, 1);
    layout->addWidget(summary_);
    setWidget(body);
    ResetBranches();

    connect(findings_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* row) {
        const QString path = row->data(0, kPathRole).toString();
        if (!path.isEmpty()) {
            emit FindingActivated(path);
        }
    });
}

void TCheckView::ResetBranches() {
    findings_->clear();
    errors_ = new QTreeWidgetItem(findings_, {tr("错误")});
    warnings_ = new QTreeWidgetItem(findings_, {tr("警告")});
    errors_->setForeground(0, QColor(0xb7, 0x1c, 0x1c));
    warnings_->setForeground(0, QColor(0x8a, 0x6d, 0x00));
}

void TCheckView::ShowProgress(const QString& path) {
    if (errors_->childCount() + warnings_->childCount() > 0) {
        ResetBranches();
    }
    summary_->setText(tr("正在检查 %1 ...").arg(path));
}

void TCheckView::ShowReport(const CheckReport& report, const QString& summary) {
    ResetBranches();
    for (const CheckFinding& finding : report.findings) {
        QTreeWidgetItem* branch = finding.severity == CheckSeverity::Error ? errors_ : warnings_;
        const QString path = QString::fromStdString(finding.path);
        auto* row = new QTreeWidgetItem(branch, {path, QString::fromStdString(finding.text)});
        row->setData(0, kPathRole, path);
        row->setToolTip(1, row->text(1));
    }
    errors_->setText(0, tr("错误 (%1)").arg(errors_->childCount()));
    warnings_->setText(0, tr("警告 (%1)").arg(warnings_->childCount()));
    findings_->expandAll();
    findings_->resizeColumnToContents(0);
    summary_->setText(summary);
}

void TCheckView::ShowFailure(const QString& message) {
    ResetBranches();
    summary_->setText(tr("检查未能完成: %1").arg(message));
}

} // namespace tagsink::app
