#include "inspector/props_page_inplace_edit.hpp"

#include "inspector/custom_props_page.hpp"

#include <QApplication>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>

namespace tagsink::inspector {
namespace {

/// Draws and measures pick-list entries through the row's editor.
class OwnerDrawDelegate : public QStyledItemDelegate {
public:
    OwnerDrawDelegate(TQZPropsPageInplaceEdit* edit, QObject* parent)
        : QStyledItemDelegate(parent), FEdit(edit) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    TQZPropsPageInplaceEdit* FEdit;
};

/// True for a key that would change the text of a line edit; false for the keys that move the cursor,
/// the selection or the current row, apply or restore the value, copy, or are modifiers alone.
bool EditsText(const QKeyEvent& key) {
    if (key.matches(QKeySequence::Copy) || key.matches(QKeySequence::SelectAll)) {
        return false;
    }
    if (key.matches(QKeySequence::Paste) || key.matches(QKeySequence::Cut) ||
        key.matches(QKeySequence::Undo) || key.matches(QKeySequence::Redo)) {
        return true;
    }
    switch (key.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        return true;
    default:
        break;
    }
    if (key.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) {
        return false; // the editor's own shortcuts for moving and selecting
    }
    return !key.text().isEmpty() && key.text().at(0).isPrint();
}

} // namespace

void TQZPropsPageInplaceEdit::DrawPickValue(const QString& value, QPainter& painter, const QRect& rect,
                                            bool selected) {
    FPage->ItemDrawValue(FPage->CurrentItem(), value, painter, rect, selected);
}

void TQZPropsPageInplaceEdit::MeasurePickValue(const QString& value, const QFontMetrics& fm, int& width,
                                               int& height) {
    FPage->ItemMeasureWidth(FPage->CurrentItem(), value, fm, width);
    FPage->ItemMeasureHeight(FPage->CurrentItem(), value, fm, height);
}

namespace {

void OwnerDrawDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->fillRect(option.rect, option.palette.color(selected ? QPalette::Highlight : QPalette::Base));
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    try {
        FEdit->DrawPickValue(index.data().toString(), *painter, option.rect, selected);
    } catch (const std::exception&) {
        painter->drawText(option.rect.adjusted(2, 0, 0, 0), Qt::AlignVCenter, index.data().toString());
    }
    painter->restore();
}

QSize OwnerDrawDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QString value = index.data().toString();
    const QFontMetrics fm(option.font);
    int w = fm.horizontalAdvance(value) + 4;
    int h = fm.height() + 2;
    try {
        FEdit->MeasurePickValue(value, fm, w, h);
    } catch (const std::exception&) {
    }
    return {w, h};
}

} // namespace

TQZPickList::TQZPickList(QWidget* parent) : QListWidget(parent) {
    setWindowFlags(Qt::Popup);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(false);
}

void TQZPickList::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (currentItem()) {
            emit Chosen(currentItem()->text());
        } else {
            hide();
        }
        return;
    case Qt::Key_Escape:
        hide();
        return;
    default:
        QListWidget::keyPressEvent(event);
    }
}

void TQZPickList::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    if (QListWidgetItem* item = itemAt(event->position().toPoint())) {
        emit Chosen(item->text());
    }
}

void TQZPickList::hideEvent(QHideEvent* event) {
    QListWidget::hideEvent(event);
    emit Dismissed();
}

TQZPropsPageInplaceEdit::TQZPropsPageInplaceEdit(TQZCustomPropsPage* page)
    : QWidget(page->viewport()), FPage(page), FEdit(new QLineEdit(this)), FButton(new QToolButton(this)),
      FPickList(new TQZPickList(this)) {
    FEdit->setFrame(false);
    FEdit->installEventFilter(this);
    FButton->setFocusPolicy(Qt::NoFocus);
    FButton->hide();
    FPickList->hide();
    connect(FButton, &QToolButton::clicked, this, &TQZPropsPageInplaceEdit::ButtonClicked);
    connect(FPickList, &TQZPickList::Dismissed, this, [this] {
        if (isVisible()) {
            FEdit->setFocus(Qt::PopupFocusReason);
        }
    });
}

TQZPropsPageInplaceEdit::~TQZPropsPageInplaceEdit() = default;

void TQZPropsPageInplaceEdit::Detach() {
    FEdit->removeEventFilter(this);
    disconnect(FPickList, nullptr, nullptr, nullptr);
    disconnect(FButton, nullptr, nullptr, nullptr);
    disconnect(FEdit, nullptr, nullptr, nullptr);
    FPage = nullptr;
}

bool TQZPropsPageInplaceEdit::PickListVisible() const {
    return FPickList->isVisible();
}

void TQZPropsPageInplaceEdit::SetEditStyle(TQZEditStyle style) {
    FStyle = style;
    switch (style) {
    case TQZEditStyle::esSimple:
        FButton->hide();
        break;
    case TQZEditStyle::esEllipsis:
        FButton->setArrowType(Qt::NoArrow);
        FButton->setText(QStringLiteral("…"));
        FButton->show();
        break;
    case TQZEditStyle::esPickList:
        FButton->setArrowType(Qt::DownArrow);
        FButton->setText({});
        FButton->show();
        break;
    }
    LayoutChildren();
}

