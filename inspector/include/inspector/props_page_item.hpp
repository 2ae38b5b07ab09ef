// Rows of the property grid. A row knows its parent, its caption and display text, how its value is
// edited and whether it can be expanded; it owns its child rows.
#pragma once

#include "inspector/object_list.hpp"

#include <QString>

namespace tagsink::inspector {

class TQZCustomPropsPage;
class TQZPropsPageItem;

enum class TQZEditStyle { esSimple, esEllipsis, esPickList };
enum class TQZExpandable { exAuto, exAlways, exNever };

/// The child rows of a row, or the top-level rows of a page.
class TQZPropsPageItems : public TQZObjectList<TQZPropsPageItem> {};

class TQZPropsPageItem {
public:
    TQZPropsPageItem(TQZCustomPropsPage* owner, TQZPropsPageItem* parent);
    virtual ~TQZPropsPageItem();
    TQZPropsPageItem(const TQZPropsPageItem&) = delete;
    TQZPropsPageItem& operator=(const TQZPropsPageItem&) = delete;

    TQZCustomPropsPage* Owner() const { return FOwner; }
    TQZPropsPageItem* Parent() const { return FParent; }
    /// Nesting depth: 0 at top level.
    int Level() const;
    TQZPropsPageItems& Items() { return FItems; }
    const TQZPropsPageItems& Items() const { return FItems; }

    /// Whether the row shows an expand box (always, never, or when it has children).
    bool CanExpand() const;

    QString Caption;
    QString DisplayValue;
    TQZEditStyle EditStyle = TQZEditStyle::esSimple;
    TQZExpandable Expandable = TQZExpandable::exAuto;
    bool Expanded = false;
    bool ReadOnly = false;
    bool AutoUpdate = false;
    bool OwnerDraw = false;
    bool DropDownOnKey = false;
    bool HasDialog = false; // double click and Ctrl+Enter call the dialog action
    int Row = -1;           // index in the page's visible rows; -1 while not visible

private:
    TQZCustomPropsPage* FOwner;
    TQZPropsPageItem* FParent;
    TQZPropsPageItems FItems;
};

} // namespace tagsink::inspector
