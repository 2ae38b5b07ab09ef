// Writing OPC DA 1.0 data-object blocks (the stream layout documented in transport.h), for backends that
// serve IDataObject subscriptions and for tests. Header-only.
#pragma once
#include <transport/transport.hpp>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace tagclient::transport {

// One item of a block.
struct StreamEntry {
    OPCHANDLE hClient;
    WORD wQuality;
    FILETIME ftTimeStamp; // written only in OPCSTMFORMATDATATIME blocks
    const VARIANT* value;
};

namespace detail {
inline void Append(std::vector<BYTE>& out, const void* data, size_t size) {
    const auto* p = static_cast<const BYTE*>(data);
    out.insert(out.end(), p, p + size);
}
inline void AppendText(std::vector<BYTE>& out, BSTR text) {
    DWORD bytes = text ? SysStringByteLen(text) : 0;
    Append(out, &bytes, sizeof bytes);
    if (bytes)
        Append(out, text, bytes);
    const WORD nul = 0;
    Append(out, &nul, sizeof nul);
}
inline void AppendValue(std::vector<BYTE>& out, const VARIANT& v) {
    Append(out, &v, sizeof(VARIANT));
    if (v.vt == VT_BSTR) {
        AppendText(out, v.bstrVal);
    } else if (v.vt & VT_ARRAY) {
        SAFEARRAY* psa = v.parray;
        if (!psa || psa->cDims != 1 || (v.vt & ~VT_ARRAY) == VT_VARIANT || (v.vt & VT_BYREF))
            throw std::invalid_argument("data stream: only one-dimensional arrays of scalars or strings");
        Append(out, psa, sizeof(SAFEARRAY));
        const ULONG count = psa->rgsabound[0].cElements;
        if (count)
            Append(out, psa->pvData, static_cast<size_t>(psa->cbElements) * count);
        if ((v.vt & ~VT_ARRAY) == VT_BSTR)
            for (ULONG i = 0; i < count; ++i)
                AppendText(out, static_cast<BSTR*>(psa->pvData)[i]);
    } else if (v.vt & VT_BYREF) {
        throw std::invalid_argument("data stream: references cannot be streamed");
    }
}
} // namespace detail

// Builds one block: group header, item headers (12 or 20 bytes), then the values. `status` is the group
// header's status (0 = the block carries values).
inline std::vector<BYTE> WriteDataStream(bool with_time, OPCHANDLE hClientGroup, DWORD dwTransactionID,
                                         const StreamEntry* entries, size_t count, HRESULT status = S_OK) {
    const size_t header_size = with_time ? sizeof(StreamItemHeaderTime) : sizeof(StreamItemHeader);
    std::vector<BYTE> values;
    std::vector<DWORD> offsets(count);
    const size_t values_start = sizeof(StreamGroupHeader) + header_size * count;
    for (size_t i = 0; i < count; ++i) {
        offsets[i] = static_cast<DWORD>(values_start + values.size());
        detail::AppendValue(values, *entries[i].value);
    }
    std::vector<BYTE> out;
    out.reserve(values_start + values.size());
    StreamGroupHeader group{static_cast<DWORD>(values_start + values.size()), static_cast<DWORD>(count),
                            hClientGroup, dwTransactionID, status};
    detail::Append(out, &group, sizeof group);
    for (size_t i = 0; i < count; ++i) {
        if (with_time) {
            StreamItemHeaderTime h{entries[i].hClient, offsets[i], entries[i].wQuality, 0,
                                   entries[i].ftTimeStamp};
            detail::Append(out, &h, sizeof h);
        } else {
            StreamItemHeader h{entries[i].hClient, offsets[i], entries[i].wQuality, 0};
            detail::Append(out, &h, sizeof h);
        }
    }
    detail::Append(out, values.data(), values.size());
    return out;
}

// A global memory block held in a vector (the sender keeps it alive during OnDataChange).
class VectorMemory final : public GlobalMemory {
public:
    explicit VectorMemory(std::vector<BYTE> bytes) : bytes_(std::move(bytes)) {}
    const BYTE* Lock() override {
        ++locks_;
        return bytes_.data();
    }
    void Unlock() override { --locks_; }
    size_t Size() const override { return bytes_.size(); }
    int Locks() const { return locks_; }
    std::vector<BYTE>& Bytes() { return bytes_; }

private:
    std::vector<BYTE> bytes_;
    int locks_ = 0;
};

} // namespace tagclient::transport
