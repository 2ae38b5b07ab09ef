// Shared fixture of the core tests: a server instance on a manual clock, and recording listeners.
#pragma once
#include "manual_scheduler.hpp"
#include "sim_group.hpp"
#include "sim_profiles.hpp"
#include "sim_server.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace tagclient::transport::sim::testing {

struct RecordedChange {
    DWORD transaction_id;
    DWORD client_group;
    std::vector<tagclient::transport::sim::ItemUpdate> items;
};

class RecordingListener : public tagclient::transport::sim::DataListener {
public:
    void OnDataChange(DWORD transaction_id, DWORD client_group, HRESULT, HRESULT,
                      const std::vector<tagclient::transport::sim::ItemUpdate>& items) override {
        changes.push_back({transaction_id, client_group, items});
        if (on_change)
            on_change();
    }
    void OnWriteComplete(DWORD transaction_id, DWORD, HRESULT,
                         const std::vector<tagclient::transport::sim::ItemWriteResult>& r) override {
        write_transactions.push_back(transaction_id);
        writes.push_back(r);
    }
    std::vector<RecordedChange> changes;
    std::vector<DWORD> write_transactions;
    std::vector<std::vector<tagclient::transport::sim::ItemWriteResult>> writes;
    std::function<void()> on_change;
};

class RecordingStream : public tagclient::transport::sim::StreamListener {
public:
    void OnStream(tagclient::transport::sim::StreamFormat format,
                  const std::vector<std::uint8_t>& block) override {
        formats.push_back(format);
        blocks.push_back(block);
    }
    std::vector<tagclient::transport::sim::StreamFormat> formats;
    std::vector<std::vector<std::uint8_t>> blocks;
};

class SimTest : public ::testing::Test {
protected:
    static constexpr std::uint64_t kWallStart = 133000000000000000ULL;

    std::shared_ptr<tagclient::transport::sim::SimServer> Start(const char16_t* kind = u"da2") {
        return tagclient::transport::sim::SimServer::Create(
            *tagclient::transport::sim::FindBuiltinServer(kind), clock_, kWallStart);
    }

    // A group with the given rate and deadband, and its server handle in *handle.
    std::shared_ptr<tagclient::transport::sim::SimGroup> Group(tagclient::transport::sim::SimServer& server,
                                                               DWORD rate = 100, float deadband = 0,
                                                               bool active = true,
                                                               const char16_t* name = u"G") {
        DWORD handle = 0, revised = 0;
        LONG bias = 0;
        std::shared_ptr<tagclient::transport::sim::SimGroup> group;
        HRESULT hr = server.AddGroup(name, active, rate, 17, &bias, &deadband, 0, &handle, &revised, &group);
        EXPECT_TRUE(SUCCEEDED(hr));
        return group;
    }

    // Adds items by ID with client handles 1, 2, ...; returns their server handles (0 for refused ones).
    std::vector<DWORD> Add(tagclient::transport::sim::SimGroup& group, std::vector<std::u16string> ids,
                           std::vector<HRESULT>* errors = nullptr) {
        std::vector<tagclient::transport::sim::ItemRequest> requests;
        for (size_t i = 0; i < ids.size(); ++i)
            requests.push_back({ids[i], u"", true, static_cast<DWORD>(i + 1), VT_EMPTY});
        std::vector<tagclient::transport::sim::ItemAddResult> results;
        std::vector<HRESULT> errs;
        EXPECT_TRUE(SUCCEEDED(group.AddItems(requests, &results, &errs)));
        std::vector<DWORD> handles;
        for (size_t i = 0; i < results.size(); ++i)
            handles.push_back(SUCCEEDED(errs[i]) ? results[i].server_handle : 0);
        if (errors)
            *errors = errs;
        return handles;
    }

    HRESULT WriteOne(tagclient::transport::sim::SimGroup& group, DWORD handle,
                     tagclient::transport::sim::Value value) {
        std::vector<HRESULT> errors;
        HRESULT hr = group.Write({handle}, {std::move(value)}, &errors);
        return FAILED(hr) ? hr : errors[0];
    }

    // Writes a control item through an inactive group of its own (left in place: removing it could
    // consume a RemoveGroup refusal).
    HRESULT Control(tagclient::transport::sim::SimServer& server, const char16_t* item,
                    tagclient::transport::sim::Value value) {
        auto g = Group(server, 1000, 0, false, u"");
        auto h = Add(*g, {item});
        return WriteOne(*g, h[0], std::move(value));
    }

    std::shared_ptr<ManualScheduler> clock_ = std::make_shared<ManualScheduler>();
};

} // namespace tagclient::transport::sim::testing
