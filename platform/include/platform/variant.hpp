// C++ helpers over OLE Automation values: qz::Variant (owning VARIANT), qz::Bstr, UTF-8/UTF-16 helpers
// and the value equality used when deciding whether a new value differs from a stored one.
#pragma once
#include "platform/bstr.hpp"
#include "platform/oleauto.h"
#include "platform/utf16.hpp"

#include <algorithm>
#include <concepts>
#include <memory>
#include <ostream>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace qz {

/// A failing HRESULT from an OLE Automation service, with the system's text as message
/// ("Type mismatch.", "Overflow.").
class QZ_OLEAUT_API VariantError : public std::runtime_error {
public:
    explicit VariantError(HRESULT hr);
    /// The same failure worded by the caller (a report that adds what the code means to it).
    VariantError(HRESULT hr, const std::string& message);
    HRESULT code() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

/// The system's text of an HRESULT, or "OLE error XXXXXXXX" when there is none.
QZ_OLEAUT_API std::string HResultText(HRESULT hr);

/// Owns one VARIANT: copies are deep (VariantCopy), destruction clears it (VariantClear).
/// Constructors exist for every value an OPC server can send.
class QZ_OLEAUT_API Variant {
public:
    Variant() noexcept;
    ~Variant();
    Variant(const Variant& other);
    Variant& operator=(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(Variant&& other) noexcept;

    /// Deep copy of a VARIANT someone else owns (VT_BYREF values stay references, as VariantCopy does).
    explicit Variant(const VARIANT& other);

    /// Integers: the VARTYPE follows size and signedness (int8 VT_I1 ... uint64 VT_UI8).
    template <std::integral T>
    requires(!std::same_as<T, bool>) Variant(T value)
    noexcept : Variant() {
        setInteger(static_cast<std::int64_t>(value), static_cast<std::uint64_t>(value), sizeof(T),
                   std::is_signed_v<T>);
    }
    Variant(float value) noexcept;
    Variant(double value) noexcept;
    Variant(bool value) noexcept;   // VT_BOOL: VARIANT_TRUE (-1) or VARIANT_FALSE (0)
    Variant(CY value) noexcept;     // VT_CY
    Variant(std::string_view utf8); // VT_BSTR
    Variant(const char* utf8) : Variant(std::string_view(utf8 ? utf8 : "")) {}
    Variant(const std::string& utf8) : Variant(std::string_view(utf8)) {}
    Variant(std::u16string_view text); // VT_BSTR
    Variant(const char16_t* text) : Variant(OleView(text)) {}
    Variant(const std::u16string& text) : Variant(std::u16string_view(text)) {}

    static Variant Empty() noexcept { return Variant(); }
    static Variant Null() noexcept;
    static Variant Date(DATE value) noexcept;
    static Variant Error(SCODE code) noexcept;
    static Variant Currency(std::int64_t times_ten_thousand) noexcept;

    /// One-dimensional arrays with lower bound 0. The element type of the array follows the element
    /// type: a span of Variant gives VT_ARRAY|VT_VARIANT, of std::string VT_ARRAY|VT_BSTR.
    template <class T> static Variant Array(std::span<const T> values);
    static Variant Array(std::span<const Variant> values);
    static Variant Array(std::span<const std::string> values);
    static Variant Array(std::span<const bool> values);
    template <class T> static Variant Array(const std::vector<T>& values) {
        if constexpr (std::same_as<T, bool>) {
            // std::vector<bool> is not contiguous: lay the flags out first.
            auto flat = std::make_unique<bool[]>(values.size());
            std::copy(values.begin(), values.end(), flat.get());
            return Array(std::span<const bool>(flat.get(), values.size()));
        } else {
            return Array(std::span<const T>(values.data(), values.size()));
        }
    }
    /// An array of `count` default elements (zero, empty string, empty variant) of type `element_type`.
    static Variant Array(VARTYPE element_type, ULONG count);

    VARTYPE vt() const noexcept { return v_.vt; }
    bool isEmpty() const noexcept { return v_.vt == VT_EMPTY; }
    bool isNull() const noexcept { return v_.vt == VT_NULL; }
    bool isArray() const noexcept { return (v_.vt & VT_ARRAY) != 0; }

    const VARIANT& get() const noexcept { return v_; }
    operator const VARIANT&() const noexcept { return v_; }
    /// Clears the value and returns its address, for output parameters that receive a new VARIANT.
    VARIANT* out() noexcept;
    /// Gives up ownership: the caller clears the result.
    VARIANT release() noexcept;
    /// Takes ownership of `owned`, which is left VT_EMPTY.
    void attach(VARIANT& owned) noexcept;
    void clear() noexcept;

    /// The value converted to another type (VariantChangeType); throws VariantError on failure.
    Variant convertedTo(VARTYPE type, USHORT flags = 0) const;
    /// Converting forms that report failure by HRESULT instead.
    HRESULT tryConvert(VARTYPE type, Variant& result, USHORT flags = 0) const noexcept;

    /// The value as UTF-8 text (booleans "True"/"False"); an empty or null value gives "".
    /// Throws VariantError for values that have no text (errors, arrays).
    std::string toUtf8() const;
    /// Number of elements of a one-dimensional array (0 for anything else).
    ULONG arrayLength() const noexcept;
    /// Element `index` of an array as a Variant of its element type; throws VariantError.
    Variant element(LONG index) const;

private:
    void setInteger(std::int64_t s, std::uint64_t u, std::size_t size, bool is_signed) noexcept;
    static Variant FromArray(SAFEARRAY* owned) noexcept;
    VARIANT v_;
};

/// Value equality of two OLE values: two empty values are equal, two null values are equal, an empty or
/// null value equals nothing else; otherwise the values are equal when they compare equal after
/// conversion to a common type (numbers numerically, a number and a text by converting the text to the
/// number's type, dates as numbers, texts exactly, arrays element by element with the same length, error
/// codes by code). A conversion that fails means "not equal". Never throws.
QZ_OLEAUT_API bool VariantEquals(const VARIANT& a, const VARIANT& b) noexcept;

/// A short description for logs and test messages: the type and the value, e.g. `VT_I4 42`,
/// `VT_BSTR "text"`, `VT_ERROR 0x80004005`, `VT_ARRAY|VT_R8 [1.5, 2]` (at most 16 elements shown).
QZ_OLEAUT_API std::string Describe(const VARIANT& v);

/// Lets GoogleTest print values in failure messages.
inline void PrintTo(const Variant& v, std::ostream* os) {
    *os << Describe(v.get());
}

namespace detail {
/// Source arguments of VariantCopy / VariantChangeType: some Windows SDKs declare them non-const although
/// the services never modify them.
inline VARIANT* SourceArg(const VARIANT* v) noexcept {
    return const_cast<VARIANT*>(v);
}

template <class T> constexpr VARTYPE ElementVarType() {
    if constexpr (std::same_as<T, float>)
        return VT_R4;
    else if constexpr (std::same_as<T, double>)
        return VT_R8;
    else if constexpr (std::same_as<T, CY>)
        return VT_CY;
    else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>)
        return sizeof(T) == 1 ? VT_I1 : sizeof(T) == 2 ? VT_I2 : sizeof(T) == 4 ? VT_I4 : VT_I8;
    else if constexpr (std::is_integral_v<T>)
        return sizeof(T) == 1 ? VT_UI1 : sizeof(T) == 2 ? VT_UI2 : sizeof(T) == 4 ? VT_UI4 : VT_UI8;
    else
        static_assert(sizeof(T) == 0, "no OLE element type for this C++ type");
}
} // namespace detail

template <class T> Variant Variant::Array(std::span<const T> values) {
    constexpr VARTYPE kVt = detail::ElementVarType<T>();
    Variant result = Array(kVt, static_cast<ULONG>(values.size()));
    void* data = nullptr;
    if (!values.empty() && SUCCEEDED(SafeArrayAccessData(result.v_.parray, &data))) {
        auto* out = static_cast<T*>(data);
        for (std::size_t i = 0; i < values.size(); ++i)
            out[i] = values[i];
        SafeArrayUnaccessData(result.v_.parray);
    }
    return result;
}

} // namespace qz
