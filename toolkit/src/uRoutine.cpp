#include "uRoutine.hpp"

#include "library.hpp"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

namespace tagclient {

#ifdef _WIN32
namespace {
// One sentence about what to check, for the failures operators meet when DCOM is not set up; null for
// every other code.
const char* DcomHint(HRESULT hr) {
    switch (static_cast<unsigned long>(hr)) {
    case 0x80070005UL: // E_ACCESSDENIED
        return "Check the DCOM launch, activation and access permissions of the server for this account "
               "(dcomcnfg), that the account is known on both computers, and the authentication level.";
    case 0x800706BAUL: // RPC_S_SERVER_UNAVAILABLE
        return "Check the host name, that the computer is reachable, and that its firewall lets DCOM through "
               "(TCP port 135 and the server's program).";
    case 0x80040154UL: // REGDB_E_CLASSNOTREG
        return "Check that the OPC server and the OPC proxy/stub DLLs are installed and registered on that "
               "computer and this one.";
    case 0x80080005UL: // CO_E_SERVER_EXEC_FAILURE
        return "Check that the OPC server program starts, and the identity it is launched as (dcomcnfg).";
    case 0x80070721UL: // RPC_S_SEC_PKG_ERROR
    case 0x800706D3UL: // RPC_S_UNKNOWN_AUTHN_SERVICE
    case 0x80070542UL: // ERROR_BAD_IMPERSONATION_LEVEL
    case 0x8001011BUL: // RPC_E_ACCESS_DENIED
        return "Check the DCOM authentication settings: hardened servers refuse activation below packet "
               "integrity; update both computers or raise the default authentication level (dcomcnfg).";
    default:
        return nullptr;
    }
}
} // namespace
#endif

bool IsDisconnection(HRESULT hr) noexcept {
    switch (static_cast<std::uint32_t>(hr)) {
    case 0x800706BAU: // RPC_S_SERVER_UNAVAILABLE
    case 0x800706BEU: // RPC_S_CALL_FAILED
    case 0x800706BFU: // RPC_S_CALL_FAILED_DNE
    case 0x80010108U: // RPC_E_DISCONNECTED
    case 0x80010007U: // RPC_E_SERVER_DIED
    case 0x80010012U: // RPC_E_SERVER_DIED_DNE
    case 0x80010006U: // RPC_E_CONNECTION_TERMINATED
    case 0x800401FDU: // CO_E_OBJNOTCONNECTED
    case 0x80004028U: // CO_E_SERVER_STOPPING
        return true;
    default:
        return false;
    }
}

std::string HResultMessage(HRESULT hr) {
    std::string message = qz::HResultText(hr);
    char code[32];
    std::snprintf(code, sizeof code, "OLE error %.8X", static_cast<unsigned>(hr));
    // A code without text is already shown by its number.
    if (IsDisconnection(hr) && message != code)
        message = std::string(code) + ": " + message;
#ifdef _WIN32
    if (const char* hint = DcomHint(hr))
        message = message + " " + hint;
#endif
    return message;
}

void ThrowFailure(HRESULT hr) {
    throw qz::VariantError(hr, HResultMessage(hr));
}

void LogError(const std::string& source, const std::string& message) noexcept {
    try {
        std::u16string wide_message = AnsiToWide(message.c_str());
        std::u16string wide_source = AnsiToWide(source.c_str());
        TLogProc proc = Library::Get().log_proc.load();
        if (!proc)
            return;
        BSTR m = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide_message.data()),
                                   static_cast<UINT>(wide_message.size()));
        BSTR s = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide_source.data()),
                                   static_cast<UINT>(wide_source.size()));
        if (!m || !s) {
            SysFreeString(m);
            SysFreeString(s);
            return;
        }
        proc(s, m); // the procedure owns both strings now
    } catch (...) {
        // a failing report (or log procedure) is swallowed
    }
}

void ReportCurrentException(const char* source) noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        LogError(source, "Out of memory");
    } catch (const std::exception& e) {
        LogError(source, e.what());
    } catch (...) {
        LogError(source, "Unexpected failure");
    }
}

std::u16string AnsiToWide(const char* text) {
    if (!text || !*text)
        return {};
    const int bytes = static_cast<int>(std::strlen(text));
    int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, bytes, nullptr, 0);
    if (n <= 0)
        throw std::runtime_error(
            "No mapping for the Unicode character exists in the target multi-byte code page");
    std::u16string wide(static_cast<std::size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, bytes, reinterpret_cast<WCHAR*>(wide.data()), n);
    return wide;
}

static std::string WideToAnsiN(const OLECHAR* text, int length) {
    if (!text || length <= 0)
        return {};
    int n = WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, reinterpret_cast<const WCHAR*>(text), length,
                                nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        throw std::runtime_error(
            "No mapping for the Unicode character exists in the target multi-byte code page");
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, reinterpret_cast<const WCHAR*>(text), length,
                        out.data(), n, nullptr, nullptr);
    return out;
}

std::string WideToAnsi(const OLECHAR* text) {
    if (!text)
        return {};
    int length = 0;
    while (text[length])
        ++length;
    return WideToAnsiN(text, length);
}

std::string WideToAnsi(const std::u16string& text) {
    return WideToAnsiN(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<int>(text.size()));
}

void CopyOutputString(const std::string& text, char* buffer, std::int32_t max_length) noexcept {
    if (!buffer)
        return;
    std::size_t n =
        max_length <= 0 ? 0 : std::min<std::size_t>(text.size(), static_cast<std::size_t>(max_length));
    if (n)
        std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

} // namespace tagclient
