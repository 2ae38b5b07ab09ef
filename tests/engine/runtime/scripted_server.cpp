#include "scripted_server.hpp"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace tagsink::testing {

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

ScriptedServer::ScriptedServer(Product product, std::string script, const std::filesystem::path& dir)
    : product_(product), script_(std::move(script)),
      dir_(dir / (product == Product::PostgreSQL ? "pg" : "mariadb")), port_(FreePort()) {
    if (getuid() == 0) {
        std::error_code ignored;
        std::filesystem::permissions(dir, std::filesystem::perms::all, ignored);
    }
}

ScriptedServer::~ScriptedServer() {
    Stop();
}

bool ScriptedServer::Start() {
    return port_ != 0 && Run("start '" + dir_.string() + "' " + std::to_string(port_));
}

void ScriptedServer::Stop() {
    Run("stop '" + dir_.string() + "'");
}

std::string ServerScript(ScriptedServer::Product product) {
    const bool pg = product == ScriptedServer::Product::PostgreSQL;
    const char* script = std::getenv(pg ? "TAGSINK_PG_SCRIPT" : "TAGSINK_MARIADB_SCRIPT");
    const bool connection = pg ? db::testing::PostgresConnectionString().has_value()
                               : db::testing::MariadbConnectionString().has_value();
    return script != nullptr && connection ? script : "";
}

const char* ServerSetUpNames(ScriptedServer::Product product) {
    return product == ScriptedServer::Product::PostgreSQL ? "TAGSINK_PG_SCRIPT and TAGSINK_PG_CONN"
                                                          : "TAGSINK_MARIADB_SCRIPT and TAGSINK_MARIADB_CONN";
}

std::string ScriptedServer::ConnectionString() const {
    if (product_ == Product::PostgreSQL)
        return "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(port_) +
               ";Database=postgres;Uid=postgres;Pwd=;";
    return "Driver={MariaDB Unicode};Server=127.0.0.1;Port=" + std::to_string(port_) +
           ";Database=tagsink;Uid=root;Pwd=;";
}

bool ScriptedServer::Run(const std::string& arguments) const {
    const std::string command = "bash '" + script_ + "' " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

} // namespace tagsink::testing
