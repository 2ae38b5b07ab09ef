// The property grid: two columns (caption and value) of rows that can be expanded into child rows,
// a splitter between the columns, a cell editor on the current row, vertical scrolling by whole rows.
// What the rows mean is left to derived classes through the virtual operations.
#pragma once

#include "inspector/props_page_inplace_edit.hpp"
#include "inspector/props_page_item.hpp"

#include <QAbstractScrollArea>
#include <QColor>

#include <memory>
#include <vector>

namespace tagsink::inspector {

class TQZCustomPropsPage : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kDefaultRowHeight = 16;
    static constexpr int kLevelIndent = 10;
    static constexpr int kBoxWidth = 13; // room for the expand box before the caption text
    static constexpr int kBoxSize = 9;
    static constexpr int kSplitterMin = 40; // smallest caption column, and smallest value column
    static constexpr int kSplitterZone = 4; // drag zone to the left of the column border

    explicit TQZCustomPropsPage(QWidget* parent = nullptr);
    ~TQZCustomPropsPage() override;

    /// Width of the caption column, clamped to [40, width - 40].
    int Splitter() const { return FSplitter; }
    void SetSplitter(int width);
    QColor ValuesColor() const { return FValuesColor; }
    void SetValuesColor(const QColor& color);
    bool ReadOnly() const { return FReadOnly; }
    virtual void SetReadOnly(bool value);

    int RowHeight() const { return FRowHeight; }
    /// The visible rows, top-level rows and the descendants of expanded rows, depth first.
    int RowCount() const { return static_cast<int>(FRows.size()); }
    TQZPropsPageItem* RowItem(int row) const;
    TQZPropsPageItems& Items() { return FItems; }

    int CurrentRow() const { return FCurrent ? FCurrent->Row : -1; }
    /// Makes a row current; the value typed into the old row is applied first.
    void SetCurrentRow(int row);
    TQZPropsPageItem* CurrentItem() const { return FCurrent; }
    TQZPropsPageInplaceEdit* InplaceEdit() const { return FInplace; }
    /// The row at a point of the viewport, or -1.
    int RowAt(int y) const;
    /// Geometry of a visible row in viewport coordinates (empty when scrolled away).
    QRect RowRect(int row) const;
    int TopRow() const;

    void Expand(TQZPropsPageItem* item);
    void Collapse(TQZPropsPageItem* item);
    void ToggleExpanded(TQZPropsPageItem* item);

    /// Applies the text typed into the cell of the current row (Enter, leaving the row or the control).
    void ApplyEditText();
    /// Double-click action on the current row: the next pick-list value, or the dialog.
    void DblClickAction();
    /// Opens the pick list of the current row.
    void DropDown();
    /// The ellipsis button: the dialog action of the current row.
    void ButtonAction();
    /// Puts the display text of the current row back into the cell and selects it.
    void RestoreEditText();

    /// Shows a failure to the operator. The default is a message box; tests override it.
    virtual void ShowError(const QString& message);

    QSize sizeHint() const override { return {188, 193}; }

signals:
    void CurrentRowChanged(int row);

protected:
    // The page's operations on rows, in slot order.
    virtual std::unique_ptr<TQZPropsPageItem> CreateItem(TQZPropsPageItem* parent);
    virtual void ItemExpanded(TQZPropsPageItem* item);
    virtual void ItemCollapsed(TQZPropsPageItem* item);
    virtual QColor GetItemCaptionColor(TQZPropsPageItem* item);
    virtual void DrawItemCaption(TQZPropsPageItem* item, QString& caption);

    // What the rows' values mean; a derived class binds them to its editors.
    virtual void ItemSetValue(TQZPropsPageItem* item, const QString& text);
    virtual void ItemRefresh(TQZPropsPageItem* item);
    virtual bool ItemIsVolatile(TQZPropsPageItem* item);
    virtual void ItemGetValues(TQZPropsPageItem* item, QStringList& values);
    virtual void ItemEdit(TQZPropsPageItem* item);
    virtual void ItemMeasureHeight(TQZPropsPageItem* item, const QString& value, const QFontMetrics& fm,
                                   int& height);
    virtual void ItemMeasureWidth(TQZPropsPageItem* item, const QString& value, const QFontMetrics& fm,
                                  int& width);
    virtual void ItemDrawValue(TQZPropsPageItem* item, const QString& value, QPainter& painter,
                               const QRect& rect, bool selected);

    /// Row rebuilding is deferred while the update counter is above 0.
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();
    /// Deletes every row. Rows deleted while an editor operation runs are kept alive until it ends.
    void DeleteAllItems();
    /// Makes the flat row array from the expanded rows and lays out scroll range and cell editor.
    void LayoutRows();
    /// Puts the current row's state into the cell editor.
    void UpdateInplaceEdit();
    /// True while an editor's SetValue runs.
    bool Changing() const { return FChanging; }

    /// Counts editor operations in progress: rows deleted meanwhile die only when the count drops to 0.
    class BusyScope {
    public:
        explicit BusyScope(TQZCustomPropsPage* page) : FPage(page) { ++FPage->FBusy; }
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        TQZCustomPropsPage* FPage;
    };
    bool IsLive(const TQZPropsPageItem* item) const;
    /// Destroys rows now, or when the running editor operation ends.
    void DiscardItems(std::vector<std::unique_ptr<TQZPropsPageItem>> items);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

private:
    friend class TQZPropsPageInplaceEdit;
    void AddVisible(TQZPropsPageItem* item);
    void RebuildRowArray();
    void MoveCurrent(int delta);
    void UpdateScrollRange();
    void PlaceInplaceEdit();
    void EnsureVisible(int row);
    void PaintRow(QPainter& p, int row);
    QRect ExpandBoxRect(TQZPropsPageItem* item, const QRect& row_rect) const;
    bool InSplitterZone(int x) const;
    void OnEditTextEdited(const QString& text);
    void OnPickChosen(const QString& value);
    /// Runs an editor call; a failure is shown with its message and the cell shows the row's value again.
    template <class F> bool Guarded(F&& f);

    TQZPropsPageItems FItems;
    std::vector<TQZPropsPageItem*> FRows;
    std::vector<std::unique_ptr<TQZPropsPageItem>> FDeadItems;
    TQZPropsPageInplaceEdit* FInplace;
    int FUpdateCount = 0;
    int FBusy = 0;
    int FSplitter = 84;
    int FRowHeight = kDefaultRowHeight;
    TQZPropsPageItem* FCurrent = nullptr;
    int FWheelRemainder = 0;
    QColor FValuesColor{0, 0, 128};
    bool FReadOnly = false;
    bool FChanging = false;
    bool FDraggingSplitter = false;
    bool FLayoutPending = false;
};

} // namespace tagsink::inspector
