#include "text_error.hpp"

namespace tagsink {

TextError::TextError(std::string_view source, std::size_t line, std::string_view problem)
    : std::runtime_error(std::string(source) + (line > 0 ? ":" + std::to_string(line) : std::string()) +
                         ": " + std::string(problem)),
      line_(line), problem_(problem) {}

} // namespace tagsink
