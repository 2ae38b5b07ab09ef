// Reading OPC DA 1.0 data-object blocks (layout in transport/transport.h). Every header and value is checked
// against the block's size before it is read; string and array values are rebuilt into self-contained
// VARIANTs (the pointers inside the block are never followed).
#pragma once
#include "uRoutine.hpp"

#include <transport/transport.hpp>

#include <cstddef>
#include <vector>

namespace tagclient {

struct StreamValue {
    transport::OPCHANDLE hClient = 0;
    WORD quality = 0;
    FILETIME timestamp{}; // only with time
    qz::Variant value;
};

// Reads the block data[0..size). Returns false when the group header's status is not 0 (the block carries
// nothing); fills `out` otherwise. A block that does not hold what its headers promise throws
// std::runtime_error naming the fault, and `out` is then empty.
bool ReadDataStream(const BYTE* data, std::size_t size, bool with_time, std::vector<StreamValue>& out);

} // namespace tagclient
