// The cell editor of the property grid: a one-line text field with an optional button (ellipsis or
// drop-down) and a pick list of at most 8 visible rows.
#pragma once

#include "inspector/props_page_item.hpp"

#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QToolButton>

namespace tagsink::inspector {

class TQZCustomPropsPage;

/// The pick list: a popup list whose rows may be measured and drawn by the row's editor.
class TQZPickList : public QListWidget {
    Q_OBJECT
public:
    explicit TQZPickList(QWidget* parent);

signals:
    void Chosen(const QString& value);
    void Dismissed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
};

class TQZPropsPageInplaceEdit : public QWidget {
    Q_OBJECT
public:
    static constexpr int kButtonWidth = 16;
    static constexpr int kMaxVisiblePickRows = 8;
    static constexpr int kEmptyPickListHeight = 20;

    explicit TQZPropsPageInplaceEdit(TQZCustomPropsPage* page);
    ~TQZPropsPageInplaceEdit() override;

    /// Stops forwarding keys, focus and buttons to the page (the page is being destroyed).
    void Detach();

    QLineEdit* LineEdit() const { return FEdit; }
    QToolButton* Button() const { return FButton; }
    TQZPickList* PickList() const { return FPickList; }
    bool PickListVisible() const;

    void SetEditStyle(TQZEditStyle style);
    TQZEditStyle EditStyle() const { return FStyle; }
    void SetText(const QString& text);
    QString Text() const { return FEdit->text(); }

    /// Opens the pick list with these entries below the cell (above it when it would leave the screen).
    void ShowPickList(const QStringList& values, bool owner_draw);
    void ClosePickList();

    /// Owner-drawn pick-list entries go through the current row's editor.
    void DrawPickValue(const QString& value, QPainter& painter, const QRect& rect, bool selected);
    void MeasurePickValue(const QString& value, const QFontMetrics& fm, int& width, int& height);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LayoutChildren();
    void ButtonClicked();

    TQZCustomPropsPage* FPage;
    QLineEdit* FEdit;
    QToolButton* FButton;
    TQZPickList* FPickList;
    TQZEditStyle FStyle = TQZEditStyle::esSimple;
    bool FOwnerDraw = false;
};

} // namespace tagsink::inspector
