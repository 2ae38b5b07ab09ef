#include "endpoint_address.hpp"

#include <charconv>
#include <stdexcept>

namespace tagsink::http {
namespace {

bool IsIpv4(std::string_view host, unsigned& first) {
    int parts = 0;
    std::size_t at = 0;
    while (at <= host.size()) {
        std::size_t end = host.find('.', at);
        if (end == std::string_view::npos)
            end = host.size();
        unsigned value = 0;
        auto [ptr, ec] = std::from_chars(host.data() + at, host.data() + end, value);
        if (ec != std::errc() || ptr != host.data() + end || end == at || end - at > 3 || value > 255)
            return false;
        if (parts == 0)
            first = value;
        ++parts;
        at = end + 1;
        if (end == host.size())
            break;
    }
    return parts == 4;
}

} // namespace

EndpointAddress ParseEndpointAddress(std::string_view text) {
    const auto bad = [&](const std::string& why) {
        return std::invalid_argument(
            "--http expects ADDRESS:PORT such as 127.0.0.1:8090 or [::1]:8090, found \"" + std::string(text) +
            "\": " + why);
    };
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos)
        throw bad("there is no port");
    std::string_view host = text.substr(0, colon);
    std::string_view port_text = text.substr(colon + 1);
    if (!host.empty() && host.front() == '[') {
        if (host.size() < 3 || host.back() != ']')
            throw bad("an IPv6 address needs its closing bracket");
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string_view::npos) {
        throw bad("an IPv6 address goes in brackets");
    }
    if (host.empty())
        throw bad("the address is empty (give 127.0.0.1 for this machine only)");
    int port = 0;
    auto [ptr, ec] = std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
    if (port_text.empty() || ec != std::errc() || ptr != port_text.data() + port_text.size() || port < 1 ||
        port > 65535)
        throw bad("the port must be a number from 1 to 65535");
    return EndpointAddress{std::string(host), port};
}

bool IsLoopback(std::string_view host) {
    unsigned first = 0;
    if (IsIpv4(host, first))
        return first == 127;
    if (host == "::1" || host == "0:0:0:0:0:0:0:1")
        return true;
    std::string lower(host);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower == "localhost";
}

} // namespace tagsink::http
