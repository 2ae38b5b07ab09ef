// File paths and UTF-8 text. The programs keep text (command-line arguments, messages, project strings)
// in UTF-8; a path made from such text must mean the same file on every platform. On Windows a
// std::filesystem::path made from a std::string reads it in the C runtime's 8-bit code page, which
// mangles every character outside it ("Anlage Süd", "测试线"): make paths from text with Utf8Path, and text
// from paths with PathUtf8.
#pragma once
#include "platform/oleauto.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace qz {

/// The path that the UTF-8 text `utf8` names. On Windows the text becomes the path's UTF-16 form (an
/// ill-formed sequence becomes U+FFFD); elsewhere the bytes are the path.
QZ_OLEAUT_API std::filesystem::path Utf8Path(std::string_view utf8);

/// The UTF-8 text of `path`, for messages and for text that Utf8Path reads back. Never throws: on
/// Windows an unpaired surrogate becomes U+FFFD; elsewhere the path's bytes are returned as they are.
QZ_OLEAUT_API std::string PathUtf8(const std::filesystem::path& path);

} // namespace qz
