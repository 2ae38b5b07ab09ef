#include "http_endpoint.hpp"

#include "bearer_token.hpp"
#include "metrics_text.hpp"
#include "status_json.hpp"
#include "status_page.hpp"

#include <httplib.h>
// After httplib.h, which must include winsock2.h before anything includes windows.h.
#include "platform/thread_name.hpp"

#include <thread>

namespace tagsink::http {
namespace {

constexpr const char* kJson = "application/json; charset=utf-8";

void Refuse(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text + "\n", "text/plain; charset=utf-8");
}

} // namespace

struct HttpEndpoint::Impl {
    StatusBoard& board;
    EndpointOptions options;
    httplib::Server server;
    std::thread listener;
    int port = 0;

    Impl(StatusBoard& b, EndpointOptions o) : board(b), options(std::move(o)) {}

    httplib::Server::HandlerResponse Screen(const httplib::Request& req, httplib::Response& res) {
        if (req.method != "GET" && req.method != "HEAD") {
            res.set_header("Allow", "GET, HEAD");
            Refuse(res, 405, "this endpoint is read-only: only GET and HEAD are answered");
            return httplib::Server::HandlerResponse::Handled;
        }
        std::size_t bytes = 0;
        for (const auto& [name, value] : req.headers)
            bytes += name.size() + value.size() + 4;
        if (req.headers.size() > options.max_headers || bytes > options.max_header_bytes) {
            Refuse(res, 431,
                   "too many or too large header fields (at most " + std::to_string(options.max_headers) +
                       " fields, " + std::to_string(options.max_header_bytes) + " bytes)");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (!options.token.empty() && req.path != "/") {
            const std::string authorization = req.get_header_value("Authorization");
            if (!BearerMatches(authorization, options.token)) {
                res.set_header("WWW-Authenticate", "Bearer realm=\"tagsink-run\"");
                Refuse(res, 401, "this endpoint needs its access token: Authorization: Bearer TOKEN");
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        return httplib::Server::HandlerResponse::Unhandled;
    }

    void Routes() {
        server.Get("/", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Cache-Control", "no-store");
            res.set_header("Content-Security-Policy",
                           "default-src 'self'; script-src 'unsafe-inline'; style-src 'unsafe-inline'");
            res.set_content(std::string(StatusPageHtml()), "text/html; charset=utf-8");
        });
        server.Get("/health", [this](const httplib::Request&, httplib::Response& res) {
            const StatusView status = board.Status();
            res.status = status.Healthy() ? 200 : 503;
            res.set_header("Cache-Control", "no-store");
            res.set_content(HealthJson(status), kJson);
        });
        server.Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
            const StatusView status = board.Status();
            res.set_content(MetricsText(status, board.Items(), options.version), kMetricsContentType);
        });
        server.Get("/api/status", [this](const httplib::Request&, httplib::Response& res) {
            res.set_header("Cache-Control", "no-store");
            res.set_content(StatusJson(board.Status(), board.LogTail(), options.version), kJson);
        });
        server.Get("/api/items", [this](const httplib::Request& req, httplib::Response& res) {
            res.set_header("Cache-Control", "no-store");
            res.set_content(ItemsJson(board.Items(req.get_param_value("group"))), kJson);
        });
        server.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) {
            auto subscription = board.Events().Subscribe();
            if (!subscription) {
                Refuse(res, 503,
                       "too many event streams are open (at most " +
                           std::to_string(options.max_event_clients) + ")");
                return;
            }
            res.set_header("Cache-Control", "no-store");
            res.set_chunked_content_provider(
                "text/event-stream",
                [subscription, first = true](std::size_t, httplib::DataSink& sink) mutable {
                    std::string out;
                    if (first) {
                        out = ": tagsink-run events\n\n";
                        first = false;
                    } else {
                        const auto events = subscription->Next(std::chrono::seconds(10));
                        if (subscription->Closed()) {
                            sink.done();
                            return true;
                        }
                        if (events.empty())
                            out = ": still here\n\n";
                        for (const auto& event : events)
                            out.append("event: ")
                                .append(event.type)
                                .append("\ndata: ")
                                .append(event.data)
                                .append("\n\n");
                    }
                    return sink.write(out.data(), out.size());
                },
                [this, subscription](bool) { board.Events().Unsubscribe(subscription); });
        });
    }
};

HttpEndpoint::HttpEndpoint(StatusBoard& board, EndpointOptions options)
    : impl_(std::make_unique<Impl>(board, std::move(options))) {
    Impl& d = *impl_;
    const std::string where = d.options.address.host + ":" + std::to_string(d.options.address.port);
    if (d.options.token.empty() && !IsLoopback(d.options.address.host))
        throw EndpointError(
            "--http " + where +
            ": not a loopback address; give --http-token-file FILE with an access token to serve "
            "other machines, or use 127.0.0.1");
    const int threads = d.options.threads;
    d.server.new_task_queue = [threads] {
        return new httplib::ThreadPool(static_cast<std::size_t>(threads));
    };
    d.server.set_payload_max_length(d.options.max_body_bytes);
    d.server.set_read_timeout(5, 0);
    d.server.set_write_timeout(5, 0);
    d.server.set_keep_alive_timeout(5);
    d.server.set_keep_alive_max_count(100);
    d.server.set_pre_routing_handler(
        [&d](const httplib::Request& req, httplib::Response& res) { return d.Screen(req, res); });
    d.server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.status == 404 && res.body.empty())
            Refuse(res, 404, "not found: try /, /health, /metrics, /api/status, /api/items or /api/events");
    });
    d.server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        Refuse(res, 500, "the request failed inside the recorder");
    });
    d.Routes();
    if (!d.server.bind_to_port(d.options.address.host, d.options.address.port))
        throw EndpointError("--http " + where +
                            ": cannot listen there (the port is taken, or the address is not one of this "
                            "machine's)");
    d.port = d.options.address.port;
    d.listener = std::thread([&d] {
        qz::NameThisThread("tagsink-http");
        d.server.listen_after_bind();
    });
    // stop() ends only a server that runs: wait until the accept loop has begun.
    for (int i = 0; i < 5000 && !d.server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HttpEndpoint::~HttpEndpoint() {
    impl_->board.Events().Close();
    impl_->server.stop();
    if (impl_->listener.joinable())
        impl_->listener.join();
}

int HttpEndpoint::Port() const {
    return impl_->port;
}

std::string HttpEndpoint::Url() const {
    const std::string& host = impl_->options.address.host;
    const bool v6 = host.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(impl_->port) + "/";
}

} // namespace tagsink::http
