#include "odbc_handle.hpp"

#include "engine/db/db_failure.hpp"

#include <mutex>

namespace tagsink::db::detail {

OdbcHandle& OdbcHandle::operator=(OdbcHandle&& other) noexcept {
    if (this != &other) {
        Reset();
        type_ = other.type_;
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

void OdbcHandle::Reset() noexcept {
    if (handle_ != nullptr) {
        SQLFreeHandle(type_, handle_);
        handle_ = nullptr;
    }
}

std::vector<DiagRecord> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<DiagRecord> records;
    if (handle == nullptr)
        return records;
    for (SQLSMALLINT number = 1; number < 64; ++number) {
        SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        std::string message(1024, '\0');
        SQLRETURN rc =
            SQLGetDiagRec(type, handle, number, state, &native, reinterpret_cast<SQLCHAR*>(message.data()),
                          static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.assign(static_cast<size_t>(length) + 1, '\0');
            rc = SQLGetDiagRec(type, handle, number, state, &native,
                               reinterpret_cast<SQLCHAR*>(message.data()),
                               static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!Succeeded(rc))
            break;
        message.resize(std::min<size_t>(static_cast<size_t>(length), message.size()));
        while (!message.empty() &&
               (message.back() == '\n' || message.back() == '\r' || message.back() == '\0'))
            message.pop_back();
        records.push_back(
            {reinterpret_cast<const char*>(state), static_cast<long>(native), std::move(message)});
    }
    return records;
}

std::shared_ptr<OdbcHandle> SharedEnvironment() {
    static std::mutex mutex;
    static std::weak_ptr<OdbcHandle> current;
    std::lock_guard lock(mutex);
    if (auto env = current.lock())
        return env;
    SQLHANDLE raw = nullptr;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw)))
        throw DbFailure(DbFailureKind::ConnectionFailure, "The ODBC driver manager could not be initialised");
    auto env = std::make_shared<OdbcHandle>(SQL_HANDLE_ENV, raw);
    SQLRETURN rc = SQLSetEnvAttr(raw, SQL_ATTR_ODBC_VERSION,
                                 reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_OV_ODBC3)), 0);
    if (!Succeeded(rc))
        throw DbFailure(DbFailureKind::ConnectionFailure, "The ODBC driver manager refused ODBC version 3");
    current = env;
    return env;
}

} // namespace tagsink::db::detail
