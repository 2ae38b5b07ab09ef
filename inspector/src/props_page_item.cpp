#include "inspector/props_page_item.hpp"

namespace tagsink::inspector {

TQZPropsPageItem::TQZPropsPageItem(TQZCustomPropsPage* owner, TQZPropsPageItem* parent)
    : FOwner(owner), FParent(parent) {}

TQZPropsPageItem::~TQZPropsPageItem() = default;

int TQZPropsPageItem::Level() const {
    int level = 0;
    for (const TQZPropsPageItem* p = FParent; p; p = p->FParent) {
        ++level;
    }
    return level;
}

bool TQZPropsPageItem::CanExpand() const {
    switch (Expandable) {
    case TQZExpandable::exAlways:
        return true;
    case TQZExpandable::exNever:
        return false;
    case TQZExpandable::exAuto:
    default:
        return FItems.Count() > 0;
    }
}

} // namespace tagsink::inspector
