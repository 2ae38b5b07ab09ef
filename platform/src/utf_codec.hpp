// Internal UTF-8 / UTF-16 transcoder shared by the code-page services and the C++ helpers.
#pragma once
#include <string>
#include <string_view>

namespace qz::detail {

/// Appends the UTF-16 form of `in` to `out`. Ill-formed input: with `strict` the function stops and returns
/// false; otherwise each maximal ill-formed subpart becomes U+FFFD and the result is true.
bool DecodeUtf8(std::string_view in, std::u16string& out, bool strict);

/// Appends the UTF-8 form of `in` to `out`. Unpaired surrogates: with `strict` the function stops and
/// returns false; otherwise each becomes U+FFFD and `*replaced` (if given) is set.
bool EncodeUtf8(std::u16string_view in, std::string& out, bool strict, bool* replaced = nullptr);

} // namespace qz::detail
