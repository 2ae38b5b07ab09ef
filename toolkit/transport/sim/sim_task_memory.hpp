// Task memory of the transport interfaces: outputs allocated with CoTaskMemAlloc for the caller, and their
// release when a call fails before handing them over.
#pragma once
#include "sim_value.hpp"

#include <platform/oleauto.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace tagclient::transport::sim {

template <typename T> T* TaskArray(size_t count) {
    void* p = CoTaskMemAlloc(count == 0 ? 1 : count * sizeof(T));
    if (p == nullptr)
        throw std::bad_alloc();
    std::memset(p, 0, count == 0 ? 1 : count * sizeof(T));
    return static_cast<T*>(p);
}

inline OLECHAR* TaskString(const std::u16string& s) {
    OLECHAR* p = TaskArray<OLECHAR>(s.size() + 1);
    std::memcpy(p, s.data(), s.size() * sizeof(OLECHAR));
    p[s.size()] = 0;
    return p;
}

inline std::u16string FromOle(const OLECHAR* s) {
    if (s == nullptr)
        return {};
    const auto* c = reinterpret_cast<const char16_t*>(s);
    return std::u16string(c);
}

inline std::string Narrow(const std::u16string& s) {
    return Utf8(s);
}

// Every task-allocated output of one call, freed unless the call hands them over.
class TaskOutputs {
public:
    ~TaskOutputs() {
        if (!released_)
            for (void* p : blocks_)
                CoTaskMemFree(p);
    }
    template <typename T> T* Keep(T* p) {
        blocks_.push_back(p);
        return p;
    }
    void Release() { released_ = true; }

private:
    std::vector<void*> blocks_;
    bool released_ = false;
};

// A VARIANT array of the caller's that is cleared when the call fails before handing it over.
inline void ClearVariants(VARIANT* values, size_t count) {
    for (size_t i = 0; i < count; ++i)
        VariantClear(&values[i]);
}

} // namespace tagclient::transport::sim
