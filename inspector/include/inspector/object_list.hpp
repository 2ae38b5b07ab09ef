// An owning ordered list of objects with hooks around adding and deleting.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

namespace tagsink::inspector {

template <class T> class TQZObjectList {
public:
    TQZObjectList() = default;
    virtual ~TQZObjectList() = default;
    TQZObjectList(const TQZObjectList&) = delete;
    TQZObjectList& operator=(const TQZObjectList&) = delete;

    int Count() const { return static_cast<int>(FItems.size()); }
    T* operator[](int i) const { return FItems[static_cast<size_t>(i)].get(); }
    int IndexOf(const T* item) const {
        auto it = std::find_if(FItems.begin(), FItems.end(), [&](const auto& p) { return p.get() == item; });
        return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
    }

    T* Add(std::unique_ptr<T> item) {
        T* raw = item.get();
        FItems.push_back(std::move(item));
        Added(raw);
        return raw;
    }
    /// Removes every object, last first, and hands them over (the caller decides when they die).
    std::vector<std::unique_ptr<T>> TakeAll() {
        std::vector<std::unique_ptr<T>> taken;
        while (!FItems.empty()) {
            Deleting(FItems.back().get());
            taken.push_back(std::move(FItems.back()));
            FItems.pop_back();
        }
        return taken;
    }
    void Clear() { TakeAll(); }

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

protected:
    virtual void Added(T*) {}
    virtual void Deleting(T*) {}

private:
    std::vector<std::unique_ptr<T>> FItems;
};

} // namespace tagsink::inspector
