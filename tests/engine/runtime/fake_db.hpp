// A scripted database connection for recorder tests: it can be down, refuse chosen statements, and
// remembers every statement it accepted, in order.
#pragma once

#include "engine/db/db_failure.hpp"
#include "model/db_connection.hpp"

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tagsink::testing {

class FakeDb final : public DbConnection {
public:
    void SetConnectionString(std::string_view text) override { connection_string = text; }
    std::string ConnectionString() const override { return connection_string; }
    bool IsConnected() const override { return open; }
    void Open(std::chrono::seconds) override {
        ++open_attempts;
        if (!reachable)
            throw db::DbFailure(db::DbFailureKind::ConnectionFailure, "could not connect to server", "08001");
        open = true;
    }
    void Execute(std::string_view statement) override {
        if (!open)
            throw db::DbFailure(db::DbFailureKind::ConnectionFailure, "not open");
        if (!reachable) {
            open = false;
            throw db::DbFailure(db::DbFailureKind::ConnectionFailure, "server closed the connection",
                                "08S01");
        }
        if (!refuse.empty() && statement.find(refuse) != std::string_view::npos)
            throw db::DbFailure(db::DbFailureKind::StatementRejected, refuse_message, refuse_sql_state, 7);
        if (execute_delay.count() > 0)
            std::this_thread::sleep_for(execute_delay);
        std::lock_guard lock(mutex);
        executed.emplace_back(statement);
    }
    void Close() noexcept override { open = false; }
    std::vector<std::string> ListTables() override { return {}; }
    std::vector<std::string> ListProcedures() override { return {}; }
    std::vector<std::string> ListFields(std::string_view) override { return {}; }
    std::vector<ProcParameter> ListProcedureParameters(std::string_view) override { return {}; }

    std::vector<std::string> Executed() {
        std::lock_guard lock(mutex);
        return executed;
    }

    std::string connection_string;
    bool reachable = true;
    bool open = false;
    int open_attempts = 0;
    std::chrono::milliseconds execute_delay{0}; // each accepted statement takes this long (a slow database)
    std::string refuse;                         // statements containing this text are refused
    std::string refuse_message = "relation \"nowhere\" does not exist";
    std::string refuse_sql_state = "42P01"; // a missing table: a refusal that can pass
    std::mutex mutex;
    std::vector<std::string> executed;
};

} // namespace tagsink::testing
