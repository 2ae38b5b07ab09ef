#include "run_endpoint.hpp"

#include "bearer_token.hpp"
#include "engine/runtime/engine.hpp"
#include "platform/path_text.hpp"

#include <CLI/CLI.hpp>

namespace tagsink::http {

void AddHttpOptions(CLI::App& app, HttpSettings& settings) {
    app.add_option(
        "--http", settings.address,
        "serve health, metrics, live values and a status page at ADDRESS:PORT (e.g. 127.0.0.1:8090); "
        "an address other than loopback needs --http-token-file");
    app.add_option("--http-token-file", settings.token_file,
                   "a file whose first line is the access token that every HTTP request must carry "
                   "(Authorization: Bearer TOKEN)");
}

Serving::Serving(std::unique_ptr<HttpEndpoint> endpoint, std::unique_ptr<LoopHandle> sampler)
    : sampler_(std::move(sampler)), endpoint_(std::move(endpoint)) {}

Serving::~Serving() {
    sampler_.reset();
    endpoint_.reset(); // the server's threads end before the engine they read from
}

namespace {

EndpointOptions Options(const HttpSettings& settings, std::string version) {
    EndpointOptions options;
    try {
        options.address = ParseEndpointAddress(settings.address);
        if (!settings.token_file.empty())
            options.token = ReadTokenFile(qz::Utf8Path(settings.token_file));
    } catch (const std::exception& error) {
        throw EndpointError(error.what());
    }
    if (options.token.empty() && !IsLoopback(options.address.host))
        throw EndpointError("--http " + settings.address +
                            ": not a loopback address; give --http-token-file FILE with an access token to "
                            "serve other machines, or use 127.0.0.1");
    options.version = std::move(version);
    return options;
}

} // namespace

RunEndpoint::RunEndpoint(const HttpSettings& settings, const TServer& root, EngineReporter& next,
                         std::string version)
    : options_(Options(settings, std::move(version))), board_(root), reporter_(next, board_) {}

std::unique_ptr<Serving> RunEndpoint::Serve(Engine& engine, EventLoop& loop) {
    board_.AttachCounters(&engine.Stats(), [&engine] { return engine.QueuedCount(); });
    engine.SetObserver(&board_);
    auto sample = [this, &engine] {
        board_.Sample(
            EngineSample{engine.Reconnecting(), engine.ReconnectAttempts(), engine.Reconnections()});
    };
    sample();
    auto sampler = loop.StartTimer(std::chrono::milliseconds(500), sample);
    auto endpoint = std::make_unique<HttpEndpoint>(board_, options_);
    return std::make_unique<Serving>(std::move(endpoint), std::move(sampler));
}

} // namespace tagsink::http
