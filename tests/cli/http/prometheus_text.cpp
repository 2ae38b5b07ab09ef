#include "prometheus_text.hpp"

#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>
#include <stdexcept>

namespace tagsink::testing {
namespace {

bool NameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
}
bool NameChar(char c) {
    return NameStart(c) || (c >= '0' && c <= '9');
}

std::string ReadName(const std::string& line, std::size_t& at, bool label) {
    const std::size_t start = at;
    if (at >= line.size() || !NameStart(line[at]) || (label && line[at] == ':'))
        throw std::runtime_error("a name was expected at column " + std::to_string(at + 1));
    while (at < line.size() && NameChar(line[at]) && !(label && line[at] == ':'))
        ++at;
    return line.substr(start, at - start);
}

double ReadValue(const std::string& text) {
    if (text == "NaN")
        return std::nan("");
    if (text == "+Inf")
        return HUGE_VAL;
    if (text == "-Inf")
        return -HUGE_VAL;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size())
        throw std::runtime_error("\"" + text + "\" is not a sample value");
    return value;
}

// The family a sample belongs to: histogram and summary samples carry suffixes.
std::string FamilyOf(const std::string& name, const std::map<std::string, std::string>& types) {
    for (const char* suffix : {"_bucket", "_sum", "_count"}) {
        const std::string s = suffix;
        if (name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0) {
            const std::string base = name.substr(0, name.size() - s.size());
            auto found = types.find(base);
            if (found != types.end() && (found->second == "histogram" || found->second == "summary"))
                return base;
        }
    }
    return name;
}

} // namespace

PrometheusText PrometheusText::Parse(const std::string& text) {
    PrometheusText out;
    std::set<std::string> finished; // families whose samples have ended
    std::string current;            // the family of the last sample
    std::set<std::string> sampled;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    if (!text.empty() && text.back() != '\n')
        throw std::runtime_error("the text does not end with a line feed");
    while (std::getline(lines, line)) {
        ++number;
        try {
            if (line.empty())
                continue;
            if (line[0] == '#') {
                std::istringstream words(line.substr(1));
                std::string keyword, name;
                words >> keyword >> name;
                if (keyword != "HELP" && keyword != "TYPE")
                    continue; // another comment
                std::size_t at = 0;
                if (ReadName(name, at, false) != name)
                    throw std::runtime_error("bad metric name \"" + name + "\"");
                std::string rest;
                std::getline(words, rest);
                if (!rest.empty() && rest[0] == ' ')
                    rest.erase(0, 1);
                if (keyword == "HELP") {
                    if (out.help.count(name))
                        throw std::runtime_error("a second HELP for " + name);
                    out.help[name] = rest;
                } else {
                    static const std::set<std::string> kTypes = {"counter", "gauge", "histogram", "summary",
                                                                 "untyped"};
                    if (!kTypes.count(rest))
                        throw std::runtime_error("unknown type \"" + rest + "\"");
                    if (out.types.count(name))
                        throw std::runtime_error("a second TYPE for " + name);
                    if (sampled.count(name))
                        throw std::runtime_error("the TYPE of " + name + " comes after its samples");
                    out.types[name] = rest;
                }
                continue;
            }
            std::size_t at = 0;
            const std::string name = ReadName(line, at, false);
            std::string key = name;
            if (at < line.size() && line[at] == '{') {
                key += '{';
                ++at;
                std::set<std::string> labels;
                bool first = true;
                while (at < line.size() && line[at] != '}') {
                    if (!first) {
                        if (line[at] != ',')
                            throw std::runtime_error("a comma between labels was expected");
                        ++at;
                        key += ',';
                    }
                    first = false;
                    const std::string label = ReadName(line, at, true);
                    if (!labels.insert(label).second)
                        throw std::runtime_error("label " + label + " twice");
                    if (at + 1 >= line.size() || line[at] != '=' || line[at + 1] != '"')
                        throw std::runtime_error("=\" was expected after label " + label);
                    at += 2;
                    key += label + "=\"";
                    for (;;) {
                        if (at >= line.size())
                            throw std::runtime_error("the label value of " + label + " is not closed");
                        const char c = line[at++];
                        if (c == '"')
                            break;
                        if (c == '\\') {
                            if (at >= line.size() || (line[at] != '\\' && line[at] != '"' && line[at] != 'n'))
                                throw std::runtime_error("a bad escape in the value of " + label);
                            key += c;
                            key += line[at++];
                            continue;
                        }
                        key += c;
                    }
                    key += '"';
                }
                if (at >= line.size())
                    throw std::runtime_error("the labels are not closed");
                ++at;
                key += '}';
            }
            if (at >= line.size() || line[at] != ' ')
                throw std::runtime_error("a space before the value was expected");
            std::istringstream rest(line.substr(at + 1));
            std::string value, stamp, extra;
            rest >> value >> stamp >> extra;
            if (!extra.empty())
                throw std::runtime_error("text after the time stamp");
            if (!stamp.empty() && stamp.find_first_not_of("-0123456789") != std::string::npos)
                throw std::runtime_error("bad time stamp \"" + stamp + "\"");
            const std::string family = FamilyOf(name, out.types);
            if (family != current) {
                if (finished.count(family))
                    throw std::runtime_error("the samples of " + family + " are not together");
                if (!current.empty())
                    finished.insert(current);
                current = family;
            }
            sampled.insert(family);
            if (out.samples.count(key))
                throw std::runtime_error("sample " + key + " twice");
            out.samples[key] = ReadValue(value);
        } catch (const std::runtime_error& error) {
            throw std::runtime_error("line " + std::to_string(number) + " \"" + line + "\": " + error.what());
        }
    }
    return out;
}

double PrometheusText::Value(const std::string& key) const {
    auto found = samples.find(key);
    if (found == samples.end())
        throw std::runtime_error("no sample " + key);
    return found->second;
}

} // namespace tagsink::testing
