// A strict reader of the Prometheus text exposition format (version 0.0.4) for the tests: every line is a
// HELP, a TYPE, another comment or a sample; names and labels follow the format's grammar; a family's TYPE
// comes once and before its samples, and a family's samples stand together. Parse throws
// std::runtime_error naming the line that breaks a rule.
#pragma once

#include <map>
#include <string>

namespace tagsink::testing {

struct PrometheusText {
    std::map<std::string, std::string> types; // family name -> type
    std::map<std::string, std::string> help;  // family name -> help text
    std::map<std::string, double> samples;    // "name{a=\"x\",b=\"y\"}" (labels as written) -> value

    static PrometheusText Parse(const std::string& text);
    /// The value of a sample; throws when there is none.
    double Value(const std::string& key) const;
};

} // namespace tagsink::testing
