// Shared routines of the toolkit core: failures and their reports, text conversions between the client's
// 8-bit strings and the servers' UTF-16, the output-string rule, and owners of task memory and VARIANTs.
#pragma once
#include <platform/oleauto.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace tagclient {

// A failing HRESULT of a server call. Its message is the platform's text for the code, or
// "OLE error XXXXXXXX" when the platform has none.
class OleError : public std::runtime_error {
public:
    explicit OleError(HRESULT hr);
    HRESULT code() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

// A server object that lacks an interface the operation needs.
class InterfaceNotSupported : public std::runtime_error {
public:
    InterfaceNotSupported() : std::runtime_error("Interface not supported") {}
};

// Throws OleError when hr is a failure code; returns hr otherwise (S_FALSE is a success).
inline HRESULT Check(HRESULT hr) {
    if (FAILED(hr))
        throw OleError(hr);
    return hr;
}

// The message of an HRESULT as a report carries it. A code that means the server or the way to it is gone
// (IsDisconnection) carries its number as well: "OLE error 800706BA: The RPC server is unavailable."
std::string HResultMessage(HRESULT hr);

// Whether a failed call's code means that the server process, its objects or the way to them are gone:
// RPC_S_SERVER_UNAVAILABLE, RPC_S_CALL_FAILED(_DNE), RPC_E_DISCONNECTED, RPC_E_SERVER_DIED(_DNE),
// CO_E_OBJNOTCONNECTED, RPC_E_CONNECTION_TERMINATED, CO_E_SERVER_STOPPING.
bool IsDisconnection(HRESULT hr) noexcept;

// The failure report: converts source and message to BSTRs and hands them to the log procedure, which owns
// them. Does nothing without a log procedure; never throws.
void LogError(const std::string& source, const std::string& message) noexcept;

// Reports the exception being handled (call only inside a catch block) under `source`.
void ReportCurrentException(const char* source) noexcept;

// The catch-all region: runs body and returns its result; any failure is reported under `source` and
// gives `failValue`.
template <class R, class F> R Guarded(const char* source, R failValue, F&& body) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        ReportCurrentException(source);
        return failValue;
    }
}

// 8-bit text in the system ANSI code page to UTF-16, and back. Text that the code page cannot carry
// exactly is a failure (std::runtime_error), never silently altered. A null pointer is the empty string.
std::u16string AnsiToWide(const char* text);
std::string WideToAnsi(const OLECHAR* text);
std::string WideToAnsi(const std::u16string& text);

// The output-string rule: copies at most maxLength bytes of text into buffer and writes a NUL after them
// (the buffer holds maxLength + 1 bytes). A negative limit counts as 0; a null buffer receives nothing.
void CopyOutputString(const std::string& text, char* buffer, std::int32_t maxLength) noexcept;

// Case-insensitive comparison over the letters A to Z only.
bool SameTextAscii(const std::string& a, const std::string& b) noexcept;

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

// Owns one VARIANT (VariantClear on destruction).
class VariantHolder {
public:
    VariantHolder() { VariantInit(&v_); }
    ~VariantHolder() { VariantClear(&v_); }
    VariantHolder(const VariantHolder&) = delete;
    VariantHolder& operator=(const VariantHolder&) = delete;
    VariantHolder(VariantHolder&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
    VariantHolder& operator=(VariantHolder&& other) noexcept {
        if (this != &other) {
            VariantClear(&v_);
            v_ = other.v_;
            VariantInit(&other.v_);
        }
        return *this;
    }
    VARIANT& get() { return v_; }
    const VARIANT& get() const { return v_; }
    VARIANT* ptr() { return &v_; }
    // Gives up ownership.
    VARIANT release() {
        VARIANT r = v_;
        VariantInit(&v_);
        return r;
    }

private:
    VARIANT v_;
};

// Owns one BSTR.
class BstrHolder {
public:
    BstrHolder() = default;
    explicit BstrHolder(BSTR owned) : b_(owned) {}
    ~BstrHolder() { SysFreeString(b_); }
    BstrHolder(const BstrHolder&) = delete;
    BstrHolder& operator=(const BstrHolder&) = delete;
    BSTR get() const { return b_; }
    BSTR release() { return std::exchange(b_, nullptr); }

private:
    BSTR b_ = nullptr;
};

} // namespace tagclient