void TQZPropsPageInplaceEdit::SetText(const QString& text) {
    if (FEdit->text() != text) {
        FEdit->setText(text);
    }
}

void TQZPropsPageInplaceEdit::resizeEvent(QResizeEvent*) {
    LayoutChildren();
}

void TQZPropsPageInplaceEdit::LayoutChildren() {
    const int bw = FButton->isHidden() ? 0 : kButtonWidth;
    FEdit->setGeometry(0, 0, std::max(0, width() - bw), height());
    FButton->setGeometry(width() - kButtonWidth, 0, kButtonWidth, height());
}

void TQZPropsPageInplaceEdit::ButtonClicked() {
    if (!FPage) {
        return;
    }
    if (FStyle == TQZEditStyle::esPickList) {
        if (FPickList->isVisible()) {
            ClosePickList();
        } else {
            FPage->DropDown();
        }
    } else {
        FPage->ButtonAction();
    }
}

void TQZPropsPageInplaceEdit::ShowPickList(const QStringList& values, bool owner_draw) {
    FPickList->clear();
    if (owner_draw != FOwnerDraw || !FPickList->itemDelegate()) {
        FOwnerDraw = owner_draw;
        FPickList->setItemDelegate(
            owner_draw ? static_cast<QAbstractItemDelegate*>(new OwnerDrawDelegate(this, FPickList))
                       : new QStyledItemDelegate(FPickList));
    }
    FPickList->addItems(values);
    const int frame = 2 * FPickList->frameWidth();
    int height = kEmptyPickListHeight;
    int widest = 0;
    if (!values.isEmpty()) {
        int rows = 0;
        for (int i = 0; i < FPickList->count(); ++i) {
            if (i < kMaxVisiblePickRows) {
                rows += FPickList->sizeHintForRow(i);
            }
            widest = std::max(widest, FPickList->sizeHintForColumn(0));
        }
        height = rows + frame;
    }
    const int scroll =
        values.size() > kMaxVisiblePickRows ? FPickList->verticalScrollBar()->sizeHint().width() : 0;
    const int width = std::max(this->width(), widest + frame + scroll);
    QPoint pos = mapToGlobal(QPoint(0, this->height()));
    if (const QScreen* screen = this->screen()) {
        const QRect avail = screen->availableGeometry();
        if (pos.y() + height > avail.bottom()) {
            pos = mapToGlobal(QPoint(0, 0)) - QPoint(0, height);
        }
    }
    FPickList->setGeometry(pos.x(), pos.y(), width, height);
    const QList<QListWidgetItem*> current = FPickList->findItems(FEdit->text(), Qt::MatchExactly);
    if (!current.isEmpty()) {
        FPickList->setCurrentItem(current.front());
    }
    FPickList->show();
    FPickList->setFocus(Qt::PopupFocusReason);
}

void TQZPropsPageInplaceEdit::ClosePickList() {
    if (FPickList->isVisible()) {
        FPickList->hide();
    }
}

bool TQZPropsPageInplaceEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched != FEdit || !FPage) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        TQZPropsPageItem* item = FPage->CurrentItem();
        const bool ctrl = key->modifiers() & Qt::ControlModifier;
        const bool alt = key->modifiers() & Qt::AltModifier;
        if (item && item->DropDownOnKey && !FPage->ReadOnly() && EditsText(*key)) {
            // The row takes its value from the pick list only: a key that would change the text
            // (a character, Backspace, Delete, paste, cut, undo) opens the list instead.
            FPage->DropDown();
            return true;
        }
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            FPage->ApplyEditText();
            if (ctrl) {
                FPage->DblClickAction();
                FEdit->selectAll();
            }
            return true;
        case Qt::Key_Escape:
            FPage->RestoreEditText();
            return true;
        case Qt::Key_Down:
            if (alt) {
                FPage->DropDown();
                return true;
            }
            FPage->MoveCurrent(1);
            return true;
        case Qt::Key_F4:
            FPage->DropDown();
            return true;
        case Qt::Key_Up:
            FPage->MoveCurrent(-1);
            return true;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: {
            const int visible = std::max(1, FPage->viewport()->height() / FPage->RowHeight());
            FPage->MoveCurrent(key->key() == Qt::Key_PageUp ? -visible : visible);
            return true;
        }
        default:
            return false;
        }
    }
    case QEvent::InputMethod: {
        TQZPropsPageItem* item = FPage->CurrentItem();
        auto* input = static_cast<QInputMethodEvent*>(event);
        if (item && item->DropDownOnKey && !FPage->ReadOnly() &&
            (!input->commitString().isEmpty() || !input->preeditString().isEmpty())) {
            FPage->DropDown();
            return true;
        }
        return false;
    }
    case QEvent::MouseButtonDblClick:
        FPage->DblClickAction();
        return true;
    case QEvent::FocusOut: {
        auto* focus = static_cast<QFocusEvent*>(event);
        QWidget* next = QApplication::focusWidget();
        const bool inside = next && (next == FPickList || FPage->isAncestorOf(next));
        if (focus->reason() != Qt::PopupFocusReason && !inside) {
            FPage->ApplyEditText();
        }
        return false;
    }
    default:
        return false;
    }
}

} // namespace tagsink::inspector
