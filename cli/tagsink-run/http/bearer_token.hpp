// The access token of --http-token-file and the check of a request's "Authorization: Bearer" header.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tagsink::http {

/// The token: the file's first line without surrounding white space. Throws std::runtime_error when the
/// file cannot be read or holds no token, or a token shorter than 16 characters.
std::string ReadTokenFile(const std::filesystem::path& file);

/// True when the two texts are equal; the time taken depends on their lengths only, not on where they
/// differ.
bool ConstantTimeEquals(std::string_view a, std::string_view b);

/// True when `authorization` (the header's value) is "Bearer " followed by `token`.
bool BearerMatches(std::string_view authorization, std::string_view token);

} // namespace tagsink::http
