// THealthPanel: the recorder's counters beside the item list while the project records: statements
// executed, waiting, kept in "sql.dat", quarantined, the failures since the start and the last failure
// with its time.
#pragma once

#include "engine/runtime/recorder_stats.hpp"

#include <QFrame>
#include <QLabel>

namespace tagsink::app {

class THealthPanel : public QFrame {
    Q_OBJECT
public:
    explicit THealthPanel(QWidget* parent = nullptr);

    /// Shows the counters as they are now (cheap: call it from a timer).
    void Refresh(const RecorderStats& stats);

    QLabel* ExecutedLabel;
    QLabel* WaitingLabel;
    QLabel* JournaledLabel;
    QLabel* RejectedLabel;
    QLabel* FailuresLabel;
    QLabel* LostLabel;
    QLabel* LastErrorLabel;

private:
    void Mark(QLabel* label, bool alarm);
};

} // namespace tagsink::app
