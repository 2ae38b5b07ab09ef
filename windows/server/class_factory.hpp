// The class object of every class the test server serves.
#pragma once
#include "com_ptr.hpp"

namespace opcsim {

tagclient::transport::com::ComPtr<IClassFactory> MakeClassFactory(const CLSID& clsid);

} // namespace opcsim
