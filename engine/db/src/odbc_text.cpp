#include "odbc_text.hpp"

#include "platform/ascii.hpp"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace tagsink::db {

OdbcTextCalls ChooseOdbcTextCalls(bool windows, bool wine, std::string_view override_text) {
    if (qz::EqualsNoCase(override_text, "narrow"))
        return OdbcTextCalls::Narrow;
    if (qz::EqualsNoCase(override_text, "wide"))
        return OdbcTextCalls::Wide;
    return windows && !wine ? OdbcTextCalls::Wide : OdbcTextCalls::Narrow;
}

OdbcTextCalls PlatformOdbcTextCalls() {
    static const OdbcTextCalls kCalls = [] {
        const char* override_text = std::getenv("TAGSINK_ODBC_TEXT");
#ifdef _WIN32
        // Wine's ntdll exports its version; Windows' does not.
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        const bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
        return ChooseOdbcTextCalls(true, wine, override_text ? override_text : "");
#else
        return ChooseOdbcTextCalls(false, false, override_text ? override_text : "");
#endif
    }();
    return kCalls;
}

} // namespace tagsink::db

namespace tagsink::db::detail {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide ODBC calls take UTF-16 units");

namespace {

bool IsWide(OdbcTextCalls calls) {
    return calls == OdbcTextCalls::Wide;
}

// Text in the form the chosen entry points take, NUL-terminated: UTF-8 bytes or UTF-16 units.
class CallText {
public:
    CallText(OdbcTextCalls calls, std::string_view utf8) {
        if (IsWide(calls))
            wide_ = WideText(utf8);
        else
            narrow_.assign(utf8);
    }
    SQLCHAR* Narrow() { return reinterpret_cast<SQLCHAR*>(narrow_.data()); }
    SQLWCHAR* Wide() { return reinterpret_cast<SQLWCHAR*>(wide_.data()); }
    // The length in the units of the chosen entry points.
    size_t Units() const { return narrow_.empty() ? wide_.size() : narrow_.size(); }

private:
    std::string narrow_;
    std::u16string wide_;
};

std::string FromWide(const SQLWCHAR* text, size_t units) {
    return Utf8Text(std::u16string_view(reinterpret_cast<const char16_t*>(text), units));
}

} // namespace

size_t ChunkUnits(SQLLEN indicator, size_t buffer_units, size_t unit_size) {
    if (buffer_units == 0)
        return 0;
    if (indicator == SQL_NO_TOTAL || indicator < 0)
        return buffer_units - 1;
    const size_t units = static_cast<size_t>(indicator) / unit_size;
    return std::min(units, buffer_units - 1);
}

std::string TrimmedMessage(std::string message) {
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '\0'))
        message.pop_back();
    return message;
}

