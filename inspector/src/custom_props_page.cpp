#include "inspector/custom_props_page.hpp"

#include "inspector/errors.hpp"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace tagsink::inspector {

TQZCustomPropsPage::BusyScope::~BusyScope() {
    if (--FPage->FBusy == 0) {
        FPage->FDeadItems.clear();
    }
}

TQZCustomPropsPage::TQZCustomPropsPage(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Button);
    viewport()->setAutoFillBackground(true);
    viewport()->setMouseTracking(true);
    verticalScrollBar()->setSingleStep(1);
    FInplace = new TQZPropsPageInplaceEdit(this);
    FInplace->hide();
    setFocusProxy(FInplace->LineEdit());
    SetValuesColor(FValuesColor);
    connect(FInplace->LineEdit(), &QLineEdit::textEdited, this, &TQZCustomPropsPage::OnEditTextEdited);
    connect(FInplace->PickList(), &TQZPickList::Chosen, this, &TQZCustomPropsPage::OnPickChosen);
    resize(sizeHint());
}

TQZCustomPropsPage::~TQZCustomPropsPage() {
    // Rows (and the editors they own) go before the widgets they refer to; the cell editor no longer
    // reports to a page that is going away.
    FInplace->Detach();
    FCurrent = nullptr;
    FRows.clear();
    FItems.Clear();
    FDeadItems.clear();
}

void TQZCustomPropsPage::SetSplitter(int width) {
    const int clamped = std::max(kSplitterMin, std::min(width, this->width() - kSplitterMin));
    if (clamped == FSplitter) {
        return;
    }
    FSplitter = clamped;
    PlaceInplaceEdit();
    viewport()->update();
}

void TQZCustomPropsPage::SetValuesColor(const QColor& color) {
    FValuesColor = color;
    QPalette pal = FInplace->LineEdit()->palette();
    pal.setColor(QPalette::Text, color);
    FInplace->LineEdit()->setPalette(pal);
    viewport()->update();
}

void TQZCustomPropsPage::SetReadOnly(bool value) {
    FReadOnly = value;
    UpdateInplaceEdit();
    viewport()->update();
}

TQZPropsPageItem* TQZCustomPropsPage::RowItem(int row) const {
    if (row < 0 || row >= RowCount()) {
        return nullptr;
    }
    return FRows[static_cast<size_t>(row)];
}

int TQZCustomPropsPage::TopRow() const {
    return verticalScrollBar()->value();
}

int TQZCustomPropsPage::RowAt(int y) const {
    if (y < 0) {
        return -1;
    }
    const int row = TopRow() + y / FRowHeight;
    return row < RowCount() ? row : -1;
}

QRect TQZCustomPropsPage::RowRect(int row) const {
    if (row < TopRow() || row >= RowCount()) {
        return {};
    }
    const int y = (row - TopRow()) * FRowHeight;
    if (y >= viewport()->height()) {
        return {};
    }
    return {0, y, viewport()->width(), FRowHeight};
}

bool TQZCustomPropsPage::IsLive(const TQZPropsPageItem* item) const {
    return item && std::find(FRows.begin(), FRows.end(), item) != FRows.end();
}

void TQZCustomPropsPage::DiscardItems(std::vector<std::unique_ptr<TQZPropsPageItem>> items) {
    if (FBusy > 0) {
        for (auto& i : items) {
            FDeadItems.push_back(std::move(i));
        }
    }
    // Otherwise they die here, with the vector.
}

void TQZCustomPropsPage::DeleteAllItems() {
    FInplace->ClosePickList();
    FCurrent = nullptr;
    FRows.clear();
    DiscardItems(FItems.TakeAll());
    LayoutRows();
}

void TQZCustomPropsPage::EndUpdate() {
    if (FUpdateCount > 0 && --FUpdateCount == 0 && FLayoutPending) {
        LayoutRows();
    }
}

void TQZCustomPropsPage::AddVisible(TQZPropsPageItem* item) {
    item->Row = static_cast<int>(FRows.size());
    FRows.push_back(item);
    if (item->Expanded) {
        for (const auto& child : item->Items()) {
            AddVisible(child.get());
        }
    }
}

