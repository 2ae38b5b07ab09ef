// TNamedItem: the base of every project object (root, group, item).
//
// An object has an owner (none for the root), a name, an ordered list of the children it owns, a name
// path, a modified flag (Dirty) and a small change notification (observers and ObjectChanged).
//
// Ownership: children are created by the classes' Create functions with their owner and live in the
// owner's child list until DeleteChild or the owner's destruction. Destroying an object destroys its
// children first, last child first, and then takes it out of its owner's list.
//
// Names: empty or an identifier (an ASCII letter or "_", then ASCII letters, digits or "_"), unique
// among the owner's children without regard to ASCII case. The owner keeps a case-insensitive index of
// its children's names, so checks and lookups take constant time however many children there are.
//
// Threads: project objects are created, changed and destroyed on one thread (the user-interface thread).
#pragma once

#include "platform/ascii.hpp"
#include "model/published.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tagsink {

/// Something the engine hangs on a project object while it runs (the record thread on the root, a
/// snapshot timer on a group). The object owns it and destroys it with itself.
class RunTimeObject {
public:
    virtual ~RunTimeObject() = default;
};

class TNamedItem : public Published {
public:
    ~TNamedItem() override;
    TNamedItem(const TNamedItem&) = delete;
    TNamedItem& operator=(const TNamedItem&) = delete;

    static const ClassInfo& StaticClassInfo();
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    /// The class name: "TServer", "TGroup" or "TItem".
    std::string_view ClassName() const { return GetClassInfo().Name(); }

    TNamedItem* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }

    /// Takes a new name after checking it (identifier or empty, unique among the owner's children);
    /// throws ProjectError with "''%s'' is not a valid component name" or "A component named %s already
    /// exists" and keeps the old name. Then, whether or not the name changed, NotifyObservers(0).
    void SetName(std::string_view name);

    std::size_t ChildCount() const { return children_.size(); }
    TNamedItem& Child(std::size_t index) const { return *children_.at(index); }
    /// The index of a child in the child list, or -1.
    std::ptrdiff_t IndexOfChild(const TNamedItem& child) const;
    /// The child with that name (without regard to ASCII case), or nullptr; empty names are never found.
    TNamedItem* FindChild(std::string_view name) const;
    /// Destroys one child (its own children first, last first) and removes it from the child list.
    void DeleteChild(TNamedItem& child);

    /// True if this object's own flag is set or any descendant's is.
    bool Dirty() const;
    /// true sets this object's own flag only; false clears it on this object and all descendants.
    void SetDirty(bool value);

    void AddObserver(TNamedItem& observer);
    void RemoveObserver(TNamedItem& observer);
    /// Calls ObjectChanged(this, kind) on every observer, first to last.
    void NotifyObservers(std::uint8_t kind);
    std::size_t ObserverCount() const { return observers_ ? observers_->size() : 0; }

    /// Kind 0: `sender` has just been given a name. The base does nothing.
    virtual void ObjectChanged(TNamedItem& sender, std::uint8_t kind);

    /// "Manager.Group1.Item1": the owner's path and this name joined by "."; the name alone at the top.
    std::string GetNamePath() const;

    /// True for a valid name: empty, or an identifier of at most 255 characters.
    static bool IsValidName(std::string_view name);

    /// The characters a name may have at most (the project file stores names in 255 bytes).
    static constexpr std::size_t kMaxNameLength = 255;

protected:
    explicit TNamedItem(TNamedItem* owner);

    /// Takes ownership of a freshly created child and appends it to the child list.
    template <class T> static T& Adopt(TNamedItem& owner, std::unique_ptr<T> child) {
        T& ref = *child;
        owner.AppendChild(std::move(child));
        return ref;
    }

    /// Destroys all children, last first (derived destructors call it before freeing what the children
    /// may still refer to).
    void DestroyChildren() noexcept;

private:
    void AppendChild(std::unique_ptr<TNamedItem> child);
    void ChildRenamed(TNamedItem& child, const std::string& old_name);

    TNamedItem* owner_;
    std::string name_;
    bool dirty_ = false;
    std::unique_ptr<std::vector<TNamedItem*>> observers_; // exists only while it holds an entry
    std::vector<std::unique_ptr<TNamedItem>> children_;
    std::unordered_map<std::string, TNamedItem*, qz::AsciiCaseHash, qz::AsciiCaseEqual> child_names_;
};

} // namespace tagsink
