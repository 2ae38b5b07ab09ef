// tagclient-cli: checks OPC DA servers from the command line (list, status, browse, properties, read,
// write, subscribe). Exit codes: 0 success, 1 the operation failed, 2 the command line is wrong.
#include "client.hpp"
#include "commands.hpp"

#include <platform/variant.hpp>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <functional>

namespace {

constexpr int kUsageExit = 2;
constexpr int kFailureExit = 1;

} // namespace

int main(int argc, char** argv) {
    using namespace tagclient_cli;
    CLI::App app{"tagclient-cli: checks OPC DA servers through tagclient (list, status, browse, properties, "
                 "read, write, subscribe).\nSERVER is a ProgID or a class ID "
                 "\"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}\"."};
    app.require_subcommand(1);
    std::string host;
    app.add_option("--host", host, "the computer the servers run on (default: this computer)");

    std::function<int()> run;
    auto addHost = [&host](CLI::App* sub) {
        sub->add_option("--host", host, "the computer the server runs on (default: this computer)");
    };

    ServersOptions servers;
    auto* serversCmd =
        app.add_subcommand("servers", "list the OPC DA servers of a host (ProgID and class ID)");
    addHost(serversCmd);
    serversCmd->add_option("--version", servers.version, "OPC DA version whose servers are listed: 1, 2 or 3")
        ->check(CLI::Range(1, 3));
    serversCmd->callback([&] {
        run = [&] {
            servers.host = host;
            return ListServers(servers);
        };
    });

    std::string statusServer;
    auto* statusCmd = app.add_subcommand("status", "show a server's status: state, times, version, vendor");
    addHost(statusCmd);
    statusCmd->add_option("SERVER", statusServer, "ProgID or class ID")->required();
    statusCmd->callback([&] { run = [&] { return ShowStatus(host, statusServer); }; });

    BrowseOptions browse;
    auto* browseCmd = app.add_subcommand("browse", "list the server's address space as a tree or flat");
    addHost(browseCmd);
    browseCmd->add_option("SERVER", browse.server, "ProgID or class ID")->required();
    browseCmd->add_flag("--flat", browse.flat, "list the full item IDs instead of the tree");
    browseCmd->add_option("--filter", browse.filter,
                          "names to list: * any run, ? one character (default all)");
    browseCmd->add_option("--access", browse.access, "only items with these rights: r, w or rw");
    browseCmd->add_option("--type", browse.dataType,
                          "only items of this canonical type (R8, I4, BOOL, BSTR, ...)");
    browseCmd->callback([&] {
        run = [&] {
            browse.host = host;
            return Browse(browse);
        };
    });

    std::string propsServer, propsItem;
    auto* propsCmd = app.add_subcommand("props", "show an item's properties with their values");
    addHost(propsCmd);
    propsCmd->add_option("SERVER", propsServer, "ProgID or class ID")->required();
    propsCmd->add_option("ITEM", propsItem, "item ID")->required();
    propsCmd->callback([&] { run = [&] { return ShowProperties(host, propsServer, propsItem); }; });

    ItemsOptions read;
    auto* readCmd = app.add_subcommand("read", "read items from the device: value, quality, timestamp");
    addHost(readCmd);
    readCmd->add_option("SERVER", read.server, "ProgID or class ID")->required();
    readCmd->add_option("ITEM", read.items, "item IDs")->required();
    readCmd->callback([&] {
        run = [&] {
            read.host = host;
            return ReadItems(read);
        };
    });

    WriteOptions write;
    auto* writeCmd = app.add_subcommand("write", "write a value to an item");
    addHost(writeCmd);
    writeCmd->add_option("SERVER", write.server, "ProgID or class ID")->required();
    writeCmd->add_option("ITEM", write.item, "item ID")->required();
    writeCmd->add_option("VALUE", write.value, "the value (array elements separated by commas)")->required();
    writeCmd->add_option("--type", write.type,
                         "type to send: I1, I2, I4, I8, UI1, UI2, UI4, UI8, R4, R8, CY, DATE, BOOL, BSTR "
                         "(default: the item's canonical type)");
    writeCmd->callback([&] {
        run = [&] {
            write.host = host;
            return WriteItem(write);
        };
    });

    SubscribeOptions subscribe;
    auto* subscribeCmd = app.add_subcommand("subscribe", "print each data change of items until Ctrl+C");
    addHost(subscribeCmd);
    subscribeCmd->add_option("SERVER", subscribe.server, "ProgID or class ID")->required();
    subscribeCmd->add_option("ITEM", subscribe.items, "item IDs")->required();
    subscribeCmd->add_option("--rate", subscribe.rate, "update rate in milliseconds (default 1000)");
    subscribeCmd->add_option("--count", subscribe.count, "stop after this many data changes");
    subscribeCmd->add_option("--seconds", subscribe.seconds, "stop after this many seconds")
        ->check(CLI::NonNegativeNumber);
    subscribeCmd->callback([&] {
        run = [&] {
            subscribe.host = host;
            return Subscribe(subscribe);
        };
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kUsageExit;
    }

    try {
        return run();
    } catch (const UsageError& e) {
        std::fprintf(stderr, "tagclient-cli: %s\n", e.what());
        return kUsageExit;
    } catch (const Failure& e) {
        std::fprintf(stderr, "tagclient-cli: %s\n", e.what());
        return kFailureExit;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tagclient-cli: %s\n", e.what());
        return kFailureExit;
    }
}
