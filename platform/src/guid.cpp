// GUIDs as text for C++ code, over StringFromGUID2 and CLSIDFromString: the system's on Windows, the
// platform layer's own elsewhere (whose REFGUID is a pointer, as in C).
#include "platform/guid.hpp"

#include <cstring>

namespace qz {
namespace {

constexpr int kTextLength = 38; // without the NUL

#ifdef _WIN32
const GUID& Ref(const GUID& guid) {
    return guid;
}
#else
const GUID* Ref(const GUID& guid) {
    return &guid;
}
#endif

} // namespace

std::u16string GuidText(const GUID& guid) {
    OLECHAR text[kTextLength + 1];
    StringFromGUID2(Ref(guid), text, kTextLength + 1);
    return std::u16string(reinterpret_cast<const char16_t*>(text), kTextLength);
}

std::optional<GUID> ParseGuid(std::u16string_view text) {
    if (text.size() != static_cast<std::size_t>(kTextLength))
        return std::nullopt;
    OLECHAR terminated[kTextLength + 1];
    for (int i = 0; i < kTextLength; ++i) {
        if (text[static_cast<std::size_t>(i)] == 0)
            return std::nullopt;
        terminated[i] = static_cast<OLECHAR>(text[static_cast<std::size_t>(i)]);
    }
    terminated[kTextLength] = 0;
    GUID guid{};
    if (CLSIDFromString(terminated, &guid) != S_OK)
        return std::nullopt;
    return guid;
}

bool SameGuid(const GUID& a, const GUID& b) noexcept {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

} // namespace qz
