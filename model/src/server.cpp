#include "model/server.hpp"

#include "model/db_connection_factory.hpp"
#include "model/group.hpp"
#include "prop_table.hpp"

namespace tagsink {

const ClassInfo& TServer::StaticClassInfo() {
    using namespace detail;
    static const ClassInfo kInfo(
        "TServer", &TNamedItem::StaticClassInfo(),
        {
            StringProp("OPCString", &TServer::OPCString, &TServer::SetOPCString),
            StringProp("DBString", &TServer::DBString, &TServer::SetDBString),
            IntegerProp("BufferCount", &TServer::BufferCount, &TServer::SetBufferCount),
            IntegerProp("BufferTime", &TServer::BufferTime, &TServer::SetBufferTime),
            StringProp("Description", &TServer::Description, &TServer::SetDescription),
            EnumProp("TimeZone", &TServer::TimeZone, &TServer::SetTimeZone),
            EnumProp("TimePrecision", &TServer::TimePrecision, &TServer::SetTimePrecision),
        });
    return kInfo;
}

TServer::TServer() : TServer(CreateDbConnection()) {}

TServer::TServer(std::unique_ptr<DbConnection> connection)
    : TNamedItem(nullptr), db_connection_(connection ? std::move(connection) : CreateDbConnection()) {
    AddObserver(*this);
    SetName("Manager");
}

TServer::~TServer() {
    RecordThread.reset();
    DestroyChildren();
    RemoveObserver(*this);
}

void TServer::SetDBString(std::string_view value) {
    db_string_.assign(value);
    if (db_connection_->IsConnected())
        db_connection_->Close();
    db_connection_->SetConnectionString(db_string_);
}

void TServer::ObjectChanged(TNamedItem& sender, std::uint8_t kind) {
    if (kind == 0 && description_.empty())
        description_ = sender.Name();
}

TGroup& TServer::Group(std::size_t index) const {
    return static_cast<TGroup&>(Child(index));
}

TGroup* TServer::FindGroup(std::string_view name) const {
    return static_cast<TGroup*>(FindChild(name));
}

} // namespace tagsink
