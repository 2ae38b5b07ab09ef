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
