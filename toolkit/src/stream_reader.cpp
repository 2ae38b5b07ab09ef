#include "stream_reader.hpp"

#include <platform/element_size.hpp>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tagclient {

namespace {

[[noreturn]] void Malformed(const std::string& what) {
    throw std::runtime_error("Malformed data stream: " + what);
}

// The bytes [offset, offset + length) must lie inside the block.
void Need(std::uint64_t offset, std::uint64_t length, std::size_t size, const char* what) {
    if (offset > size || length > size - offset)
        Malformed(std::string(what) + " at offset " + std::to_string(offset) + " (" + std::to_string(length) +
                  " bytes) reaches beyond the block of " + std::to_string(size) + " bytes");
}

template <class T> T Load(const BYTE* data, std::uint64_t offset) {
    T value;
    std::memcpy(&value, data + offset, sizeof(T));
    return value;
}

// Element size of a type a stream may carry (0: not accepted). A stream holds values, never
// references: VARIANT, interface and dispatch elements are refused.
std::size_t StreamElementSize(VARTYPE vt) {
    if (vt == VT_VARIANT || vt == VT_UNKNOWN || vt == VT_DISPATCH)
        return 0;
    return qz::ElementSize(vt);
}

bool IsScalar(VARTYPE vt) {
    return vt == VT_EMPTY || vt == VT_NULL || (vt != VT_BSTR && StreamElementSize(vt) != 0);
}

// A length-prefixed text at `offset`; advances `offset` past it.
BSTR ReadText(const BYTE* data, std::size_t size, std::uint64_t& offset) {
    Need(offset, 4, size, "string length");
    const DWORD bytes = Load<DWORD>(data, offset);
    if (bytes % 2)
        Malformed("string length " + std::to_string(bytes) + " is odd");
    Need(offset + 4, std::uint64_t(bytes) + 2, size, "string");
    BSTR text = SysAllocStringLen(nullptr, bytes / 2);
    if (!text)
        throw std::bad_alloc();
    if (bytes)
        std::memcpy(text, data + offset + 4, bytes);
    offset += 4 + std::uint64_t(bytes) + 2;
    return text;
}

void ReadValue(const BYTE* data, std::size_t size, std::uint64_t offset, qz::Variant& out) {
    Need(offset, sizeof(VARIANT), size, "value");
    VARIANT raw;
    std::memcpy(&raw, data + offset, sizeof raw);
    const VARTYPE vt = raw.vt;
    if (IsScalar(vt)) {
        *out.out() = raw; // carries no pointer
        return;
    }
    std::uint64_t next = offset + sizeof(VARIANT);
    if (vt == VT_BSTR) {
        BSTR text = ReadText(data, size, next);
        VARIANT* v = out.out();
        v->vt = VT_BSTR;
        v->bstrVal = text;
        return;
    }
    const VARTYPE element = static_cast<VARTYPE>(vt & ~VT_ARRAY);
    if (!(vt & VT_ARRAY) || (vt & VT_BYREF) || StreamElementSize(element) == 0)
        Malformed("value type " + std::to_string(vt) + " cannot be carried in a stream");
    Need(next, sizeof(SAFEARRAY), size, "array header");
    SAFEARRAY header;
    std::memcpy(&header, data + next, sizeof header);
    if (header.cDims != 1)
        Malformed("array of " + std::to_string(header.cDims) + " dimensions");
    if (header.cbElements != StreamElementSize(element))
        Malformed("array element size " + std::to_string(header.cbElements) + " does not fit type " +
                  std::to_string(element));
    const ULONG count = header.rgsabound[0].cElements;
    const std::uint64_t area = std::uint64_t(header.cbElements) * count;
    next += sizeof(SAFEARRAY);
    Need(next, area, size, "array elements");
    SAFEARRAY* psa = SafeArrayCreateVector(element, 0, count);
    if (!psa)
        throw std::bad_alloc();
    VARIANT* v = out.out();
    v->vt = vt;
    v->parray = psa; // owned by `out` from here on
    if (count == 0)
        return;
    void* elements = nullptr;
    Check(SafeArrayAccessData(psa, &elements));
    struct Unaccess {
        SAFEARRAY* psa;
        ~Unaccess() { SafeArrayUnaccessData(psa); }
    } unaccess{psa};
    if (element == VT_BSTR) {
        std::uint64_t text = next + area;
        for (ULONG i = 0; i < count; ++i)
            static_cast<BSTR*>(elements)[i] = ReadText(data, size, text);
    } else {
        std::memcpy(elements, data + next, static_cast<std::size_t>(area));
    }
}

} // namespace

bool ReadDataStream(const BYTE* data, std::size_t size, bool with_time, std::vector<StreamValue>& out) {
    out.clear();
    if (!data)
        Malformed("no data");
    Need(0, sizeof(transport::StreamGroupHeader), size, "group header");
    const auto group = Load<transport::StreamGroupHeader>(data, 0);
    // S_FALSE is what servers send when some item is not good: the block is delivered all the same.
    if (FAILED(group.hrStatus))
        return false;
    const std::uint64_t header_size =
        with_time ? sizeof(transport::StreamItemHeaderTime) : sizeof(transport::StreamItemHeader);
    Need(sizeof group, header_size * group.dwItemCount, size, "item headers");
    try {
        out.resize(group.dwItemCount);
        for (DWORD i = 0; i < group.dwItemCount; ++i) {
            const std::uint64_t at = sizeof group + header_size * i;
            StreamValue& entry = out[i];
            if (with_time) {
                const auto h = Load<transport::StreamItemHeaderTime>(data, at);
                entry.hClient = h.hClient;
                entry.quality = h.wQuality;
                entry.timestamp = h.ftTimeStampItem;
                ReadValue(data, size, h.dwValueOffset, entry.value);
            } else {
                const auto h = Load<transport::StreamItemHeader>(data, at);
                entry.hClient = h.hClient;
                entry.quality = h.wQuality;
                ReadValue(data, size, h.dwValueOffset, entry.value);
            }
        }
    } catch (...) {
        out.clear();
        throw;
    }
    return true;
}

} // namespace tagclient