void TQZCustomPropsPage::RebuildRowArray() {
    FRows.clear();
    for (const auto& item : FItems) {
        AddVisible(item.get());
    }
    if (FCurrent && !IsLive(FCurrent)) {
        FCurrent = nullptr;
    }
}

void TQZCustomPropsPage::LayoutRows() {
    // The row array always matches the rows, so that nothing refers to a deleted row; the costly part
    // waits for the update counter.
    RebuildRowArray();
    if (FUpdateCount > 0) {
        FLayoutPending = true;
        return;
    }
    FLayoutPending = false;
    if (!FCurrent && !FRows.empty()) {
        FCurrent = FRows.front();
    }
    UpdateScrollRange();
    UpdateInplaceEdit();
    viewport()->update();
}

void TQZCustomPropsPage::UpdateScrollRange() {
    const int visible = std::max(1, viewport()->height() / FRowHeight);
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setRange(0, std::max(0, RowCount() - visible));
}

void TQZCustomPropsPage::EnsureVisible(int row) {
    if (row < 0) {
        return;
    }
    const int visible = std::max(1, viewport()->height() / FRowHeight);
    if (row < TopRow()) {
        verticalScrollBar()->setValue(row);
    } else if (row >= TopRow() + visible) {
        verticalScrollBar()->setValue(row - visible + 1);
    }
}

void TQZCustomPropsPage::UpdateInplaceEdit() {
    if (!FCurrent) {
        FInplace->ClosePickList();
        FInplace->hide();
        return;
    }
    FInplace->SetEditStyle(FReadOnly ? TQZEditStyle::esSimple : FCurrent->EditStyle);
    FInplace->LineEdit()->setReadOnly(FReadOnly || FCurrent->ReadOnly);
    FInplace->SetText(FCurrent->DisplayValue);
    PlaceInplaceEdit();
}

void TQZCustomPropsPage::PlaceInplaceEdit() {
    const QRect r = FCurrent ? RowRect(FCurrent->Row) : QRect();
    if (r.isEmpty()) {
        FInplace->hide();
        return;
    }
    FInplace->setGeometry(FSplitter + 1, r.top(), std::max(0, r.width() - FSplitter - 1), FRowHeight - 1);
    FInplace->show();
}

void TQZCustomPropsPage::SetCurrentRow(int row) {
    TQZPropsPageItem* target = RowItem(row);
    if (!target || target == FCurrent) {
        return;
    }
    ApplyEditText();
    if (!IsLive(target)) {
        // Applying the old value rebuilt the rows: keep the row number.
        target = RowItem(std::min(row, RowCount() - 1));
        if (!target) {
            return;
        }
    }
    FInplace->ClosePickList();
    FCurrent = target;
    EnsureVisible(FCurrent->Row);
    UpdateInplaceEdit();
    viewport()->update();
    emit CurrentRowChanged(FCurrent->Row);
}

void TQZCustomPropsPage::MoveCurrent(int delta) {
    if (RowCount() == 0) {
        return;
    }
    const int from = FCurrent ? FCurrent->Row : 0;
    SetCurrentRow(std::clamp(from + delta, 0, RowCount() - 1));
}

template <class F> bool TQZCustomPropsPage::Guarded(F&& f) {
    QString error;
    try {
        f();
        return true;
    } catch (const std::exception& e) {
        error = ExceptionMessage(e);
    } catch (...) {
        error = QCoreApplication::translate("tagsink::inspector", "Unknown failure");
    }
    if (FCurrent) {
        FInplace->SetText(FCurrent->DisplayValue);
    }
    ShowError(error);
    return false;
}

void TQZCustomPropsPage::ApplyEditText() {
    if (!FCurrent || FChanging || FReadOnly || FCurrent->ReadOnly) {
        return;
    }
    TQZPropsPageItem* item = FCurrent;
    const QString text = FInplace->Text();
    if (text == item->DisplayValue) {
        return;
    }
    const QString before = item->DisplayValue;
    QString error;
    bool failed = false;
    {
        BusyScope busy(this);
        FChanging = true;
        try {
            ItemSetValue(item, text);
        } catch (const std::exception& e) {
            failed = true;
            error = ExceptionMessage(e);
        } catch (...) {
            failed = true;
            error = QCoreApplication::translate("tagsink::inspector", "Unknown failure");
        }
        FChanging = false;
        if (IsLive(item)) {
            ItemRefresh(item);
            if (item->DisplayValue != before && item->Expanded && ItemIsVolatile(item)) {
                Collapse(item);
                Expand(item);
            }
        }
    }
    if (FCurrent) {
        FInplace->SetText(FCurrent->DisplayValue);
    }
    viewport()->update();
    if (failed) {
        ShowError(error);
    }
}

