// The class object of every class the test server serves.
#ifndef TAGSINK_WINDOWS_SERVER_CLASS_FACTORY_H
#define TAGSINK_WINDOWS_SERVER_CLASS_FACTORY_H

#include "com_ptr.h"

namespace opcsim {

tagclient::transport::com::ComPtr<IClassFactory> MakeClassFactory(const CLSID& clsid);

} // namespace opcsim

#endif
