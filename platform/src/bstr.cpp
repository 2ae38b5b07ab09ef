// qz::Bstr: owning BSTR wrapper.
#include "platform/bstr.hpp"
#include "platform/utf16.hpp"

#include <new>

namespace qz {

namespace {
BSTR AllocateOrThrow(std::u16string_view text) {
    if (text.size() > 0x3FFFFFFF)
        throw std::bad_alloc();
    BSTR s = SysAllocStringLen(AsOle(text.data()), static_cast<UINT>(text.size()));
    if (!s)
        throw std::bad_alloc();
    return s;
}
} // namespace

Bstr::Bstr(std::u16string_view text) : str_(AllocateOrThrow(text)) {}

Bstr::Bstr(std::string_view utf8) : str_(AllocateOrThrow(Utf8ToUtf16(utf8))) {}

Bstr::~Bstr() {
    SysFreeString(str_);
}

Bstr::Bstr(const Bstr& other) : str_(other.str_ ? AllocateOrThrow(other.view()) : nullptr) {}

Bstr& Bstr::operator=(const Bstr& other) {
    if (this != &other)
        reset(other.str_ ? AllocateOrThrow(other.view()) : nullptr);
    return *this;
}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
    if (this != &other)
        reset(other.release());
    return *this;
}

Bstr Bstr::attach(BSTR owned) noexcept {
    Bstr b;
    b.str_ = owned;
    return b;
}

BSTR Bstr::release() noexcept {
    BSTR s = str_;
    str_ = nullptr;
    return s;
}

BSTR* Bstr::out() noexcept {
    reset(nullptr);
    return &str_;
}

std::string Bstr::toUtf8() const {
    return Utf16ToUtf8(view());
}

void Bstr::reset(BSTR next) noexcept {
    SysFreeString(str_);
    str_ = next;
}

} // namespace qz
