#include "model/db_connection_factory.hpp"
#include "model/db_schema.hpp"

#include <gtest/gtest.h>

namespace tagsink {
namespace {

// A scripted connection: knows one procedure with a return value and two parameters.
class ScriptedConnection : public DbConnection {
public:
    void SetConnectionString(std::string_view text) override { text_.assign(text); }
    std::string ConnectionString() const override { return text_; }
    bool IsConnected() const override { return open_; }
    void Open(std::chrono::seconds) override { open_ = true; }
    void Execute(std::string_view) override {}
    void Close() noexcept override { open_ = false; }
    std::vector<std::string> ListTables() override { return {"T1"}; }
    std::vector<std::string> ListProcedures() override { return {"P1"}; }
    std::vector<std::string> ListFields(std::string_view table) override {
        if (table != "T1")
            throw DatabaseError("no such table: " + std::string(table));
        return {"DT", "V1"};
    }
    std::vector<ProcParameter> ListProcedureParameters(std::string_view procedure) override {
        if (procedure != "P1")
            throw DatabaseError("no such procedure");
        return {{"@RETURN_VALUE", ProcParameterKind::ReturnValue, "int"},
                {"@a", ProcParameterKind::Input, "int"},
                {"@b", ProcParameterKind::Input, "varchar"}};
    }

private:
    std::string text_;
    bool open_ = false;
};

struct FactoryReset {
    ~FactoryReset() { SetDbConnectionFactory({}); }
};

TEST(DbContract, DefaultConnectionRefusesWithClearMessage) {
    auto connection = CreateDbConnection();
    ASSERT_TRUE(connection);
    EXPECT_FALSE(connection->IsConnected());
    connection->SetConnectionString("Driver=X");
    EXPECT_EQ(connection->ConnectionString(), "Driver=X");
    try {
        connection->Open(std::chrono::seconds(10));
        FAIL() << "Open succeeded without a data-access layer";
    } catch (const DatabaseError& e) {
        EXPECT_STREQ(e.what(), kNoDatabaseAccessMessage);
    }
    EXPECT_FALSE(connection->IsConnected());
    EXPECT_THROW(connection->Execute("select 1"), DatabaseError);
    EXPECT_THROW(connection->ListTables(), DatabaseError);
    connection->Close();
}

TEST(DbContract, InstalledFactoryIsUsedAndCanBeRemoved) {
    FactoryReset reset;
    SetDbConnectionFactory([] { return std::make_unique<ScriptedConnection>(); });
    auto connection = CreateDbConnection();
    connection->Open(std::chrono::seconds(10));
    EXPECT_TRUE(connection->IsConnected());
    SetDbConnectionFactory({});
    EXPECT_THROW(CreateDbConnection()->Open(std::chrono::seconds(1)), DatabaseError);
}

TEST(DbContract, ProcSchemaHoldsNothingUntilFetched) {
    ScriptedConnection connection;
    ProcSchema schema(connection);
    EXPECT_EQ(schema.ParameterCount(), 0);
    schema.FetchParameters("P1");
    ASSERT_EQ(schema.ParameterCount(), 3);
    EXPECT_EQ(schema.Parameters()[0].Name, "@RETURN_VALUE");
    EXPECT_EQ(schema.ProcedureName(), "P1");
    // A failed fetch leaves no stale parameters behind.
    EXPECT_THROW(schema.FetchParameters("P2"), DatabaseError);
    EXPECT_EQ(schema.ParameterCount(), 0);
}

TEST(DbContract, TableSchemaListsColumnsOrFails) {
    ScriptedConnection connection;
    TableSchema schema(connection);
    EXPECT_EQ(schema.ListFields("T1"), (std::vector<std::string>{"DT", "V1"}));
    EXPECT_THROW(schema.ListFields("missing"), DatabaseError);
}

} // namespace
} // namespace tagsink
