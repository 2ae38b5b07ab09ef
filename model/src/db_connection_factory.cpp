#include "model/db_connection_factory.hpp"

#include <mutex>
#include <utility>

namespace tagsink {
namespace {

// The connection of a program without database access: always closed, every operation refused.
class UnavailableDbConnection final : public DbConnection {
public:
    void SetConnectionString(std::string_view text) override { connection_string_.assign(text); }
    std::string ConnectionString() const override { return connection_string_; }
    bool IsConnected() const override { return false; }
    void Open(std::chrono::seconds) override { Refuse(); }
    void Execute(std::string_view) override { Refuse(); }
    void Close() noexcept override {}
    std::vector<std::string> ListTables() override { Refuse(); }
    std::vector<std::string> ListProcedures() override { Refuse(); }
    std::vector<std::string> ListFields(std::string_view) override { Refuse(); }
    std::vector<ProcParameter> ListProcedureParameters(std::string_view) override { Refuse(); }

private:
    [[noreturn]] static void Refuse() { throw DatabaseError(kNoDatabaseAccessMessage); }
    std::string connection_string_;
};

std::mutex& FactoryMutex() {
    static std::mutex mutex;
    return mutex;
}

DbConnectionFactory& InstalledFactory() {
    static DbConnectionFactory factory;
    return factory;
}

} // namespace

void SetDbConnectionFactory(DbConnectionFactory factory) {
    std::lock_guard lock(FactoryMutex());
    InstalledFactory() = std::move(factory);
}

std::unique_ptr<DbConnection> CreateDbConnection() {
    DbConnectionFactory factory;
    {
        std::lock_guard lock(FactoryMutex());
        factory = InstalledFactory();
    }
    if (factory) {
        if (auto connection = factory())
            return connection;
    }
    return std::make_unique<UnavailableDbConnection>();
}

} // namespace tagsink
