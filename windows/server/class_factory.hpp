// The class object of every class the test server serves.
#pragma once
#include "com_ptr.hpp"

#include <functional>

namespace opcsim {

// on_activation, when given, runs before every instance the factory creates.
tagclient::transport::com::ComPtr<IClassFactory> MakeClassFactory(const CLSID& clsid,
                                                                  std::function<void()> on_activation = {});

} // namespace opcsim
