#include "bearer_token.hpp"

#include "platform/path_text.hpp"

#include <fstream>
#include <stdexcept>

namespace tagsink::http {

std::string ReadTokenFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("--http-token-file: cannot read \"" + qz::PathUtf8(file) + "\"");
    std::string line;
    std::getline(in, line);
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!line.empty() && space(line.back()))
        line.pop_back();
    std::size_t start = 0;
    while (start < line.size() && space(line[start]))
        ++start;
    line.erase(0, start);
    if (line.size() < 16)
        throw std::runtime_error("--http-token-file: \"" + qz::PathUtf8(file) + "\" holds " +
                                 (line.empty()
                                      ? std::string("no token")
                                      : "a token of " + std::to_string(line.size()) + " characters") +
                                 "; write a token of at least 16 characters on its first line");
    return line;
}

bool ConstantTimeEquals(std::string_view a, std::string_view b) {
    // Every byte of the longer text is looked at, whatever the contents.
    const std::size_t n = a.size() > b.size() ? a.size() : b.size();
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff = static_cast<unsigned char>(diff | (x ^ y));
    }
    // Keep the compiler from ending the loop early.
    volatile unsigned char result = diff;
    return result == 0;
}

bool BearerMatches(std::string_view authorization, std::string_view token) {
    constexpr std::string_view kScheme = "Bearer ";
    if (authorization.size() < kScheme.size())
        return false;
    for (std::size_t i = 0; i < kScheme.size(); ++i) {
        char c = authorization[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        char s = kScheme[i];
        if (s >= 'A' && s <= 'Z')
            s = static_cast<char>(s - 'A' + 'a');
        if (c != s)
            return false;
    }
    return ConstantTimeEquals(authorization.substr(kScheme.size()), token);
}

} // namespace tagsink::http
