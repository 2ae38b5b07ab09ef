#include "sim_stream.hpp"

#include <platform/element_size.hpp>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

namespace tagclient::transport::sim {

namespace {

class Writer {
public:
    std::vector<std::uint8_t> bytes;

    size_t Size() const { return bytes.size(); }
    void U16(size_t at, std::uint16_t v) { Put(at, &v, 2); }
    void U32(size_t at, std::uint32_t v) { Put(at, &v, 4); }
    void U64(size_t at, std::uint64_t v) { Put(at, &v, 8); }
    size_t Append(const void* data, size_t n) {
        size_t at = bytes.size();
        bytes.resize(at + n);
        if (n != 0)
            std::memcpy(bytes.data() + at, data, n);
        return at;
    }
    size_t Zeros(size_t n) {
        size_t at = bytes.size();
        bytes.resize(at + n, 0);
        return at;
    }
    void Align8() { Zeros((8 - bytes.size() % 8) % 8); }

private:
    // Little-endian stores (this platform is little-endian; the static_assert below keeps it honest).
    void Put(size_t at, const void* v, size_t n) { std::memcpy(bytes.data() + at, v, n); }
};

static_assert(std::endian::native == std::endian::little, "stream encoding assumes a little-endian host");

// The scalar's payload bytes as the VARIANT union holds them (little-endian, at the union's start).
void ScalarBytes(const Value& v, std::uint8_t out[8]) {
    std::memset(out, 0, 8);
    switch (v.type) {
    case VT_R4: {
        float f = static_cast<float>(v.real);
        std::memcpy(out, &f, 4);
        break;
    }
    case VT_R8:
    case VT_DATE:
        std::memcpy(out, &v.real, 8);
        break;
    case VT_BSTR:
        break;
    default: {
        // The low bytes of the integer, as many as the type has (at most the 8 an integer holds).
        const std::int64_t i = v.integer;
        const size_t size = qz::ElementSize(v.type);
        std::memcpy(out, &i, size == 0 || size > 8 ? 8 : size);
        break;
    }
    }
}

// The header of a VARIANT holding v (pointer fields 0).
VARIANT VariantHeader(const Value& v) {
    VARIANT var;
    std::memset(&var, 0, sizeof var);
    var.vt = v.type;
    if (!v.IsArray() && v.type != VT_BSTR) {
        std::uint8_t payload[8];
        ScalarBytes(v, payload);
        std::memcpy(&var.llVal, payload, 8);
    }
    return var;
}

struct Marks {
    size_t first_string_length = 0; // offset of the first BSTR length prefix (0: none)
    size_t first_array_count = 0;   // offset of the first SAFEARRAY element count (0: none)
};

void AppendString(Writer& w, const std::u16string& text, Marks& marks) {
    std::uint32_t length = static_cast<std::uint32_t>(text.size() * 2);
    size_t at = w.Append(&length, 4);
    if (marks.first_string_length == 0)
        marks.first_string_length = at;
    w.Append(text.data(), length);
    w.Zeros(2);
}

void AppendData(Writer& w, const Value& v, Marks& marks);

void AppendArray(Writer& w, const Value& v, Marks& marks) {
    const VARTYPE element = v.ElementType();
    SAFEARRAY sa;
    std::memset(&sa, 0, sizeof sa);
    sa.cDims = 1;
    sa.fFeatures = element == VT_BSTR ? FADF_BSTR : element == VT_VARIANT ? FADF_VARIANT : 0;
    sa.cbElements = qz::ElementSize(element);
    sa.rgsabound[0].cElements = static_cast<ULONG>(v.elements.size());
    sa.rgsabound[0].lLbound = 0;
    size_t at = w.Append(&sa, sizeof sa);
    if (marks.first_array_count == 0)
        marks.first_array_count = at + offsetof(SAFEARRAY, rgsabound) + offsetof(SAFEARRAYBOUND, cElements);
    if (element == VT_BSTR) {
        // The element area (its pointer slots, zero here), then each element's text.
        w.Zeros(v.elements.size() * sizeof(BSTR));
        for (const Value& e : v.elements)
            AppendString(w, e.text, marks);
    } else if (element == VT_VARIANT) {
        for (const Value& e : v.elements) {
            VARIANT header = VariantHeader(e);
            w.Append(&header, sizeof header);
        }
        for (const Value& e : v.elements)
            AppendData(w, e, marks);
    } else {
        for (const Value& e : v.elements) {
            std::uint8_t payload[8];
            Value typed = e;
            typed.type = element;
            ScalarBytes(typed, payload);
            w.Append(payload, std::min<size_t>(qz::ElementSize(element), sizeof payload));
        }
    }
}

// What follows a VARIANT: the string or array it refers to.
void AppendData(Writer& w, const Value& v, Marks& marks) {
    if (v.IsArray())
        AppendArray(w, v, marks);
    else if (v.type == VT_BSTR)
        AppendString(w, v.text, marks);
}

} // namespace

bool ParseStreamDamage(std::u16string_view name, StreamDamage* damage) {
    struct Entry {
        const char16_t* name;
        StreamDamage damage;
    };
    static const Entry kEntries[] = {
        {u"status", StreamDamage::Status},       {u"offset", StreamDamage::ValueOffset},
        {u"straddle", StreamDamage::Straddle},   {u"count", StreamDamage::ItemCount},
        {u"string", StreamDamage::StringLength}, {u"array", StreamDamage::ArrayLength},
        {u"truncated", StreamDamage::Truncated}, {u"none", StreamDamage::None}};
    for (const auto& e : kEntries) {
        if (name == e.name) {
            *damage = e.damage;
            return true;
        }
    }
    return false;
}

std::vector<std::uint8_t> EncodeDataStream(StreamFormat format, DWORD client_group, DWORD transaction_id,
                                           const std::vector<StreamItem>& items, StreamDamage damage) {
    const bool with_time = format == StreamFormat::DataTime;
    const size_t header_size = with_time ? kItemHeaderTimeSize : kItemHeaderSize;
    Writer w;
    w.Zeros(kGroupHeaderSize + header_size * items.size());
    Marks marks;
    std::vector<size_t> value_offsets;
    value_offsets.reserve(items.size());
    for (const StreamItem& item : items) {
        w.Align8();
        static const Value kEmpty;
        const Value& v = item.value != nullptr ? *item.value : kEmpty;
        VARIANT header = VariantHeader(v);
        value_offsets.push_back(w.Append(&header, sizeof header));
        AppendData(w, v, marks);
    }
    for (size_t i = 0; i < items.size(); ++i) {
        size_t at = kGroupHeaderSize + header_size * i;
        w.U32(at, items[i].client_handle);
        w.U32(at + 4, static_cast<std::uint32_t>(value_offsets[i]));
        w.U16(at + 8, items[i].quality);
        w.U16(at + 10, 0);
        if (with_time)
            w.U64(at + 12, items[i].timestamp);
    }
    std::uint32_t count = static_cast<std::uint32_t>(items.size());
    HRESULT status = S_OK;
    const size_t size = w.Size();
    if (damage == StreamDamage::StringLength && marks.first_string_length == 0)
        damage = StreamDamage::ValueOffset;
    if (damage == StreamDamage::ArrayLength && marks.first_array_count == 0)
        damage = StreamDamage::ValueOffset;
    switch (damage) {
    case StreamDamage::Status:
        status = S_FALSE;
        break;
    case StreamDamage::ValueOffset:
        if (!items.empty())
            w.U32(kGroupHeaderSize + 4, static_cast<std::uint32_t>(size));
        else
            count += 1;
        break;
    case StreamDamage::Straddle:
        if (!items.empty())
            w.U32(kGroupHeaderSize + 4, static_cast<std::uint32_t>(size - 8));
        else
            count += 1;
        break;
    case StreamDamage::ItemCount:
        count += 1000;
        break;
    case StreamDamage::StringLength:
        w.U32(marks.first_string_length, 0x7FFFFFF0u);
        break;
    case StreamDamage::ArrayLength:
        w.U32(marks.first_array_count, 0x7FFFFFF0u);
        break;
    default:
        break;
    }
    w.U32(0, static_cast<std::uint32_t>(size));
    w.U32(4, count);
    w.U32(8, client_group);
    w.U32(12, transaction_id);
    w.U32(16, static_cast<std::uint32_t>(status));
    if (damage == StreamDamage::Truncated) {
        if (items.empty())
            w.U32(4, count + 1);
        w.bytes.resize(kGroupHeaderSize + header_size / 2);
    }
    return std::move(w.bytes);
}

} // namespace tagclient::transport::sim
