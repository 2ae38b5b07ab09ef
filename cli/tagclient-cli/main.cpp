// tagclient-cli: checks OPC DA servers from the command line (list, status, browse, properties, read,
// write, subscribe). Exit codes: 0 success, 1 the operation failed, 2 the command line is wrong.
#include "client.hpp"
#include "commands.hpp"
#include "version_flag.hpp"

#include <platform/variant.hpp>
#include <program_arguments.hpp>

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
    tagsink::ProgramArguments arguments(argc, argv); // UTF-8: on Windows from the wide command line
    const tagsink::Utf8Console console;
    CLI::App app{"tagclient-cli: checks OPC DA servers through tagclient (list, status, browse, properties, "
                 "read, write, subscribe).\nSERVER is a ProgID or a class ID "
                 "\"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}\"."};
    app.require_subcommand(1);
    tagsink::AddVersionFlag(app, "tagclient-cli");
    std::string host;
    app.add_option("--host", host, "the computer the servers run on (default: this computer)");

    std::function<int()> run;
    auto add_host = [&host](CLI::App* sub) {
        sub->add_option("--host", host, "the computer the server runs on (default: this computer)");
    };

    ServersOptions servers;
    auto* servers_cmd =
        app.add_subcommand("servers", "list the OPC DA servers of a host (ProgID and class ID)");
    add_host(servers_cmd);
    servers_cmd
        ->add_option("--version", servers.version, "OPC DA version whose servers are listed: 1, 2 or 3")
        ->check(CLI::Range(1, 3));
    servers_cmd->callback([&] {
        run = [&] {
            servers.host = host;
            return ListServers(servers);
        };
    });

    std::string status_server;
    auto* status_cmd = app.add_subcommand("status", "show a server's status: state, times, version, vendor");
    add_host(status_cmd);
    status_cmd->add_option("SERVER", status_server, "ProgID or class ID")->required();
    status_cmd->callback([&] { run = [&] { return ShowStatus(host, status_server); }; });

    BrowseOptions browse;
    auto* browse_cmd = app.add_subcommand("browse", "list the server's address space as a tree or flat");
    add_host(browse_cmd);
    browse_cmd->add_option("SERVER", browse.server, "ProgID or class ID")->required();
    browse_cmd->add_flag("--flat", browse.flat, "list the full item IDs instead of the tree");
    browse_cmd->add_option("--filter", browse.filter,
                           "names to list: * any run, ? one character (default all)");
    browse_cmd->add_option("--access", browse.access, "only items with these rights: r, w or rw");
    browse_cmd->add_option("--type", browse.data_type,
                           "only items of this canonical type (R8, I4, BOOL, BSTR, ...)");
    browse_cmd->callback([&] {
        run = [&] {
            browse.host = host;
            return Browse(browse);
        };
    });

    std::string props_server, props_item;
    auto* props_cmd = app.add_subcommand("props", "show an item's properties with their values");
    add_host(props_cmd);
    props_cmd->add_option("SERVER", props_server, "ProgID or class ID")->required();
    props_cmd->add_option("ITEM", props_item, "item ID")->required();
    props_cmd->callback([&] { run = [&] { return ShowProperties(host, props_server, props_item); }; });

    ItemsOptions read;
    auto* read_cmd = app.add_subcommand("read", "read items from the device: value, quality, timestamp");
    add_host(read_cmd);
    read_cmd->add_option("SERVER", read.server, "ProgID or class ID")->required();
    read_cmd->add_option("ITEM", read.items, "item IDs")->required();
    read_cmd->callback([&] {
        run = [&] {
            read.host = host;
            return ReadItems(read);
        };
    });

    WriteOptions write;
    auto* write_cmd = app.add_subcommand("write", "write a value to an item");
    add_host(write_cmd);
    write_cmd->add_option("SERVER", write.server, "ProgID or class ID")->required();
    write_cmd->add_option("ITEM", write.item, "item ID")->required();
    write_cmd->add_option("VALUE", write.value, "the value (array elements separated by commas)")->required();
    write_cmd->add_option("--type", write.type,
                          "type to send: I1, I2, I4, I8, UI1, UI2, UI4, UI8, R4, R8, CY, DATE, BOOL, BSTR "
                          "(default: the item's canonical type)");
    write_cmd->callback([&] {
        run = [&] {
            write.host = host;
            return WriteItem(write);
        };
    });

    SubscribeOptions subscribe;
    auto* subscribe_cmd = app.add_subcommand("subscribe", "print each data change of items until Ctrl+C");
    add_host(subscribe_cmd);
    subscribe_cmd->add_option("SERVER", subscribe.server, "ProgID or class ID")->required();
    subscribe_cmd->add_option("ITEM", subscribe.items, "item IDs")->required();
    subscribe_cmd->add_option("--rate", subscribe.rate, "update rate in milliseconds (default 1000)");
    subscribe_cmd->add_option("--count", subscribe.count, "stop after this many data changes");
    subscribe_cmd->add_option("--seconds", subscribe.seconds, "stop after this many seconds")
        ->check(CLI::NonNegativeNumber);
    subscribe_cmd->callback([&] {
        run = [&] {
            subscribe.host = host;
            return Subscribe(subscribe);
        };
    });

    try {
        app.parse(arguments.argc(), arguments.argv());
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