void TQZCustomPropsPage::RestoreEditText() {
    if (!FCurrent) {
        return;
    }
    FInplace->SetText(FCurrent->DisplayValue);
    FInplace->LineEdit()->selectAll();
}

void TQZCustomPropsPage::DblClickAction() {
    if (FReadOnly || !FCurrent) {
        return;
    }
    if (FCurrent->HasDialog) {
        ButtonAction();
        return;
    }
    if (FCurrent->EditStyle != TQZEditStyle::esPickList) {
        return;
    }
    TQZPropsPageItem* item = FCurrent;
    QStringList values;
    {
        BusyScope busy(this);
        if (!Guarded([&] { ItemGetValues(item, values); })) {
            return;
        }
    }
    if (values.isEmpty() || !IsLive(item)) {
        return;
    }
    const qsizetype at = values.indexOf(FInplace->Text());
    FInplace->SetText(values[(at + 1) % values.size()]);
    ApplyEditText();
}

void TQZCustomPropsPage::DropDown() {
    if (FReadOnly || !FCurrent || FCurrent->EditStyle != TQZEditStyle::esPickList) {
        return;
    }
    TQZPropsPageItem* item = FCurrent;
    QStringList values;
    {
        BusyScope busy(this);
        if (!Guarded([&] { ItemGetValues(item, values); })) {
            return;
        }
    }
    if (IsLive(item)) {
        FInplace->ShowPickList(values, item->OwnerDraw);
    }
}

void TQZCustomPropsPage::ButtonAction() {
    if (FReadOnly || !FCurrent) {
        return;
    }
    if (FCurrent->EditStyle == TQZEditStyle::esPickList && !FCurrent->HasDialog) {
        DropDown();
        return;
    }
    if (!FCurrent->HasDialog) {
        return;
    }
    TQZPropsPageItem* item = FCurrent;
    {
        BusyScope busy(this);
        Guarded([&] { ItemEdit(item); });
    }
    if (FCurrent) {
        FInplace->SetText(FCurrent->DisplayValue);
    }
    viewport()->update();
}

void TQZCustomPropsPage::Expand(TQZPropsPageItem* item) {
    if (!item || item->Expanded || !item->CanExpand()) {
        return;
    }
    {
        BusyScope busy(this);
        if (!Guarded([&] { ItemExpanded(item); })) {
            DiscardItems(item->Items().TakeAll());
            return;
        }
    }
    if (!IsLive(item)) {
        return;
    }
    item->Expanded = true;
    LayoutRows();
}

void TQZCustomPropsPage::Collapse(TQZPropsPageItem* item) {
    if (!item || !item->Expanded) {
        return;
    }
    for (TQZPropsPageItem* p = FCurrent; p; p = p->Parent()) {
        if (p->Parent() == item) {
            FCurrent = item;
            break;
        }
    }
    item->Expanded = false;
    ItemCollapsed(item);
    LayoutRows();
}

void TQZCustomPropsPage::ToggleExpanded(TQZPropsPageItem* item) {
    if (!item) {
        return;
    }
    if (item->Expanded) {
        Collapse(item);
    } else {
        Expand(item);
    }
}

void TQZCustomPropsPage::ShowError(const QString& message) {
    QMessageBox::critical(this, QApplication::applicationDisplayName(), message);
}

std::unique_ptr<TQZPropsPageItem> TQZCustomPropsPage::CreateItem(TQZPropsPageItem* parent) {
    return std::make_unique<TQZPropsPageItem>(this, parent);
}

void TQZCustomPropsPage::ItemExpanded(TQZPropsPageItem*) {}

