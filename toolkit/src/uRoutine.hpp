// Shared routines of the toolkit core: failures and their reports, text conversions between the client's
// 8-bit strings and the servers' UTF-16, the output-string rule, and the owner of task memory (VARIANTs and
// BSTRs are owned by the platform's qz::Variant and qz::Bstr).
#pragma once
#include <platform/bstr.hpp>
#include <platform/oleauto.h>
#include <platform/variant.hpp>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tagclient {

// A server object that lacks an interface the operation needs.
class InterfaceNotSupported : public std::runtime_error {
public:
    InterfaceNotSupported() : std::runtime_error("Interface not supported") {}
};

// The message of an HRESULT as a report carries it: the platform's text for the code (qz::HResultText). A
// code that means the server or the way to it is gone (IsDisconnection) carries its number as well: "OLE
// error 800706BA: The RPC server is unavailable."
std::string HResultMessage(HRESULT hr);

// Whether a failed call's code means that the server process, its objects or the way to them are gone:
// RPC_S_SERVER_UNAVAILABLE, RPC_S_CALL_FAILED(_DNE), RPC_E_DISCONNECTED, RPC_E_SERVER_DIED(_DNE),
// CO_E_OBJNOTCONNECTED, RPC_E_CONNECTION_TERMINATED, CO_E_SERVER_STOPPING.
bool IsDisconnection(HRESULT hr) noexcept;

// A failing HRESULT of a server call, as the platform's error worded for a report (HResultMessage).
[[noreturn]] void ThrowFailure(HRESULT hr);

// Throws qz::VariantError (with HResultMessage) when hr is a failure code; returns hr otherwise (S_FALSE is
// a success).
inline HRESULT Check(HRESULT hr) {
    if (FAILED(hr))
        ThrowFailure(hr);
    return hr;
}

// The failure report: converts source and message to BSTRs and hands them to the log procedure, which owns
// them. Does nothing without a log procedure; never throws.
void LogError(const std::string& source, const std::string& message) noexcept;

// Reports the exception being handled (call only inside a catch block) under `source`.
void ReportCurrentException(const char* source) noexcept;

// The catch-all region: runs body and returns its result; any failure is reported under `source` and
// gives `fail_value`.
template <class R, class F> R Guarded(const char* source, R fail_value, F&& body) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        ReportCurrentException(source);
        return fail_value;
    }
}

// 8-bit text in the system ANSI code page to UTF-16, and back. Text that the code page cannot carry
// exactly is a failure (std::runtime_error), never silently altered. A null pointer is the empty string.
std::u16string AnsiToWide(const char* text);
std::string WideToAnsi(const OLECHAR* text);
std::string WideToAnsi(const std::u16string& text);

// The output-string rule: copies at most max_length bytes of text into buffer and writes a NUL after them
// (the buffer holds max_length + 1 bytes). A negative limit counts as 0; a null buffer receives nothing.
void CopyOutputString(const std::string& text, char* buffer, std::int32_t max_length) noexcept;

// Owns a task-allocated block (CoTaskMemFree on destruction).
template <class T> class TaskMem {
public:
    TaskMem() = default;
    ~TaskMem() { CoTaskMemFree(p_); }
    TaskMem(const TaskMem&) = delete;
    TaskMem& operator=(const TaskMem&) = delete;
    T** out() {
        CoTaskMemFree(p_);
        p_ = nullptr;
        return &p_;
    }
    T* get() const { return p_; }
    T& operator[](std::size_t i) const { return p_[i]; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

} // namespace tagclient