SQLRETURN DriverConnect(OdbcTextCalls calls, SQLHDBC dbc, std::string_view connection_string) {
    CallText text(calls, connection_string);
    if (text.Units() > static_cast<size_t>(std::numeric_limits<SQLSMALLINT>::max()))
        return SQL_ERROR;
    const auto length = static_cast<SQLSMALLINT>(text.Units());
    if (IsWide(calls))
        return SQLDriverConnectW(dbc, nullptr, text.Wide(), length, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    return SQLDriverConnect(dbc, nullptr, text.Narrow(), length, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
}

SQLRETURN ExecDirect(OdbcTextCalls calls, SQLHSTMT stmt, std::string_view statement) {
    CallText text(calls, statement);
    if (text.Units() > static_cast<size_t>(std::numeric_limits<SQLINTEGER>::max()))
        return SQL_ERROR;
    const auto length = static_cast<SQLINTEGER>(text.Units());
    if (IsWide(calls))
        return SQLExecDirectW(stmt, text.Wide(), length);
    return SQLExecDirect(stmt, text.Narrow(), length);
}

SQLRETURN Tables(OdbcTextCalls calls, SQLHSTMT stmt, std::string_view name, std::string_view types) {
    CallText name_text(calls, name);
    CallText types_text(calls, types);
    if (IsWide(calls))
        return SQLTablesW(stmt, nullptr, 0, nullptr, 0, name_text.Wide(), SQL_NTS, types_text.Wide(),
                          SQL_NTS);
    return SQLTables(stmt, nullptr, 0, nullptr, 0, name_text.Narrow(), SQL_NTS, types_text.Narrow(), SQL_NTS);
}

SQLRETURN Procedures(OdbcTextCalls calls, SQLHSTMT stmt, std::string_view name) {
    CallText name_text(calls, name);
    if (IsWide(calls))
        return SQLProceduresW(stmt, nullptr, 0, nullptr, 0, name_text.Wide(), SQL_NTS);
    return SQLProcedures(stmt, nullptr, 0, nullptr, 0, name_text.Narrow(), SQL_NTS);
}

SQLRETURN Columns(OdbcTextCalls calls, SQLHSTMT stmt, std::string_view schema, std::string_view table,
                  std::string_view column) {
    CallText schema_text(calls, schema);
    CallText table_text(calls, table);
    CallText column_text(calls, column);
    const SQLSMALLINT schema_length = schema.empty() ? 0 : SQL_NTS;
    if (IsWide(calls))
        return SQLColumnsW(stmt, nullptr, 0, schema.empty() ? nullptr : schema_text.Wide(), schema_length,
                           table_text.Wide(), SQL_NTS, column_text.Wide(), SQL_NTS);
    return SQLColumns(stmt, nullptr, 0, schema.empty() ? nullptr : schema_text.Narrow(), schema_length,
                      table_text.Narrow(), SQL_NTS, column_text.Narrow(), SQL_NTS);
}

SQLRETURN ProcedureColumns(OdbcTextCalls calls, SQLHSTMT stmt, std::string_view schema,
                           std::string_view name) {
    CallText schema_text(calls, schema);
    CallText name_text(calls, name);
    const SQLSMALLINT schema_length = schema.empty() ? 0 : SQL_NTS;
    if (IsWide(calls))
        return SQLProcedureColumnsW(stmt, nullptr, 0, schema.empty() ? nullptr : schema_text.Wide(),
                                    schema_length, name_text.Wide(), SQL_NTS, nullptr, 0);
    return SQLProcedureColumns(stmt, nullptr, 0, schema.empty() ? nullptr : schema_text.Narrow(),
                               schema_length, name_text.Narrow(), SQL_NTS, nullptr, 0);
}

bool ReadColumnText(OdbcTextCalls calls, SQLHSTMT stmt, SQLUSMALLINT column, std::string& value) {
    // Wide values are joined before they are converted: a chunk may end inside a surrogate pair.
    std::string narrow;
    std::u16string wide;
    constexpr size_t kUnits = 512;
    SQLWCHAR wide_buffer[kUnits];
    char narrow_buffer[kUnits];
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc =
            IsWide(calls)
                ? SQLGetData(stmt, column, SQL_C_WCHAR, wide_buffer, sizeof wide_buffer, &indicator)
                : SQLGetData(stmt, column, SQL_C_CHAR, narrow_buffer, sizeof narrow_buffer, &indicator);
        if (rc == SQL_NO_DATA || indicator == SQL_NULL_DATA)
            break;
        if (!Succeeded(rc))
            return false;
        if (IsWide(calls))
            wide.append(reinterpret_cast<const char16_t*>(wide_buffer),
                        ChunkUnits(indicator, kUnits, sizeof(SQLWCHAR)));
        else
            narrow.append(narrow_buffer, ChunkUnits(indicator, kUnits, 1));
        if (rc == SQL_SUCCESS)
            break;
    }
    value = IsWide(calls) ? Utf8Text(wide) : std::move(narrow);
    return true;
}

std::string ColumnText(OdbcTextCalls calls, SQLHSTMT stmt, SQLUSMALLINT column) {
    std::string value;
    if (!ReadColumnText(calls, stmt, column, value))
        value.clear();
    return value;
}

std::optional<std::string> InfoText(OdbcTextCalls calls, SQLHDBC dbc, SQLUSMALLINT info) {
    constexpr size_t kUnits = 256;
    SQLSMALLINT length = 0; // in bytes, for both forms
    if (IsWide(calls)) {
        SQLWCHAR buffer[kUnits] = {};
        if (!Succeeded(SQLGetInfoW(dbc, info, buffer, sizeof buffer, &length)))
            return std::nullopt;
        return FromWide(buffer, ChunkUnits(length, kUnits, sizeof(SQLWCHAR)));
    }
    char buffer[kUnits] = {};
    if (!Succeeded(SQLGetInfo(dbc, info, buffer, sizeof buffer, &length)))
        return std::nullopt;
    return std::string(buffer, ChunkUnits(length, kUnits, 1));
}

std::vector<DiagRecord> ReadDiagnostics(OdbcTextCalls calls, SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<DiagRecord> records;
    if (handle == nullptr)
        return records;
    for (SQLSMALLINT number = 1; number < 64; ++number) {
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0; // in characters of the chosen form
        DiagRecord record;
        SQLRETURN rc = SQL_ERROR;
        if (IsWide(calls)) {
            SQLWCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
            std::vector<SQLWCHAR> message(1024, 0);
            rc = SQLGetDiagRecW(type, handle, number, state, &native, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &length);
            if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
                message.assign(static_cast<size_t>(length) + 1, 0);
                rc = SQLGetDiagRecW(type, handle, number, state, &native, message.data(),
                                    static_cast<SQLSMALLINT>(message.size()), &length);
            }
            if (!Succeeded(rc))
                break;
            record.sql_state =
                FromWide(state, std::char_traits<char16_t>::length(reinterpret_cast<const char16_t*>(state)));
            const size_t units =
                std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), message.size() - 1);
            record.message = FromWide(message.data(), units);
        } else {
            SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
            std::string message(1024, '\0');
            rc = SQLGetDiagRec(type, handle, number, state, &native,
                               reinterpret_cast<SQLCHAR*>(message.data()),
                               static_cast<SQLSMALLINT>(message.size()), &length);
            if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
                message.assign(static_cast<size_t>(length) + 1, '\0');
                rc = SQLGetDiagRec(type, handle, number, state, &native,
                                   reinterpret_cast<SQLCHAR*>(message.data()),
                                   static_cast<SQLSMALLINT>(message.size()), &length);
            }
            if (!Succeeded(rc))
                break;
            message.resize(
                std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), message.size()));
            record.sql_state = reinterpret_cast<const char*>(state);
            record.message = std::move(message);
        }
        record.message = TrimmedMessage(std::move(record.message));
        record.native_code = static_cast<long>(native);
        records.push_back(std::move(record));
    }
    return records;
}

} // namespace tagsink::db::detail
