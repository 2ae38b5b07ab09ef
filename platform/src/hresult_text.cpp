// The system's text of an HRESULT. Windows asks the system message tables; elsewhere a table holds the
// same texts for the codes OLE services and OPC clients meet. Trailing line breaks are removed.
#include "platform/oleauto.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

#ifndef _WIN32
struct Entry {
    HRESULT code;
    const char* text;
};

constexpr Entry kTexts[] = {
    {static_cast<HRESULT>(0x00000000L), "The operation completed successfully."},
    {static_cast<HRESULT>(0x00000001L), "Incorrect function."},
    {static_cast<HRESULT>(0x80004001L), "Not implemented"},
    {static_cast<HRESULT>(0x80004002L), "No such interface supported"},
    {static_cast<HRESULT>(0x80004003L), "Invalid pointer"},
    {static_cast<HRESULT>(0x80004004L), "Operation aborted"},
    {static_cast<HRESULT>(0x80004005L), "Unspecified error"},
    {static_cast<HRESULT>(0x8000FFFFL), "Catastrophic failure"},
    {static_cast<HRESULT>(0x80000002L), "Ran out of memory"},
    {static_cast<HRESULT>(0x8000000AL),
     "The data necessary to complete this operation is not yet available."},
    {static_cast<HRESULT>(0x80070002L), "The system cannot find the file specified."},
    {static_cast<HRESULT>(0x80070005L), "Access is denied."},
    {static_cast<HRESULT>(0x80070006L), "The handle is invalid."},
    {static_cast<HRESULT>(0x8007000EL), "Not enough storage is available to complete this operation."},
    {static_cast<HRESULT>(0x80070057L), "The parameter is incorrect."},
    {static_cast<HRESULT>(0x8007007AL), "The data area passed to a system call is too small."},
    {static_cast<HRESULT>(0x800706BAL), "The RPC server is unavailable."},
    {static_cast<HRESULT>(0x800706BEL), "The remote procedure call failed."},
    {static_cast<HRESULT>(0x800706BFL), "The remote procedure call failed and did not execute."},
    {static_cast<HRESULT>(0x800706D9L), "There are no more endpoints available from the endpoint mapper."},
    {static_cast<HRESULT>(0x80040154L), "Class not registered"},
    {static_cast<HRESULT>(0x80040110L), "Class does not support aggregation (or class object is remote)"},
    {static_cast<HRESULT>(0x80040111L), "ClassFactory cannot supply requested class"},
    {static_cast<HRESULT>(0x800401E4L), "Invalid syntax"},
    {static_cast<HRESULT>(0x800401F0L), "CoInitialize has not been called."},
    {static_cast<HRESULT>(0x800401F3L), "Invalid class string"},
    {static_cast<HRESULT>(0x80080005L), "Server execution failed"},
    {static_cast<HRESULT>(0x80010001L), "Call was rejected by callee."},
    {static_cast<HRESULT>(0x80010105L), "The server threw an exception."},
    {static_cast<HRESULT>(0x80010108L), "The object invoked has disconnected from its clients."},
    {static_cast<HRESULT>(0x8001010EL),
     "The application called an interface that was marshalled for a different thread."},
    {static_cast<HRESULT>(0x80020003L), "Member not found."},
    {static_cast<HRESULT>(0x80020004L), "Parameter not found."},
    {static_cast<HRESULT>(0x80020005L), "Type mismatch."},
    {static_cast<HRESULT>(0x80020006L), "Unknown name."},
    {static_cast<HRESULT>(0x80020008L), "Bad variable type."},
    {static_cast<HRESULT>(0x80020009L), "Exception occurred."},
    {static_cast<HRESULT>(0x8002000AL), "Overflow."},
    {static_cast<HRESULT>(0x8002000BL), "Invalid index."},
    {static_cast<HRESULT>(0x8002000DL), "Memory is locked."},
    {static_cast<HRESULT>(0x8002000EL), "Invalid number of parameters."},
    {static_cast<HRESULT>(0x80020012L), "Division by zero."},
};
#endif

DWORD CopyOut(const char* text, std::size_t length, char* buffer, DWORD cch) {
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' '))
        --length;
    if (!buffer || cch == 0)
        return 0;
    if (length > cch - 1)
        length = cch - 1;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}

} // namespace

extern "C" DWORD QzFormatHResult(HRESULT hr, char* buffer, DWORD cch) {
    if (!buffer || cch == 0)
        return 0;
    buffer[0] = '\0';
#ifdef _WIN32
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(hr), 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (n == 0 || !text)
        return 0;
    const DWORD written = CopyOut(text, n, buffer, cch);
    LocalFree(text);
    return written;
#else
    for (const Entry& e : kTexts)
        if (e.code == hr)
            return CopyOut(e.text, std::strlen(e.text), buffer, cch);
    return 0;
#endif
}
