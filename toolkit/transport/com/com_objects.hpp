// The transport's objects over COM: each holds one COM interface of a server, a group or an enumerator and
// maps the transport's calls onto it. Structures and arrays that have the same layout on both sides (the
// OPC structures) are passed through unchanged; task memory that the server returns goes to the caller
// as it is.
#pragma once
#include "com_ptr.hpp"

#include <transport/transport.hpp>

#include <memory>

namespace tagclient::transport::com {

// The server object (its IUnknown) as CoCreateInstance(Ex) returned it.
std::shared_ptr<ServerObject> WrapServerObject(Host& host, ComPtr<IUnknown> object);

// The OPC server-list component.
std::shared_ptr<OPCServerList> WrapServerList(ComPtr<IUnknown> list);

} // namespace tagclient::transport::com
