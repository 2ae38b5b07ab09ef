#include "sim_server_list.hpp"

#include "sim_enumerators.hpp"
#include "sim_guarded.hpp"
#include "sim_known_classes.hpp"
#include "sim_registration.hpp"
#include "sim_task_memory.hpp"

#include <algorithm>

namespace tagclient::transport::sim {

namespace {

class SimServerList final : public OPCServerList {
public:
    HRESULT EnumClassesOfCategories(ULONG cImplemented, const GUID* rgcatidImpl, ULONG, const GUID*,
                                    std::shared_ptr<EnumGUID>* ppenumClsid) override {
        return Guarded([&] {
            if (!ppenumClsid || (cImplemented != 0 && !rgcatidImpl))
                return E_POINTER;
            std::vector<GUID> found;
            for (const KnownClass& k : KnownClasses()) {
                if (!k.parsed)
                    continue;
                bool all = true;
                for (ULONG i = 0; i < cImplemented; ++i)
                    all = all && Implements(k, rgcatidImpl[i]);
                bool duplicate = std::any_of(found.begin(), found.end(),
                                             [&](const GUID& g) { return SameClsid(g, k.clsid); });
                if (all && !duplicate)
                    found.push_back(k.clsid);
            }
            *ppenumClsid = std::make_shared<GuidEnumerator>(std::move(found));
            return S_OK;
        });
    }
    HRESULT GetClassDetails(const CLSID& clsid, OLECHAR** ppszProgID, OLECHAR** ppszUserType) override {
        return Guarded([&] {
            if (!ppszProgID || !ppszUserType)
                return E_POINTER;
            *ppszProgID = nullptr;
            *ppszUserType = nullptr;
            for (const KnownClass& k : KnownClasses()) {
                if (k.parsed && SameClsid(k.clsid, clsid)) {
                    TaskOutputs out;
                    OLECHAR* prog = out.Keep(TaskString(k.prog_id));
                    OLECHAR* type = out.Keep(TaskString(k.user_type));
                    out.Release();
                    *ppszProgID = prog;
                    *ppszUserType = type;
                    return S_OK;
                }
            }
            return REGDB_E_CLASSNOTREG;
        });
    }
    HRESULT CLSIDFromProgID(const OLECHAR* szProgId, CLSID* clsid) override {
        return Guarded([&] {
            if (!szProgId || !clsid)
                return E_POINTER;
            const std::string wanted = Narrow(FromOle(szProgId));
            for (const KnownClass& k : KnownClasses())
                if (SameKeyName(Narrow(k.prog_id), wanted))
                    return k.parsed ? (*clsid = k.clsid, S_OK) : CO_E_CLASSSTRING;
            return CO_E_CLASSSTRING;
        });
    }
};

} // namespace

std::shared_ptr<OPCServerList> MakeServerList() {
    return std::make_shared<SimServerList>();
}

} // namespace tagclient::transport::sim
