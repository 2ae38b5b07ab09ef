#include "sim_profiles.hpp"

#include "platform/guid.hpp"

namespace tagclient::transport::sim {

namespace {

std::vector<ServerProfile> MakeProfiles() {
    std::vector<ServerProfile> list;

    ServerProfile da2;
    da2.prog_id = u"Tagsink.SimServer.DA2";
    da2.user_type = u"Tagsink Simulated OPC DA 2.0 Server";
    ParseClsid(u"{D886E9B9-5576-47DF-B743-B81B90B0B9BF}", &da2.clsid);
    da2.vendor_info = u"Tagsink simulated OPC DA 2.0 server";
    da2.major_version = 2;
    da2.minor_version = 0;
    da2.build_number = 1;
    da2.implements_d_a1 = true; // a DA 2.0 server keeps the DA 1.0 interfaces as well
    da2.implements_d_a2 = true;
    list.push_back(da2);

    ServerProfile da1;
    da1.prog_id = u"Tagsink.SimServer.DA1";
    da1.user_type = u"Tagsink Simulated OPC DA 1.0 Server";
    ParseClsid(u"{8FD8AB6C-C8EF-430D-A694-B1B07D3CF490}", &da1.clsid);
    da1.vendor_info = u"Tagsink simulated OPC DA 1.0 server";
    da1.major_version = 1;
    da1.minor_version = 0;
    da1.build_number = 1;
    da1.implements_d_a1 = true;
    da1.hierarchical = false;
    da1.shutdown_point = false;
    da1.groups.async_i_o2 = false;
    da1.groups.connection_points = false;
    list.push_back(da1);

    ServerProfile minimal;
    minimal.prog_id = u"Tagsink.SimServer.Minimal";
    minimal.user_type = u"Tagsink Simulated Minimal OPC Server";
    ParseClsid(u"{F16F3E19-1646-4564-8E98-54E3349DF90F}", &minimal.clsid);
    minimal.vendor_info = u"Tagsink simulated minimal server";
    minimal.major_version = 1;
    minimal.minor_version = 0;
    minimal.build_number = 1;
    minimal.implements_d_a1 = true;
    minimal.browsing = false;
    minimal.properties = false;
    minimal.shutdown_point = false;
    minimal.groups.async_io = false;
    minimal.groups.async_i_o2 = false;
    minimal.groups.connection_points = false;
    minimal.groups.data_object = false;
    list.push_back(minimal);
    return list;
}

} // namespace

const std::vector<ServerProfile>& BuiltinServers() {
    static const std::vector<ServerProfile> kProfiles = MakeProfiles();
    return kProfiles;
}

const ServerProfile* FindBuiltinServer(std::u16string_view kind) {
    const auto& all = BuiltinServers();
    if (kind == u"da2")
        return &all[0];
    if (kind == u"da1")
        return &all[1];
    if (kind == u"minimal")
        return &all[2];
    return nullptr;
}

const ServerProfile* FindBuiltinServer(const CLSID& clsid) {
    for (const auto& p : BuiltinServers())
        if (SameClsid(p.clsid, clsid))
            return &p;
    return nullptr;
}

bool SameClsid(const CLSID& a, const CLSID& b) {
    return qz::SameGuid(a, b);
}

std::u16string ClsidText(const CLSID& c) {
    return qz::GuidText(c);
}

bool ParseClsid(std::u16string_view text, CLSID* clsid) {
    const std::optional<GUID> parsed = qz::ParseGuid(text);
    if (!parsed)
        return false;
    *clsid = *parsed;
    return true;
}

} // namespace tagclient::transport::sim
