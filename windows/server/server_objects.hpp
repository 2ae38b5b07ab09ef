// The COM objects of the test server: each one is the published COM face of an object of a simulated
// server (a transport object): the server object, its groups, their connection points and data objects,
// the string and GUID enumerators, and the server-list component. Interfaces the simulated object does not
// offer are not offered by its COM object either; methods the transport has no counterpart for answer
// E_NOTIMPL.
#pragma once
#include "com_ptr.hpp"
#include "opc_da.h"

#include <transport/transport.hpp>

#include <memory>

namespace opcsim {

using tagclient::transport::com::ComPtr;

// The COM server object for a simulated server object (as IUnknown); empty when it is no OPC server.
ComPtr<IUnknown> MakeServerCom(std::shared_ptr<tagclient::transport::ServerObject> server);

// The COM server-list component over a simulated one.
ComPtr<IUnknown> MakeServerListCom(std::shared_ptr<tagclient::transport::OPCServerList> list);

} // namespace opcsim
