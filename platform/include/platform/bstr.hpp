// qz::Bstr: owning wrapper of a BSTR (length-prefixed UTF-16 string from SysAllocString).
#pragma once
#include "platform/oleauto.h"
#include "platform/utf16.hpp"

#include <string>
#include <string_view>

namespace qz {

/// Owns one BSTR and frees it with SysFreeString. A default Bstr holds the null BSTR, which OLE treats as
/// the empty string. Allocation failures throw std::bad_alloc.
class QZ_OLEAUT_API Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(std::u16string_view text);
    explicit Bstr(std::string_view utf8);
    explicit Bstr(const char* utf8) : Bstr(std::string_view(utf8 ? utf8 : "")) {}
    ~Bstr();

    Bstr(const Bstr& other);
    Bstr& operator=(const Bstr& other);
    Bstr(Bstr&& other) noexcept : str_(other.release()) {}
    Bstr& operator=(Bstr&& other) noexcept;

    /// Takes ownership of a BSTR allocated by SysAllocString and friends.
    static Bstr attach(BSTR owned) noexcept;
    /// Gives up ownership; the caller frees the result.
    BSTR release() noexcept;
    /// Frees the current string and returns the address to receive a new one (output parameters).
    BSTR* out() noexcept;

    BSTR get() const noexcept { return str_; }
    UINT length() const noexcept { return SysStringLen(str_); }
    bool empty() const noexcept { return length() == 0; }
    std::u16string_view view() const noexcept { return {str_ ? AsU16(str_) : u"", length()}; }
    std::string toUtf8() const;

private:
    void reset(BSTR next) noexcept;
    BSTR str_ = nullptr;
};

} // namespace qz
