// The COM objects that servers call back: IOPCShutdown, IOPCDataCallback and IAdviseSink. Each wraps a sink
// of the core. A call from the server is copied (strings, VARIANTs, the data block) and posted to the core
// through Host::Post, so that the core runs it on the client thread when it dispatches its events, never
// inside one of its own calls into the transport. The server always gets S_OK.
#pragma once
#include "com_ptr.hpp"

#include <transport/transport.hpp>

#include <memory>

namespace tagclient::transport::com {

// The COM object for a sink of the core that is to be advised on a connection point for `riid`
// (IID_IOPCShutdown or IID_IOPCDataCallback), as IUnknown; empty when the sink does not implement that
// interface.
ComPtr<IUnknown> MakeConnectionSink(Host& host, const IID& riid, const std::shared_ptr<Sink>& sink);

// The IAdviseSink object for a data-object subscription.
ComPtr<IAdviseSink> MakeAdviseSink(Host& host, const std::shared_ptr<AdviseSink>& sink);

} // namespace tagclient::transport::com
