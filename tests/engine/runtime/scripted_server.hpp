// Helpers of the tests that run a database server of their own: a free loopback port, a throw-away
// PostgreSQL or MariaDB server started and stopped with scripts/pg.sh or scripts/mariadb.sh, and waiting
// for a condition with a limit.
#pragma once

#include "test_db.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace tagsink::testing {

/// A TCP port on 127.0.0.1 that nothing listens on right now (0 when none could be found).
int FreePort();

/// A server of its own in `dir`/pg or `dir`/mariadb on a free port, driven by a script that takes
/// "start DIR PORT" and "stop DIR" (scripts/pg.sh, scripts/mariadb.sh). Stopped when destroyed.
class ScriptedServer {
public:
    enum class Product { PostgreSQL, MariaDB };

    /// When the tests run as root, `dir` is opened to every user: the server runs as its own user.
    ScriptedServer(Product product, std::string script, const std::filesystem::path& dir);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    /// Starts the server (initialising its folder the first time); true when the script succeeded.
    bool Start();
    /// Stops the server; harmless when it is not running.
    void Stop();

    int Port() const { return port_; }
    /// The ODBC connection string of the server's test database.
    std::string ConnectionString() const;

private:
    bool Run(const std::string& arguments) const;

    Product product_;
    std::string script_;
    std::filesystem::path dir_;
    int port_;
};

/// The script that runs `product`'s servers (TAGSINK_PG_SCRIPT, TAGSINK_MARIADB_SCRIPT), when that script
/// and the product's connection string of the test run are both set; empty otherwise.
std::string ServerScript(ScriptedServer::Product product);

/// What ServerScript needs, for a skip or failure message.
const char* ServerSetUpNames(ScriptedServer::Product product);

/// Polls `predicate` every 5 ms until it holds (true) or `limit` has passed (false).
template <class Predicate>
bool WaitFor(Predicate predicate, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace tagsink::testing

// Declares and starts `var`, a ScriptedServer of `product` in `dir`. Skips the test when that product's
// servers are not set up, and fails it instead in CI (CI=true) or when the server does not start.
#define TAGSINK_START_SCRIPTED_SERVER(var, product, dir)                                                     \
    const std::string var##_script = ::tagsink::testing::ServerScript(product);                              \
    if (var##_script.empty()) {                                                                              \
        if (::tagsink::db::testing::RunningInCi())                                                           \
            FAIL() << ::tagsink::testing::ServerSetUpNames(product) << " are needed in CI";                  \
        GTEST_SKIP() << "no server set-up (" << ::tagsink::testing::ServerSetUpNames(product) << ")";        \
    }                                                                                                        \
    ::tagsink::testing::ScriptedServer var(product, var##_script, dir);                                      \
    ASSERT_TRUE(var.Start()) << var##_script << " could not start a server"
