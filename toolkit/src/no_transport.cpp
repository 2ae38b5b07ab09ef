// The transport of a build without a backend: it knows no servers, so every connect fails cleanly.
#include <transport/transport.hpp>

#include <mutex>
#include <unistd.h>

namespace tagclient::transport {

namespace {
class NoTransport final : public Transport {
public:
    HRESULT CreateServerList(const OLECHAR*, std::shared_ptr<OPCServerList>* ppList) override {
        ppList->reset();
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT CreateServerObject(const CLSID&, const OLECHAR*,
                               std::shared_ptr<ServerObject>* ppObject) override {
        ppObject->reset();
        return REGDB_E_CLASSNOTREG;
    }
    std::shared_ptr<Registry> LocalRegistry() override { return nullptr; }
    CLIPFORMAT RegisterClipboardFormat(const char16_t* name) override {
        std::lock_guard lock(mutex_);
        std::u16string n(name);
        for (std::size_t i = 0; i < names_.size(); ++i)
            if (names_[i] == n)
                return static_cast<CLIPFORMAT>(0xC000 + i);
        names_.push_back(n);
        return static_cast<CLIPFORMAT>(0xC000 + names_.size() - 1);
    }
    std::string ComputerName() override {
        char name[128] = {};
        return gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
    }

private:
    std::mutex mutex_;
    std::vector<std::u16string> names_;
};
} // namespace

std::unique_ptr<Transport> CreateDefaultTransport(Host&) {
    return std::make_unique<NoTransport>();
}

} // namespace tagclient::transport
