// The test server's module state: the Host its simulated servers run on, the simulated transport, and the
// classes it serves (every server the simulation knows, found through its server list and its class
// registry), plus the registry entries that make them known to COM.
#pragma once
#include "com_ptr.hpp"
#include "window_host.hpp"

#include <transport/transport.hpp>

#include <memory>
#include <string>
#include <vector>

namespace opcsim {

// One simulated server class.
struct ServerClass {
    CLSID clsid;
    std::wstring prog_id;     // empty when the simulation names none
    std::wstring user_type;   // the description, may be empty
    bool prog_id_in_registry; // whether the class registry resolves prog_id
};

// A key of the class root that the registry pass lists: `name\OPC` exists and `name\CLSID` holds `clsid`
// (as stored, not necessarily a valid class ID).
struct OpcMarkerKey {
    std::wstring name;
    std::wstring clsid;
};

// How the server classes are served.
enum class Activation { InProcess, LocalServer };

class Module {
public:
    // The module of this DLL or program, created on first use on the calling thread.
    static Module& Get();

    WindowHost& Host() { return host_; }
    tagclient::transport::Transport& Transport() { return *transport_; }

    const std::vector<ServerClass>& Classes() const { return classes_; }
    const std::vector<OpcMarkerKey>& MarkerKeys() const { return markers_; }
    bool Serves(const CLSID& clsid) const;

    // A new instance of a served class (as IUnknown), or of the server-list component.
    HRESULT CreateInstance(const CLSID& clsid, tagclient::transport::com::ComPtr<IUnknown>* object);

    // The number of a stream format in the simulation, for the system's number of the same format name,
    // and back (the simulation numbers its formats itself). Other formats are passed unchanged.
    CLIPFORMAT ToSimFormat(CLIPFORMAT system);
    CLIPFORMAT ToSystemFormat(CLIPFORMAT sim);

    // Live server objects and server locks: a local server ends when both fall to zero.
    void AddRef();
    void Release();
    long Count() const;

private:
    Module();
    void Discover();

    WindowHost host_;
    std::unique_ptr<tagclient::transport::Transport> transport_;
    std::vector<ServerClass> classes_;
    std::vector<OpcMarkerKey> markers_;
    struct FormatPair {
        CLIPFORMAT system;
        CLIPFORMAT sim;
    };
    std::vector<FormatPair> formats_;
};

// Writes the registry entries of every served class (as in-process server at `module_path` or as local
// server program at `module_path`), their ProgIDs and the registry-pass keys; with InProcess also the
// server-list component. Returns S_OK or the first failing code.
HRESULT RegisterServers(const std::wstring& module_path, Activation activation);
// Removes what RegisterServers(InProcess) wrote.
HRESULT UnregisterServers();
// Removes only the local-server entries (the classes stay registered in-process if they were).
HRESULT UnregisterLocalServers();

} // namespace opcsim
