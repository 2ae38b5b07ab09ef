#include "sim_known_classes.hpp"

#include "sim_registration.hpp"
#include "sim_task_memory.hpp"

#include <transport/transport.hpp>

#include <algorithm>

namespace tagclient::transport::sim {

namespace {

const GUID& CategoryOf(int version) {
    static const GUID kNone{};
    switch (version) {
    case 1:
        return CATID_OPCDAServer10;
    case 2:
        return CATID_OPCDAServer20;
    case 3:
        return CATID_OPCDAServer30;
    default:
        return kNone;
    }
}

} // namespace

std::vector<KnownClass> KnownClasses() {
    std::vector<KnownClass> classes;
    for (const ServerProfile& p : BuiltinServers()) {
        KnownClass k;
        k.prog_id = p.prog_id;
        k.user_type = p.user_type;
        k.class_id_text = Narrow(ClsidText(p.clsid));
        k.parsed = true;
        k.clsid = p.clsid;
        if (p.implements_d_a1)
            k.versions.push_back(1);
        if (p.implements_d_a2)
            k.versions.push_back(2);
        k.implementation = &p;
        classes.push_back(std::move(k));
    }
    for (const RegisteredClass& r : LoadRegistrations()) {
        KnownClass k;
        k.prog_id = Utf16(r.prog_id);
        k.user_type = Utf16(r.user_type);
        k.class_id_text = r.class_id_text;
        k.parsed = ParseClsid(Utf16(r.class_id_text), &k.clsid);
        k.opc = r.opc;
        k.versions = r.versions;
        k.implementation = r.server.empty() ? nullptr : FindBuiltinServer(Utf16(r.server));
        // A registered ProgID replaces a built-in one of the same name.
        auto same = std::find_if(classes.begin(), classes.end(), [&](const KnownClass& c) {
            return SameKeyName(Narrow(c.prog_id), r.prog_id);
        });
        if (same != classes.end())
            *same = std::move(k);
        else
            classes.push_back(std::move(k));
    }
    return classes;
}

bool Implements(const KnownClass& k, const GUID& category) {
    for (int v : k.versions)
        if (SameGuid(CategoryOf(v), category))
            return true;
    return false;
}

} // namespace tagclient::transport::sim
