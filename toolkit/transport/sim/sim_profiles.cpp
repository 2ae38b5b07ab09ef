#include "sim_profiles.hpp"

#include "platform/guid.hpp"

namespace tagclient::transport::sim {

namespace {

std::vector<ServerProfile> MakeProfiles() {
    std::vector<ServerProfile> list;

    ServerProfile da2;
    da2.progId = u"Tagsink.SimServer.DA2";
    da2.userType = u"Tagsink Simulated OPC DA 2.0 Server";
    ParseClsid(u"{D886E9B9-5576-47DF-B743-B81B90B0B9BF}", &da2.clsid);
    da2.vendorInfo = u"Tagsink simulated OPC DA 2.0 server";
    da2.majorVersion = 2;
    da2.minorVersion = 0;
    da2.buildNumber = 1;
    da2.implementsDA1 = true; // a DA 2.0 server keeps the DA 1.0 interfaces as well
    da2.implementsDA2 = true;
    list.push_back(da2);

    ServerProfile da1;
    da1.progId = u"Tagsink.SimServer.DA1";
    da1.userType = u"Tagsink Simulated OPC DA 1.0 Server";
    ParseClsid(u"{8FD8AB6C-C8EF-430D-A694-B1B07D3CF490}", &da1.clsid);
    da1.vendorInfo = u"Tagsink simulated OPC DA 1.0 server";
    da1.majorVersion = 1;
    da1.minorVersion = 0;
    da1.buildNumber = 1;
    da1.implementsDA1 = true;
    da1.hierarchical = false;
    da1.shutdownPoint = false;
    da1.groups.asyncIO2 = false;
    da1.groups.connectionPoints = false;
    list.push_back(da1);

    ServerProfile minimal;
    minimal.progId = u"Tagsink.SimServer.Minimal";
    minimal.userType = u"Tagsink Simulated Minimal OPC Server";
    ParseClsid(u"{F16F3E19-1646-4564-8E98-54E3349DF90F}", &minimal.clsid);
    minimal.vendorInfo = u"Tagsink simulated minimal server";
    minimal.majorVersion = 1;
    minimal.minorVersion = 0;
    minimal.buildNumber = 1;
    minimal.implementsDA1 = true;
    minimal.browsing = false;
    minimal.properties = false;
    minimal.shutdownPoint = false;
    minimal.groups.asyncIO = false;
    minimal.groups.asyncIO2 = false;
    minimal.groups.connectionPoints = false;
    minimal.groups.dataObject = false;
    list.push_back(minimal);
    return list;
}

} // namespace

const std::vector<ServerProfile>& BuiltinServers() {
    static const std::vector<ServerProfile> profiles = MakeProfiles();
    return profiles;
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
