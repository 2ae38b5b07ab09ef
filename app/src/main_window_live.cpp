// TMain, the live cells: the last value, quality and time stamp of the items in view, coloured by
// quality, and the link panels coloured while the project records.
#include "main_window.hpp"

#include "live_values.hpp"
#include "main_window_common.hpp"
#include "model/item.hpp"

namespace tagsink::app {

using main_window::kObjectRole;
using main_window::Q;

namespace {

// Live cells: missing values and bad quality stand out, uncertain quality is marked.
const QColor kBadBackground(0xff, 0xcd, 0xd2);
const QColor kBadText(0xb7, 0x1c, 0x1c);
const QColor kUncertainBackground(0xff, 0xf0, 0xb3);
const QColor kMissingBackground(0xe6, 0xe6, 0xe6);
const QColor kMissingText(0x60, 0x60, 0x60);

const char* const kLinkDownStyle = "QLabel { color: #ffffff; background-color: #c62828; }";

} // namespace

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
        set(kValueColumn, tr("(no value)"), kMissingBackground, kMissingText);
        set(kQualityColumn, tr("(no value)"), kMissingBackground, kMissingText);
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

} // namespace tagsink::app
