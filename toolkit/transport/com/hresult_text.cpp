#include "hresult_text.h"

#include <cstdio>

namespace tagclient::transport::com {

std::wstring SystemMessage(HRESULT hr) {
    wchar_t* text = nullptr;
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD n = FormatMessageW(flags, nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0,
                             nullptr);
    std::wstring message;
    if (n != 0 && text)
        message.assign(text, n);
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message;
}

const wchar_t* DcomHint(HRESULT hr) {
    switch (static_cast<unsigned long>(hr)) {
    case 0x80070005UL: // E_ACCESSDENIED
        return L"Check the DCOM launch and access permissions of the server for this account (dcomcnfg), "
               L"that the account is known on both computers, and the server's DCOM authentication level.";
    case 0x800706BAUL: // RPC_S_SERVER_UNAVAILABLE
        return L"Check the host name, that the computer is reachable, and that its firewall lets DCOM "
               L"through (TCP port 135 and the dynamic RPC ports).";
    case 0x80040154UL: // REGDB_E_CLASSNOTREG
        return L"Check that the OPC server is installed and registered on that computer, and that the OPC "
               L"proxy/stub DLLs are registered there and here.";
    case 0x80080005UL: // CO_E_SERVER_EXEC_FAILURE
        return L"Check that the OPC server program starts, and the identity it is launched as (dcomcnfg).";
    case 0x80070721UL: // RPC_S_SEC_PKG_ERROR
    case 0x800706D3UL: // RPC_S_UNKNOWN_AUTHN_SERVICE
    case 0x80070542UL: // ERROR_BAD_IMPERSONATION_LEVEL
    case 0x8001011BUL: // RPC_E_ACCESS_DENIED
        return L"Check the DCOM authentication settings: hardened servers refuse activation below packet "
               L"integrity; raise the default authentication level (dcomcnfg) or update the server.";
    default:
        return L"";
    }
}

std::wstring HResultText(HRESULT hr) {
    std::wstring text = SystemMessage(hr);
    if (text.empty()) {
        wchar_t code[32];
        std::swprintf(code, sizeof code / sizeof code[0], L"OLE error %08lX", static_cast<unsigned long>(hr));
        text = code;
    }
    const wchar_t* hint = DcomHint(hr);
    if (*hint) {
        text += L" ";
        text += hint;
    }
    return text;
}

} // namespace tagclient::transport::com
