// Server enumeration: TServerEnum lists the OPC servers of a host (server-list component, then the local
// class registry); TDAEnum picks the component category of an OPC DA version.
#pragma once
#include <platform/oleauto.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tagclient {

struct TServerItem {
    std::string ClassID;
    std::string ProgID;
    std::string UserType;
};

class TServerEnum {
public:
    virtual ~TServerEnum() = default;
    // Fills the list; failures end the enumeration silently, keeping what was found.
    virtual void Enumerate();
    // Runs Enumerate and stores two index-aligned BSTR arrays (ProgIDs, class IDs); the count, or 0 when
    // the arrays could not be built.
    std::int32_t FillArrays(VARIANT* prog_ids, VARIANT* class_ids);

    std::vector<TServerItem> Items;
    std::string Host;
    GUID CategoryID{};
};

class TDAEnum final : public TServerEnum {
public:
    void Enumerate() override;
    std::int32_t Version = 0;
};

} // namespace tagclient
