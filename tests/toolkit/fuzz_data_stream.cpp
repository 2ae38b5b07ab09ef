// libFuzzer target for the data-object stream reader: any block, in both formats, is read or refused
// without touching memory outside it.
#include "stream_reader.hpp"

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so that the sanitizer sees any read past the end.
    std::vector<BYTE> block(data, data + size);
    block.shrink_to_fit();
    for (bool withTime : {false, true}) {
        std::vector<tagclient::StreamValue> out;
        try {
            tagclient::ReadDataStream(block.data(), block.size(), withTime, out);
        } catch (const std::runtime_error&) {
        } catch (const std::bad_alloc&) {
        }
    }
    return 0;
}
