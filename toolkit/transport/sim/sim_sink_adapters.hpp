// The toolkit's sinks seen as the servers' listeners: each adapter turns the servers' value-level
// notifications into the interface's calls (VARIANT arrays, file times, global memory blocks).
#pragma once
#include "sim_listeners.hpp"
#include "sim_task_memory.hpp"
#include "sim_time.hpp"
#include "sim_variant.hpp"

#include <transport/transport.hpp>

#include <memory>
#include <vector>

namespace tagclient::transport::sim {

class ShutdownAdapter final : public ShutdownListener {
public:
    explicit ShutdownAdapter(std::shared_ptr<OPCShutdown> sink) : sink_(std::move(sink)) {}
    void OnShutdown(const std::u16string& reason) override {
        sink_->ShutdownRequest(reinterpret_cast<const OLECHAR*>(reason.c_str()));
    }

private:
    std::shared_ptr<OPCShutdown> sink_;
};

// The arrays of one data-change or read-complete call, built from updates and released after the call.
struct CallbackArrays {
    explicit CallbackArrays(const std::vector<ItemUpdate>& items) {
        const size_t n = items.size();
        handles.resize(n);
        values.resize(n);
        qualities.resize(n);
        times.resize(n);
        errors.resize(n);
        for (size_t i = 0; i < n; ++i) {
            handles[i] = items[i].client_handle;
            qualities[i] = items[i].quality;
            times[i] = ToFileTime(items[i].timestamp);
            errors[i] = items[i].error;
            if (FAILED(ValueToVariant(items[i].value, &values[i])) && SUCCEEDED(errors[i]))
                errors[i] = E_OUTOFMEMORY;
        }
    }
    ~CallbackArrays() { ClearVariants(values.data(), values.size()); }
    CallbackArrays(const CallbackArrays&) = delete;
    CallbackArrays& operator=(const CallbackArrays&) = delete;

    std::vector<OPCHANDLE> handles;
    std::vector<VARIANT> values;
    std::vector<WORD> qualities;
    std::vector<FILETIME> times;
    std::vector<HRESULT> errors;
};

class DataCallbackAdapter final : public DataListener {
public:
    explicit DataCallbackAdapter(std::shared_ptr<OPCDataCallback> sink) : sink_(std::move(sink)) {}
    void OnDataChange(DWORD transaction_id, DWORD client_group, HRESULT master_quality, HRESULT master_error,
                      const std::vector<ItemUpdate>& items) override {
        CallbackArrays a(items);
        sink_->OnDataChange(transaction_id, client_group, master_quality, master_error,
                            static_cast<DWORD>(items.size()), a.handles.data(), a.values.data(),
                            a.qualities.data(), a.times.data(), a.errors.data());
    }
    void OnWriteComplete(DWORD transaction_id, DWORD client_group, HRESULT master_error,
                         const std::vector<ItemWriteResult>& results) override {
        std::vector<OPCHANDLE> handles;
        std::vector<HRESULT> errors;
        for (const auto& r : results) {
            handles.push_back(r.client_handle);
            errors.push_back(r.error);
        }
        sink_->OnWriteComplete(transaction_id, client_group, master_error, static_cast<DWORD>(results.size()),
                               handles.data(), errors.data());
    }

private:
    std::shared_ptr<OPCDataCallback> sink_;
};

// One data-object block as a global memory block.
class BlockMemory final : public GlobalMemory {
public:
    explicit BlockMemory(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    const BYTE* Lock() override {
        ++locks_;
        return bytes_.data();
    }
    void Unlock() override {
        if (locks_ > 0)
            --locks_;
    }
    size_t Size() const override { return bytes_.size(); }

private:
    const std::vector<std::uint8_t>& bytes_;
    int locks_ = 0;
};

class AdviseSinkAdapter final : public StreamListener {
public:
    AdviseSinkAdapter(std::shared_ptr<AdviseSink> sink, CLIPFORMAT cf) : sink_(std::move(sink)), cf_(cf) {}
    void OnStream(StreamFormat, const std::vector<std::uint8_t>& block) override {
        BlockMemory memory(block);
        FormatEtc format{cf_, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        StgMedium medium{TYMED_HGLOBAL, &memory};
        sink_->OnDataChange(format, medium);
    }

private:
    std::shared_ptr<AdviseSink> sink_;
    CLIPFORMAT cf_;
};

} // namespace tagclient::transport::sim
