// The subscribers' COM sinks seen as the transport's sinks, so that a simulated server can call them: the
// shutdown sink, the data callback and the advise sink of a client. Calls are forwarded as they are; the
// data block of an advise-sink notification is copied into a global memory block for the call.
#pragma once
#include "com_ptr.hpp"
#include "opc_da.h"

#include <transport/transport.hpp>

#include <memory>

namespace opcsim {

using tagclient::transport::com::ComPtr;

// The transport sink for a client's sink object advised on a connection point for riid; null when the
// object does not implement riid.
std::shared_ptr<tagclient::transport::Sink> AdaptConnectionSink(const IID& riid, IUnknown* sink);

std::shared_ptr<tagclient::transport::AdviseSink> AdaptAdviseSink(IAdviseSink* sink);

} // namespace opcsim
