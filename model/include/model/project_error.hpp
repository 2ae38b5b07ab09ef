// The failure type of the project model: naming rules, property values and the project file.
// what() is the message shown to the operator.
#pragma once

#include <stdexcept>

namespace tagsink {

class ProjectError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace tagsink
