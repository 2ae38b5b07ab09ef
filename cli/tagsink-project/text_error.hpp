// A failure in a text the user wrote (project text or item CSV): names the source and the line.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tagsink {

class TextError : public std::runtime_error {
public:
    /// The message reads "SOURCE:LINE: problem", or "SOURCE: problem" for line 0 (the text as a whole).
    TextError(std::string_view source, std::size_t line, std::string_view problem);

    std::size_t Line() const { return line_; }
    const std::string& Problem() const { return problem_; }

private:
    std::size_t line_;
    std::string problem_;
};

} // namespace tagsink
