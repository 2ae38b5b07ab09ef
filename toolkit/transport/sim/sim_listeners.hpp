// The notification receivers of the simulated servers, in value terms. The transport adapter wraps the
// toolkit's sinks (IOPCDataCallback, IAdviseSink, IOPCShutdown) in these; tests record what arrives.
#pragma once
#include "sim_stream.hpp"
#include "sim_value.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace tagclient::transport::sim {

// One item of a data-change or read-complete notification.
struct ItemUpdate {
    DWORD client_handle = 0;
    Value value;
    WORD quality = 0;
    std::uint64_t timestamp = 0; // FILETIME ticks, UTC
    HRESULT error = S_OK;
};

struct ItemWriteResult {
    DWORD client_handle = 0;
    HRESULT error = S_OK;
};

// A connection-point subscriber of a group (IOPCDataCallback).
class DataListener {
public:
    virtual ~DataListener() = default;
    virtual void OnDataChange(DWORD transaction_id, DWORD client_group, HRESULT master_quality,
                              HRESULT master_error, const std::vector<ItemUpdate>& items) = 0;
    virtual void OnWriteComplete(DWORD transaction_id, DWORD client_group, HRESULT master_error,
                                 const std::vector<ItemWriteResult>& results) = 0;
};

// A data-object subscriber of a group (IAdviseSink with one stream format).
class StreamListener {
public:
    virtual ~StreamListener() = default;
    virtual void OnStream(StreamFormat format, const std::vector<std::uint8_t>& block) = 0;
};

// A shutdown subscriber of a server (IOPCShutdown).
class ShutdownListener {
public:
    virtual ~ShutdownListener() = default;
    virtual void OnShutdown(const std::u16string& reason) = 0;
};

} // namespace tagclient::transport::sim
