// Encoder of the OPC DA 1.0 data-object streams the simulated servers send to IAdviseSink subscribers.
//
// One block, all fields little-endian, offsets from the start of the block:
//
//    0 +------------------------+ group header, 20 bytes
//      | total size        u32  |   size of the whole block
//    4 | item count        u32  |
//    8 | client group      u32  |   the group's client handle
//   12 | transaction id    u32  |   0 for subscription updates, the refresh's id otherwise
//   16 | status        HRESULT  |   S_OK
//   20 +------------------------+ item headers, back to back, item count of them
//      | client handle     u32  |   "OPCSTMFORMATDATATIME": 20 bytes each
//      | value offset      u32  |   "OPCSTMFORMATDATA":     12 bytes each (no timestamp)
//      | quality           u16  |
//      | reserved          u16  |
//      | timestamp    FILETIME  |   (DATATIME only; UTC)
//      +------------------------+
//      | values                 | each starts on an 8-byte boundary (zero padding before it)
//      +------------------------+
//
// A value is a VARIANT in this platform's layout (sizeof(VARIANT) bytes: vt, three reserved words, the
// payload; pointer fields are 0). Data that the VARIANT would point to follows it directly:
//   VT_BSTR            u32 byte length n, n bytes of UTF-16LE text, a 2-byte NUL
//   VT_ARRAY | t       a one-dimensional SAFEARRAY header (sizeof(SAFEARRAY) bytes, pvData 0, lower bound 0),
//                      then the element area (count x cbElements bytes: the values of scalar elements, zero
//                      pointer slots for VT_BSTR elements, the elements' VARIANTs for VT_VARIANT), then for
//                      VT_BSTR each element's text as a VT_BSTR's data (length, text, NUL), for VT_VARIANT
//                      elements each element's own data in order
#pragma once
#include "sim_value.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace tagclient::transport::sim {

enum class StreamFormat { Data, DataTime };

constexpr size_t kGroupHeaderSize = 20;
constexpr size_t kItemHeaderSize = 12;
constexpr size_t kItemHeaderTimeSize = 20;

// Deliberate damage for tests of a receiver (written to Control.MalformedStream by name).
enum class StreamDamage {
    None,
    Status,       // "status":    well-formed, but the header's status is S_FALSE
    ValueOffset,  // "offset":    the first value offset points at the end of the block
    Straddle,     // "straddle":  the first value offset leaves less than a VARIANT before the end
    ItemCount,    // "count":     the item count claims 1000 more headers than the block holds
    StringLength, // "string":    the first string's length runs past the end (no string: as "offset")
    ArrayLength,  // "array":     the first array's element count runs past the end (no array: as "offset")
    Truncated,    // "truncated": the block ends in the middle of the first item header
};
// The damage named by text (the names above, case-sensitive); false for an unknown name.
bool ParseStreamDamage(std::u16string_view name, StreamDamage* damage);

struct StreamItem {
    DWORD client_handle = 0;
    const Value* value = nullptr;
    WORD quality = 0;
    std::uint64_t timestamp = 0; // FILETIME ticks
};

// A "OPCSTMFORMATDATA" or "OPCSTMFORMATDATATIME" block.
std::vector<std::uint8_t> EncodeDataStream(StreamFormat format, DWORD client_group, DWORD transaction_id,
                                           const std::vector<StreamItem>& items,
                                           StreamDamage damage = StreamDamage::None);

} // namespace tagclient::transport::sim
