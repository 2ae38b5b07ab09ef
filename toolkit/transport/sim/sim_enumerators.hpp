// Enumerators of names and of class IDs handed to the toolkit.
#pragma once
#include "sim_guarded.hpp"
#include "sim_task_memory.hpp"

#include <transport/transport.hpp>

#include <string>
#include <vector>

namespace tagclient::transport::sim {

class StringEnumerator final : public EnumString {
public:
    explicit StringEnumerator(std::vector<std::u16string> names) : names_(std::move(names)) {}
    HRESULT Next(ULONG celt, OLECHAR** rgelt, ULONG* pceltFetched) override {
        return Guarded([&] {
            ULONG given = 0;
            while (given < celt && next_ < names_.size())
                rgelt[given++] = TaskString(names_[next_++]);
            if (pceltFetched != nullptr)
                *pceltFetched = given;
            return given == celt ? S_OK : S_FALSE;
        });
    }

private:
    std::vector<std::u16string> names_;
    size_t next_ = 0;
};

class GuidEnumerator final : public EnumGUID {
public:
    explicit GuidEnumerator(std::vector<GUID> guids) : guids_(std::move(guids)) {}
    HRESULT Next(ULONG celt, GUID* rgelt, ULONG* pceltFetched) override {
        ULONG given = 0;
        while (given < celt && next_ < guids_.size())
            rgelt[given++] = guids_[next_++];
        if (pceltFetched != nullptr)
            *pceltFetched = given;
        return given == celt ? S_OK : S_FALSE;
    }

private:
    std::vector<GUID> guids_;
    size_t next_ = 0;
};

} // namespace tagclient::transport::sim
