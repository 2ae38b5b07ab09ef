// The default transport on this platform: the simulated servers, their server-list component and the
// registration-file registry, presented through the toolkit's transport interfaces. The pieces live beside
// this file, one each: the server object (sim_server_object), the group object (sim_group_object), the
// server list (sim_server_list), the registry (sim_registry), the classes they know (sim_known_classes),
// an instance's life (sim_instance_life), the sink adapters, enumerators and task memory; the servers'
// behaviour lives in sim_server / sim_group.
#include "sim_codes.hpp"
#include "sim_control.hpp"
#include "sim_format_table.hpp"
#include "sim_guarded.hpp"
#include "sim_instance_life.hpp"
#include "sim_known_classes.hpp"
#include "sim_registration.hpp"
#include "sim_registry.hpp"
#include "sim_server.hpp"
#include "sim_server_list.hpp"
#include "sim_server_object.hpp"
#include "sim_task_memory.hpp"
#include "sim_time.hpp"

#include <transport/transport.hpp>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace tagclient::transport {

namespace sim {
namespace {

std::string HostName() {
#ifdef _WIN32
    char name[256] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
#else
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
#endif
}

class SimTransport final : public Transport {
public:
    explicit SimTransport(Host& host)
        : scheduler_(std::shared_ptr<Host>(std::shared_ptr<Host>(), &host)),
          formats_(std::make_shared<FormatTable>()) {}

    HRESULT CreateServerList(const OLECHAR* host, std::shared_ptr<OPCServerList>* ppList) override {
        return Guarded([&] {
            if (!ppList)
                return E_POINTER;
            ppList->reset();
            if (!Reachable(host))
                return code::kServerUnavailable;
            *ppList = MakeServerList();
            return S_OK;
        });
    }
    HRESULT CreateServerObject(const CLSID& clsid, const OLECHAR* host,
                               std::shared_ptr<ServerObject>* ppObject) override {
        return Guarded([&] {
            if (!ppObject)
                return E_POINTER;
            ppObject->reset();
            if (!Reachable(host) || ReadControl().state == ControlState::Down)
                return code::kServerUnavailable;
            for (const KnownClass& k : KnownClasses()) {
                if (!k.parsed || !SameClsid(k.clsid, clsid))
                    continue;
                if (k.implementation == nullptr)
                    return REGDB_E_CLASSNOTREG;
                ServerProfile profile = *k.implementation;
                profile.prog_id = k.prog_id;
                profile.clsid = k.clsid;
                if (!k.user_type.empty())
                    profile.user_type = k.user_type;
                FILETIME now;
                GetSystemTimeAsFileTime(&now);
                auto scheduler = std::make_shared<InstanceScheduler>(scheduler_);
                auto life = std::make_shared<InstanceLife>(scheduler);
                auto server = SimServer::Create(std::move(profile), scheduler, FromFileTime(now));
                life->Watch(server);
                *ppObject = MakeServerObject(std::move(server), formats_, std::move(life));
                return S_OK;
            }
            return REGDB_E_CLASSNOTREG;
        });
    }
    std::shared_ptr<Registry> LocalRegistry() override { return MakeRegistry(); }
    CLIPFORMAT RegisterClipboardFormat(const char16_t* name) override { return formats_->Register(name); }
    std::string ComputerName() override { return HostName(); }

private:
    // This computer, under its own name or a loopback name, is reachable; every other host is not.
    static bool Reachable(const OLECHAR* host) {
        const std::string name = Narrow(FromOle(host));
        if (name.empty())
            return true;
        static const char* const kLoopback[] = {"localhost", "127.0.0.1", "::1"};
        for (const char* l : kLoopback)
            if (SameKeyName(name, l))
                return true;
        return SameKeyName(name, HostName());
    }

    std::shared_ptr<Host> scheduler_; // the core's Host, not owned: it outlives the transport
    std::shared_ptr<FormatTable> formats_;
};

} // namespace
} // namespace sim

std::unique_ptr<Transport> CreateDefaultTransport(Host& host) {
    return std::make_unique<sim::SimTransport>(host);
}

} // namespace tagclient::transport
