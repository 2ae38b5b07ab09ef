#include "sim_registry.hpp"

#include "sim_codes.hpp"
#include "sim_guarded.hpp"
#include "sim_known_classes.hpp"
#include "sim_registration.hpp"
#include "sim_task_memory.hpp"

#include <algorithm>

namespace tagclient::transport::sim {

namespace {

class SimRegistry final : public Registry {
public:
    HRESULT CLSIDFromProgID(const OLECHAR* szProgId, CLSID* clsid) override {
        return Guarded([&] {
            if (!szProgId || !clsid)
                return E_POINTER;
            const KnownClass* k = Find(Narrow(FromOle(szProgId)));
            if (k == nullptr)
                return REGDB_E_CLASSNOTREG;
            if (!k->parsed)
                return CO_E_CLASSSTRING;
            *clsid = k->clsid;
            return S_OK;
        });
    }
    HRESULT EnumRootKeys(std::vector<std::string>* names) override {
        return Guarded([&] {
            if (!names)
                return E_POINTER;
            Refresh();
            names->clear();
            for (const KnownClass& k : classes_)
                names->push_back(Narrow(k.prog_id));
            std::stable_sort(names->begin(), names->end(), [](const std::string& a, const std::string& b) {
                return std::lexicographical_compare(
                    a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                        auto fold = [](char c) {
                            return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
                        };
                        return fold(x) < fold(y);
                    });
            });
            return S_OK;
        });
    }
    bool KeyExists(const std::string& path) override {
        try {
            std::string key, sub;
            Split(path, &key, &sub);
            const KnownClass* k = Find(key);
            if (k == nullptr)
                return false;
            if (sub.empty())
                return true;
            if (SameKeyName(sub, "OPC"))
                return k->opc;
            if (SameKeyName(sub, "CLSID"))
                return !k->class_id_text.empty();
            return false;
        } catch (...) {
            return false;
        }
    }
    HRESULT ReadDefaultValue(const std::string& path, std::string* value) override {
        return Guarded([&] {
            if (!value)
                return E_POINTER;
            std::string key, sub;
            Split(path, &key, &sub);
            const KnownClass* k = Find(key);
            if (k == nullptr || !SameKeyName(sub, "CLSID") || k->class_id_text.empty())
                return code::kFileNotFound;
            *value = k->class_id_text;
            return S_OK;
        });
    }

private:
    static void Split(const std::string& path, std::string* key, std::string* sub) {
        size_t slash = path.find('\\');
        *key = path.substr(0, slash);
        *sub = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    }
    // The files are read again for each enumeration, so a changed registration shows at the next listing.
    void Refresh() { classes_ = KnownClasses(); }
    const KnownClass* Find(const std::string& prog_id) {
        if (!loaded_ || classes_.empty()) {
            Refresh();
            loaded_ = true;
        }
        for (const KnownClass& k : classes_)
            if (SameKeyName(Narrow(k.prog_id), prog_id))
                return &k;
        // Not among the cached entries: the files may have changed since.
        Refresh();
        for (const KnownClass& k : classes_)
            if (SameKeyName(Narrow(k.prog_id), prog_id))
                return &k;
        return nullptr;
    }

    std::vector<KnownClass> classes_;
    bool loaded_ = false;
};

} // namespace

std::shared_ptr<Registry> MakeRegistry() {
    return std::make_shared<SimRegistry>();
}

} // namespace tagclient::transport::sim
