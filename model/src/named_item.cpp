#include "model/named_item.hpp"

#include "model/project_error.hpp"

#include <algorithm>

namespace tagsink {

namespace {

bool IsIdentStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsIdentChar(char c) {
    return IsIdentStart(c) || (c >= '0' && c <= '9');
}

} // namespace

const ClassInfo& TNamedItem::StaticClassInfo() {
    static const ClassInfo kInfo("TNamedItem", nullptr, {});
    return kInfo;
}

TNamedItem::TNamedItem(TNamedItem* owner) : owner_(owner) {}

TNamedItem::~TNamedItem() {
    DestroyChildren();
}

void TNamedItem::DestroyChildren() noexcept {
    while (!children_.empty()) {
        TNamedItem& last = *children_.back();
        last.DestroyChildren();
        if (!last.name_.empty())
            child_names_.erase(last.name_);
        children_.pop_back();
    }
}

void TNamedItem::AppendChild(std::unique_ptr<TNamedItem> child) {
    // A fresh child has an empty name, so it never collides.
    children_.push_back(std::move(child));
}

bool TNamedItem::IsValidName(std::string_view name) {
    if (name.empty())
        return true;
    if (name.size() > kMaxNameLength || !IsIdentStart(name.front()))
        return false;
    return std::all_of(name.begin() + 1, name.end(), IsIdentChar);
}

void TNamedItem::SetName(std::string_view name) {
    if (name != name_) {
        if (!IsValidName(name))
            throw ProjectError("''" + std::string(name) + "'' is not a valid component name");
        if (owner_ && !name.empty() && !qz::EqualsNoCase(name, name_)) {
            if (owner_->FindChild(name))
                throw ProjectError("A component named " + std::string(name) + " already exists");
        }
        std::string old = std::move(name_);
        name_.assign(name);
        if (owner_)
            owner_->ChildRenamed(*this, old);
    }
    NotifyObservers(0);
}

void TNamedItem::ChildRenamed(TNamedItem& child, const std::string& old_name) {
    if (!old_name.empty()) {
        auto it = child_names_.find(old_name);
        if (it != child_names_.end() && it->second == &child)
            child_names_.erase(it);
    }
    if (!child.name_.empty())
        child_names_[child.name_] = &child;
}

std::ptrdiff_t TNamedItem::IndexOfChild(const TNamedItem& child) const {
    for (std::size_t i = 0; i < children_.size(); ++i)
        if (children_[i].get() == &child)
            return static_cast<std::ptrdiff_t>(i);
    return -1;
}

TNamedItem* TNamedItem::FindChild(std::string_view name) const {
    if (name.empty())
        return nullptr;
    auto it = child_names_.find(name);
    return it == child_names_.end() ? nullptr : it->second;
}

void TNamedItem::DeleteChild(TNamedItem& child) {
    const auto index = IndexOfChild(child);
    if (index < 0)
        return;
    child.DestroyChildren();
    if (!child.name_.empty())
        child_names_.erase(child.name_);
    // Take it out of the list first so that its destructor runs with the list already consistent.
    std::unique_ptr<TNamedItem> doomed = std::move(children_[static_cast<std::size_t>(index)]);
    children_.erase(children_.begin() + index);
    doomed.reset();
}

bool TNamedItem::Dirty() const {
    if (dirty_)
        return true;
    for (const auto& child : children_)
        if (child->Dirty())
            return true;
    return false;
}

void TNamedItem::SetDirty(bool value) {
    dirty_ = value;
    if (!value)
        for (auto& child : children_)
            child->SetDirty(false);
}

void TNamedItem::AddObserver(TNamedItem& observer) {
    if (!observers_)
        observers_ = std::make_unique<std::vector<TNamedItem*>>();
    if (std::find(observers_->begin(), observers_->end(), &observer) == observers_->end())
        observers_->push_back(&observer);
}

void TNamedItem::RemoveObserver(TNamedItem& observer) {
    if (!observers_)
        return;
    auto it = std::find(observers_->begin(), observers_->end(), &observer);
    if (it != observers_->end())
        observers_->erase(it);
    if (observers_->empty())
        observers_.reset();
}

void TNamedItem::NotifyObservers(std::uint8_t kind) {
    // An observer may change the list while being told; walk it by index and re-check each step.
    for (std::size_t i = 0; observers_ && i < observers_->size(); ++i)
        (*observers_)[i]->ObjectChanged(*this, kind);
}

void TNamedItem::ObjectChanged(TNamedItem&, std::uint8_t) {}

std::string TNamedItem::GetNamePath() const {
    if (!owner_)
        return name_;
    std::string path = owner_->GetNamePath();
    if (path.empty())
        return name_;
    path += '.';
    path += name_;
    return path;
}

} // namespace tagsink
