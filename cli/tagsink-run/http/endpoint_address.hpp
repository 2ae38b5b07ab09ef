// The --http ADDRESS:PORT argument: an IPv4 address, a host name or a bracketed IPv6 address, and a port.
#pragma once

#include <string>
#include <string_view>

namespace tagsink::http {

struct EndpointAddress {
    std::string host; // without brackets
    int port = 0;
};

/// Parses "127.0.0.1:8090", "localhost:8090", "[::1]:8090"; throws std::invalid_argument with a message
/// that says what was expected and what was found.
EndpointAddress ParseEndpointAddress(std::string_view text);

/// True for the loopback addresses: 127.0.0.0/8, ::1 and "localhost".
bool IsLoopback(std::string_view host);

} // namespace tagsink::http
