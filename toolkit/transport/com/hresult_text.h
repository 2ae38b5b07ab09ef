// The text of an HRESULT for failure reports: the system's message for the code, and for the failures that
// operators meet when DCOM is not set up (access, reachability, registration, authentication) one short
// hint about what to check.
#ifndef TAGCLIENT_TRANSPORT_COM_HRESULT_TEXT_H
#define TAGCLIENT_TRANSPORT_COM_HRESULT_TEXT_H

#include <windows.h>

#include <string>

namespace tagclient::transport::com {

// The system's message for hr (UTF-16, without the trailing line break), or empty when it has none.
std::wstring SystemMessage(HRESULT hr);

// One sentence about what to check for the common DCOM failures; empty for every other code.
const wchar_t* DcomHint(HRESULT hr);

// The report text: the system's message (or "OLE error XXXXXXXX" when there is none), followed by the
// hint when there is one. UTF-16.
std::wstring HResultText(HRESULT hr);

} // namespace tagclient::transport::com

#endif