void TQZCustomPropsPage::ItemCollapsed(TQZPropsPageItem* item) {
    std::vector<std::unique_ptr<TQZPropsPageItem>> children = item->Items().TakeAll();
    FRows.erase(std::remove_if(FRows.begin(), FRows.end(),
                               [&](TQZPropsPageItem* r) {
                                   for (TQZPropsPageItem* p = r->Parent(); p; p = p->Parent()) {
                                       if (p == item) {
                                           return true;
                                       }
                                   }
                                   return false;
                               }),
                FRows.end());
    DiscardItems(std::move(children));
}

QColor TQZCustomPropsPage::GetItemCaptionColor(TQZPropsPageItem*) {
    return palette().color(QPalette::WindowText);
}
void TQZCustomPropsPage::DrawItemCaption(TQZPropsPageItem*, QString&) {}
void TQZCustomPropsPage::ItemSetValue(TQZPropsPageItem* item, const QString& text) {
    item->DisplayValue = text;
}
void TQZCustomPropsPage::ItemRefresh(TQZPropsPageItem*) {}
bool TQZCustomPropsPage::ItemIsVolatile(TQZPropsPageItem*) {
    return false;
}
void TQZCustomPropsPage::ItemGetValues(TQZPropsPageItem*, QStringList&) {}
void TQZCustomPropsPage::ItemEdit(TQZPropsPageItem*) {}
void TQZCustomPropsPage::ItemMeasureHeight(TQZPropsPageItem*, const QString&, const QFontMetrics&, int&) {}
void TQZCustomPropsPage::ItemMeasureWidth(TQZPropsPageItem*, const QString&, const QFontMetrics&, int&) {}
void TQZCustomPropsPage::ItemDrawValue(TQZPropsPageItem*, const QString& value, QPainter& painter,
                                       const QRect& rect, bool) {
    painter.drawText(rect.adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, value);
}

QRect TQZCustomPropsPage::ExpandBoxRect(TQZPropsPageItem* item, const QRect& row_rect) const {
    const int x = item->Level() * kLevelIndent + 2;
    const int y = row_rect.top() + (FRowHeight - kBoxSize) / 2;
    return {x, y, kBoxSize, kBoxSize};
}

bool TQZCustomPropsPage::InSplitterZone(int x) const {
    return x >= FSplitter - kSplitterZone && x < FSplitter;
}

void TQZCustomPropsPage::PaintRow(QPainter& p, int row) {
    TQZPropsPageItem* item = RowItem(row);
    const QRect r = RowRect(row);
    if (!item || r.isEmpty()) {
        return;
    }
    const int indent = item->Level() * kLevelIndent;
    if (item->CanExpand()) {
        const QRect box = ExpandBoxRect(item, r);
        p.setPen(palette().color(QPalette::Dark));
        p.setBrush(palette().color(QPalette::Base));
        p.drawRect(box.adjusted(0, 0, -1, -1));
        p.setPen(palette().color(QPalette::WindowText));
        const int cy = box.top() + kBoxSize / 2;
        const int cx = box.left() + kBoxSize / 2;
        p.drawLine(box.left() + 2, cy, box.right() - 2, cy);
        if (!item->Expanded) {
            p.drawLine(cx, box.top() + 2, cx, box.bottom() - 2);
        }
    }
    QString caption = item->Caption;
    QColor caption_color;
    try {
        DrawItemCaption(item, caption);
        caption_color = GetItemCaptionColor(item);
    } catch (const std::exception&) {
        caption_color = palette().color(QPalette::WindowText);
    }
    const QRect caption_rect(indent + kBoxWidth, r.top(), std::max(0, FSplitter - indent - kBoxWidth - 2),
                             FRowHeight);
    p.setPen(caption_color);
    p.drawText(caption_rect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
               p.fontMetrics().elidedText(caption, Qt::ElideRight, caption_rect.width()));
    if (item != FCurrent || FInplace->isHidden()) {
        const QRect value_rect(FSplitter + 1, r.top(), r.width() - FSplitter - 1, FRowHeight);
        p.save();
        p.setClipRect(value_rect);
        p.setPen(FValuesColor);
        if (item->OwnerDraw) {
            try {
                ItemDrawValue(item, item->DisplayValue, p, value_rect, false);
            } catch (const std::exception&) {
            }
        } else {
            p.drawText(value_rect.adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                       item->DisplayValue);
        }
        p.restore();
    }
    QPen dotted(palette().color(QPalette::Dark), 1, Qt::DotLine);
    p.setPen(dotted);
    p.drawLine(0, r.bottom(), r.right(), r.bottom());
    if (item == FCurrent) {
        p.setPen(QPen(palette().color(QPalette::Shadow), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
}

void TQZCustomPropsPage::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.setFont(font());
    const int visible = viewport()->height() / FRowHeight + 1;
    for (int row = TopRow(); row < std::min(RowCount(), TopRow() + visible); ++row) {
        PaintRow(p, row);
    }
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(FSplitter, 0, FSplitter, viewport()->height());
}

void TQZCustomPropsPage::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (width() >= 2 * kSplitterMin && FSplitter > width() - kSplitterMin) {
        FSplitter = width() - kSplitterMin;
    }
    UpdateScrollRange();
    PlaceInplaceEdit();
}

void TQZCustomPropsPage::scrollContentsBy(int, int) {
    PlaceInplaceEdit();
    viewport()->update();
}

void TQZCustomPropsPage::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        FRowHeight = QFontMetrics(font()).height() + 3;
        FInplace->setFont(font());
        UpdateScrollRange();
        PlaceInplaceEdit();
        viewport()->update();
    }
}

