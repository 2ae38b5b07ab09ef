// A project root with one group, over a database fake that knows a given procedure parameter list.
#pragma once

#include "model/db_connection.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "platform/variant.hpp"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tagsink::testing {

class FakeConnection : public DbConnection {
public:
    explicit FakeConnection(std::vector<ProcParameter> parameters) : parameters_(std::move(parameters)) {}

    void SetConnectionString(std::string_view text) override { connection_string_ = text; }
    std::string ConnectionString() const override { return connection_string_; }
    bool IsConnected() const override { return false; }
    void Open(std::chrono::seconds) override { throw DatabaseError("no database in this test"); }
    void Execute(std::string_view) override { throw DatabaseError("no database in this test"); }
    void Close() noexcept override {}
    std::vector<std::string> ListTables() override { return {}; }
    std::vector<std::string> ListProcedures() override { return {"P1"}; }
    std::vector<std::string> ListFields(std::string_view) override { return {}; }
    std::vector<ProcParameter> ListProcedureParameters(std::string_view) override { return parameters_; }

private:
    std::vector<ProcParameter> parameters_;
    std::string connection_string_;
};

inline std::vector<ProcParameter> Parameters(const std::vector<std::string>& names) {
    std::vector<ProcParameter> list;
    for (const std::string& name : names)
        list.push_back(ProcParameter{name, ProcParameterKind::Input, "int"});
    return list;
}

struct Project {
    explicit Project(std::vector<ProcParameter> parameters = {})
        : server(std::make_unique<FakeConnection>(std::move(parameters))), group(TGroup::Create(server)) {
        group.SetName("Group1");
        group.SetTableName("T1");
    }

    TItem& Add(const std::string& name, const std::string& field, TFieldType type, qz::Variant value = {},
               const std::string& key = {}) {
        TItem& item = TItem::Create(group);
        item.SetName(name);
        item.SetFieldName(field);
        item.SetFieldType(type);
        item.SetKey(key);
        item.Value = std::move(value);
        item.Changed = true;
        return item;
    }

    TItem& AddFixed(const std::string& name, const std::string& field, const std::string& default_value) {
        TItem& item = Add(name, field, TFieldType::ftString);
        item.SetGainType(TGainType::gtFixed);
        item.SetDefaultValue(default_value);
        return item;
    }

    TItem& AddCalc(const std::string& name, const std::string& field, TFieldType type,
                   const std::string& expr) {
        TItem& item = Add(name, field, type);
        item.SetGainType(TGainType::gtCalc);
        item.SetCalcExpr(expr);
        return item;
    }

    TServer server;
    TGroup& group;
};

} // namespace tagsink::testing
