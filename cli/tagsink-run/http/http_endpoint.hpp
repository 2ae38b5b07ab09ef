// The recorder's HTTP endpoint (--http): /health, /metrics, /api/status, /api/items, /api/events and the
// status page, served from the status board on threads of its own.
//
// Safe by default: it binds only the address it is given; an address that is not a loopback address needs
// an access token, which every request for data must then carry as "Authorization: Bearer TOKEN" (the page
// itself holds no data and is served without it, then asks for the token). Read-only: only GET and HEAD
// are answered. Request lines, headers and bodies have limits; what breaks them gets a 4xx. A client that
// reads slowly loses the oldest events of its own queue, never holds up the recorder.
#pragma once

#include "endpoint_address.hpp"
#include "status_board.hpp"

#include <memory>
#include <stdexcept>
#include <string>

namespace tagsink::http {

/// The endpoint cannot start (bad address, port taken, a token missing); the message says why.
class EndpointError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct EndpointOptions {
    EndpointAddress address;
    std::string token; // empty: no token (loopback addresses only)
    std::string version;
    std::size_t max_headers = 64;         // header fields per request
    std::size_t max_header_bytes = 16384; // all header fields together
    std::size_t max_body_bytes = 4096;    // a read-only endpoint needs no bodies
    std::size_t max_event_clients = 4;    // /api/events streams at the same time
    std::size_t event_queue_bound = 4096; // events waiting per stream; the oldest go first
    int threads = 12;
};

class HttpEndpoint {
public:
    /// Binds and starts serving; throws EndpointError.
    HttpEndpoint(StatusBoard& board, EndpointOptions options);
    /// Ends the event streams and the server, and waits for its threads.
    ~HttpEndpoint();
    HttpEndpoint(const HttpEndpoint&) = delete;
    HttpEndpoint& operator=(const HttpEndpoint&) = delete;

    /// The port bound (the given one, or the one chosen for port 0).
    int Port() const;
    /// "http://127.0.0.1:8090/".
    std::string Url() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace tagsink::http