void TQZCustomPropsPage::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() != Qt::LeftButton) {
        return;
    }
    if (InSplitterZone(pos.x())) {
        FDraggingSplitter = true;
        return;
    }
    const int row = RowAt(pos.y());
    TQZPropsPageItem* item = RowItem(row);
    if (!item) {
        return;
    }
    const int indent = item->Level() * kLevelIndent;
    if (item->CanExpand() && pos.x() >= indent && pos.x() < indent + kBoxWidth) {
        SetCurrentRow(row);
        ToggleExpanded(CurrentItem());
        return;
    }
    SetCurrentRow(row);
    FInplace->LineEdit()->setFocus(Qt::MouseFocusReason);
}

void TQZCustomPropsPage::mouseMoveEvent(QMouseEvent* event) {
    const int x = event->position().toPoint().x();
    if (FDraggingSplitter) {
        SetSplitter(x);
        return;
    }
    viewport()->setCursor(InSplitterZone(x) ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void TQZCustomPropsPage::mouseReleaseEvent(QMouseEvent*) {
    FDraggingSplitter = false;
}

void TQZCustomPropsPage::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const int row = RowAt(pos.y());
    TQZPropsPageItem* item = RowItem(row);
    if (!item || InSplitterZone(pos.x())) {
        return;
    }
    const int indent = item->Level() * kLevelIndent;
    if (pos.x() < FSplitter) {
        if (pos.x() >= indent && pos.x() < indent + kBoxWidth) {
            return; // the press already toggled the box
        }
        SetCurrentRow(row);
        ToggleExpanded(CurrentItem());
        return;
    }
    SetCurrentRow(row);
    DblClickAction();
}

void TQZCustomPropsPage::wheelEvent(QWheelEvent* event) {
    FWheelRemainder += event->angleDelta().y();
    const int notches = FWheelRemainder / 120;
    FWheelRemainder %= 120;
    verticalScrollBar()->setValue(TopRow() - notches);
    event->accept();
}

void TQZCustomPropsPage::keyPressEvent(QKeyEvent* event) {
    const int visible = std::max(1, viewport()->height() / FRowHeight);
    switch (event->key()) {
    case Qt::Key_Up:
        MoveCurrent(-1);
        break;
    case Qt::Key_Down:
        MoveCurrent(1);
        break;
    case Qt::Key_PageUp:
        MoveCurrent(-visible);
        break;
    case Qt::Key_PageDown:
        MoveCurrent(visible);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TQZCustomPropsPage::OnEditTextEdited(const QString&) {
    if (FCurrent && FCurrent->AutoUpdate) {
        ApplyEditText();
    }
}

void TQZCustomPropsPage::OnPickChosen(const QString& value) {
    FInplace->ClosePickList();
    if (!FCurrent) {
        return;
    }
    FInplace->SetText(value);
    ApplyEditText();
    FInplace->LineEdit()->setFocus(Qt::PopupFocusReason);
}

} // namespace tagsink::inspector
