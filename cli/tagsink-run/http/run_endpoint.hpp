// The HTTP endpoint as tagsink-run runs it: the --http and --http-token-file options, the status board
// fed by the engine, and the server started beside the engine's loop.
//
// Order of use in the runner: RunEndpoint before the Engine (the engine reports through Reporter()),
// Serve once the engine exists (its result must end before the engine does).
#pragma once

#include "board_reporter.hpp"
#include "http_endpoint.hpp"
#include "status_board.hpp"

#include <memory>
#include <string>

namespace CLI {
class App;
}

namespace tagsink {
class Engine;
class EventLoop;
class LoopHandle;
class TServer;
} // namespace tagsink

namespace tagsink::http {

struct HttpSettings {
    std::string address;    // "ADDRESS:PORT"; empty: no endpoint
    std::string token_file; // the access token's file; empty: none
};

/// Adds --http and --http-token-file to a command line.
void AddHttpOptions(CLI::App& app, HttpSettings& settings);

/// The server while it runs, with the loop timer that samples the engine.
class Serving {
public:
    Serving(std::unique_ptr<HttpEndpoint> endpoint, std::unique_ptr<LoopHandle> sampler);
    ~Serving();
    const HttpEndpoint& Endpoint() const { return *endpoint_; }

private:
    std::unique_ptr<LoopHandle> sampler_;
    std::unique_ptr<HttpEndpoint> endpoint_;
};

class RunEndpoint {
public:
    /// Checks the settings (address, loopback or token, the token file); throws EndpointError.
    RunEndpoint(const HttpSettings& settings, const TServer& root, EngineReporter& next, std::string version);

    /// What the engine reports to: `next` and the board.
    EngineReporter& Reporter() { return reporter_; }
    StatusBoard& Board() { return board_; }

    /// Watches `engine`, binds and serves; throws EndpointError (port taken, address not usable).
    std::unique_ptr<Serving> Serve(Engine& engine, EventLoop& loop);

private:
    EndpointOptions options_;
    StatusBoard board_;
    BoardReporter reporter_;
};

} // namespace tagsink::http
