#include "health_panel.hpp"

#include <QDateTime>
#include <QHBoxLayout>

namespace tagsink::app {

namespace {

const char* const kAlarmStyle = "QLabel { color: #ffffff; background-color: #c62828; padding: 0 4px; }";
const char* const kPlainStyle = "QLabel { padding: 0 4px; }";

QLabel* Counter(QWidget* parent, QHBoxLayout* layout, const char* name, const QString& hint) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setToolTip(hint);
    label->setStyleSheet(QLatin1String(kPlainStyle));
    layout->addWidget(label);
    return label;
}

} // namespace

THealthPanel::THealthPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("HealthPanel"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(8);
    ExecutedLabel = Counter(this, layout, "ExecutedLabel", tr("Statements the database accepted"));
    WaitingLabel = Counter(this, layout, "WaitingLabel", tr("Statements waiting for the database"));
    JournaledLabel = Counter(this, layout, "JournaledLabel",
                             tr("Statements kept in the buffer file \"sql.dat\" until the "
                                "database can be reached"));
    RejectedLabel = Counter(this, layout, "RejectedLabel",
                            tr("Statements the database refused, set aside in \"sql.rejected\""));
    FailuresLabel =
        Counter(this, layout, "FailuresLabel", tr("Failed database or disk operations since the start"));
    LostLabel = Counter(this, layout, "LostLabel", tr("Statements that could be kept nowhere"));
    LastErrorLabel = new QLabel(this);
    LastErrorLabel->setObjectName(QStringLiteral("LastErrorLabel"));
    LastErrorLabel->setMinimumWidth(80);
    LastErrorLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    LastErrorLabel->setStyleSheet(QLatin1String(kPlainStyle));
    layout->addWidget(LastErrorLabel, 1);
    RecorderStats none;
    Refresh(none);
}

void THealthPanel::Mark(QLabel* label, bool alarm) {
    const QString style = QLatin1String(alarm ? kAlarmStyle : kPlainStyle);
    if (label->styleSheet() != style) {
        label->setStyleSheet(style);
    }
}

void THealthPanel::Refresh(const RecorderStats& stats) {
    auto set = [](QLabel* label, const QString& text) {
        if (label->text() != text) {
            label->setText(text);
        }
    };
    const auto journaled = stats.journaled.load();
    const auto rejected = stats.rejected.load();
    const auto failures = stats.failures.load();
    const auto lost = stats.lost.load();
    set(ExecutedLabel, tr("Executed %1").arg(stats.executed.load()));
    set(WaitingLabel, tr("Waiting %1").arg(stats.waiting.load()));
    set(JournaledLabel, tr("In sql.dat %1").arg(journaled));
    set(RejectedLabel, tr("Quarantined %1").arg(rejected));
    set(FailuresLabel, tr("Failures %1").arg(failures));
    set(LostLabel, tr("Lost %1").arg(lost));
    Mark(JournaledLabel, journaled > 0);
    Mark(RejectedLabel, rejected > 0);
    Mark(FailuresLabel, failures > 0);
    Mark(LostLabel, lost > 0);
    LostLabel->setVisible(lost > 0);

    RecorderStats::Failure last = stats.LastFailure();
    if (last.text.empty()) {
        set(LastErrorLabel, tr("No error"));
        LastErrorLabel->setToolTip(QString());
        Mark(LastErrorLabel, false);
        return;
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(last.when.time_since_epoch()).count();
    const QString when =
        QDateTime::fromMSecsSinceEpoch(ms).toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const QString text = QString::fromStdString(last.text).simplified();
    set(LastErrorLabel, tr("Last error %1: %2").arg(when, text));
    LastErrorLabel->setToolTip(QStringLiteral("%1\n%2").arg(when, QString::fromStdString(last.text)));
    // The last failure stays readable; it is an alarm while the link is still failing (statements kept
    // in the buffer file or waiting).
    Mark(LastErrorLabel, !stats.db_connected.load() || journaled > 0);
}

} // namespace tagsink::app
