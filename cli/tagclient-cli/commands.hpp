// The subcommands of tagclient-cli. Each prints its result on stdout and returns the exit code (0 success,
// 1 the operation failed); failures throw Failure or UsageError, which main turns into a message.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tagclient_cli {

struct ServersOptions {
    std::string host;
    int version = 2;
};

struct BrowseOptions {
    std::string host;
    std::string server;
    bool flat = false;
    std::string filter;    // leaves (and flat names) to list; empty = all
    std::string access;    // "", "r", "w", "rw"
    std::string data_type; // a type name, "" = any
};

struct ItemsOptions {
    std::string host;
    std::string server;
    std::vector<std::string> items;
};

struct WriteOptions {
    std::string host;
    std::string server;
    std::string item;
    std::string value;
    std::string type; // "" = the item's canonical type
};

struct SubscribeOptions {
    std::string host;
    std::string server;
    std::vector<std::string> items;
    std::uint32_t rate = 1000;
    std::uint64_t count = 0; // 0 = no limit
    double seconds = 0;      // 0 = no limit
};

int ListServers(const ServersOptions& options);
int ShowStatus(const std::string& host, const std::string& server);
int Browse(const BrowseOptions& options);
int ShowProperties(const std::string& host, const std::string& server, const std::string& item);
int ReadItems(const ItemsOptions& options);
int WriteItem(const WriteOptions& options);
int Subscribe(const SubscribeOptions& options);

} // namespace tagclient_cli
