// RAII ownership of ODBC handles and reading of their diagnostic records.
#pragma once

#ifdef _WIN32
#include "platform/oleauto.h" // windows.h, whose types sql.h needs
#endif

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tagsink::db::detail {

/// One ODBC handle of any type, freed with SQLFreeHandle when the owner goes.
class OdbcHandle {
public:
    OdbcHandle() = default;
    OdbcHandle(SQLSMALLINT type, SQLHANDLE handle) : type_(type), handle_(handle) {}
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;
    OdbcHandle(OdbcHandle&& other) noexcept : type_(other.type_), handle_(other.handle_) {
        other.handle_ = nullptr;
    }
    OdbcHandle& operator=(OdbcHandle&& other) noexcept;
    ~OdbcHandle() { Reset(); }

    SQLHANDLE get() const { return handle_; }
    SQLSMALLINT type() const { return type_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Reset() noexcept;

private:
    SQLSMALLINT type_ = 0;
    SQLHANDLE handle_ = nullptr;
};

struct DiagRecord {
    std::string sql_state;
    long native_code = 0;
    std::string message;
};

/// The process-wide ODBC environment (ODBC 3 behaviour), created on first use and freed after its last
/// user; every connection keeps a reference so that the environment outlives it.
std::shared_ptr<OdbcHandle> SharedEnvironment();

inline bool Succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

} // namespace tagsink::db::detail
