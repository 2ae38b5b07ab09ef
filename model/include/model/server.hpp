// TServer: the project root. One OPC server to read from and one database to write to; owns the groups.
//
// Published properties, in declared order (the order of the project file):
//   OPCString, DBString, BufferCount, BufferTime, Description, TimeZone, TimePrecision.
// TimeZone and TimePrecision are written only when they differ from tzLocal and tpSeconds.
// The run-time fields belong to the recording engine and are never stored.
#pragma once

#include "model/db_connection.hpp"
#include "model/enumerations.hpp"
#include "model/named_item.hpp"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace tagsink {

class TGroup;

class TServer : public TNamedItem {
public:
    /// A new root named "Manager" (so its Description is "Manager"), with a closed database connection
    /// from CreateDbConnection().
    TServer();
    /// The same with a given connection (tests, tools).
    explicit TServer(std::unique_ptr<DbConnection> connection);
    /// Destroys the engine's record thread object first, then the groups (last first), then the
    /// connection and the statement lists. It does not stop the engine: call Stop before.
    ~TServer() override;

    static const ClassInfo& StaticClassInfo();
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }

    // Published properties.
    const std::string& OPCString() const { return opc_string_; }
    void SetOPCString(std::string_view value) { opc_string_.assign(value); }
    const std::string& DBString() const { return db_string_; }
    /// Stores the text; closes the connection if it is open; gives the text to the connection.
    void SetDBString(std::string_view value);
    std::int32_t BufferCount() const { return buffer_count_; }
    void SetBufferCount(std::int32_t value) { buffer_count_ = value; }
    std::int32_t BufferTime() const { return buffer_time_; }
    void SetBufferTime(std::int32_t value) { buffer_time_ = value; }
    const std::string& Description() const { return description_; }
    void SetDescription(std::string_view value) { description_.assign(value); }
    /// Record times and gtTimeStamp items: local time or UTC.
    TTimeZone TimeZone() const { return time_zone_; }
    void SetTimeZone(TTimeZone value) { time_zone_ = value; }
    /// Record times and gtTimeStamp items of the date and time types: whole seconds or milliseconds.
    TTimePrecision TimePrecision() const { return time_precision_; }
    void SetTimePrecision(TTimePrecision value) { time_precision_ = value; }

    /// Kind 0 (named): an empty Description takes the name.
    void ObjectChanged(TNamedItem& sender, std::uint8_t kind) override;

    std::size_t GroupCount() const { return ChildCount(); }
    TGroup& Group(std::size_t index) const;
    /// The group with that name (ASCII case ignored), or nullptr.
    TGroup* FindGroup(std::string_view name) const;

    /// The database connection, owned by the root.
    DbConnection& DBConnection() const { return *db_connection_; }

    /// Writes the project file (project_file.hpp: a failed save leaves the old file and Dirty as they
    /// were); on success clears Dirty on the whole tree. Throws ProjectError.
    void SaveToFile(const std::filesystem::path& path);
    /// Reads the project file into this root, which must have no groups yet. Throws ProjectError; what was
    /// read before the failure stays in the tree.
    void LoadFromFile(const std::filesystem::path& path);

    // Run-time fields of the recording engine.
    std::uint32_t SessionHandle = 0;             // toolkit session, 0 when not connected
    std::unique_ptr<RunTimeObject> RecordThread; // the running record thread, or none
    std::deque<std::string> PendingList;         // queued statements (guarded by the engine's lock)
    std::deque<std::string> OutList;             // statements the record thread works off
    std::uint32_t LastFlushTick = 0;             // tick count of the last move from PendingList

private:
    std::unique_ptr<DbConnection> db_connection_;
    std::string db_string_;
    std::string opc_string_;
    std::int32_t buffer_time_ = 0;
    std::int32_t buffer_count_ = 0;
    std::string description_;
    TTimeZone time_zone_ = TTimeZone::tzLocal;
    TTimePrecision time_precision_ = TTimePrecision::tpSeconds;
};

} // namespace tagsink
