#include "sim_profiles.hpp"

#include <cstdio>

namespace qz::sim {

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

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
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
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

std::u16string ClsidText(const CLSID& c) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(c.Data1), c.Data2, c.Data3, c.Data4[0], c.Data4[1], c.Data4[2],
                  c.Data4[3], c.Data4[4], c.Data4[5], c.Data4[6], c.Data4[7]);
    return Utf16(buffer);
}

bool ParseClsid(std::u16string_view text, CLSID* clsid) {
    // {8-4-4-4-12}
    if (text.size() != 38 || text.front() != u'{' || text.back() != u'}')
        return false;
    static const size_t dashes[] = {9, 14, 19, 24};
    for (size_t d : dashes)
        if (text[d] != u'-')
            return false;
    std::uint8_t bytes[16];
    size_t n = 0;
    for (size_t i = 1; i < 37;) {
        if (text[i] == u'-') {
            ++i;
            continue;
        }
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
        i += 2;
    }
    if (n != 16)
        return false;
    clsid->Data1 =
        (static_cast<std::uint32_t>(bytes[0]) << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
    clsid->Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    clsid->Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i)
        clsid->Data4[i] = bytes[8 + i];
    return true;
}

} // namespace qz::sim
