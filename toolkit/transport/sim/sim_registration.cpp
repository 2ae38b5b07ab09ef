#include "sim_registration.hpp"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tagclient::transport::sim {

namespace {

char Fold(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Splits a line into whitespace-separated tokens; double quotes group (and are removed). False when a
// quote is not closed.
bool Tokens(std::string_view line, std::vector<std::string>* out) {
    std::string current;
    bool in_token = false, quoted = false;
    for (char c : line) {
        if (quoted) {
            if (c == '"')
                quoted = false;
            else
                current += c;
            continue;
        }
        if (c == '"') {
            quoted = true;
            in_token = true;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            if (in_token)
                out->push_back(std::move(current));
            current.clear();
            in_token = false;
        } else {
            current += c;
            in_token = true;
        }
    }
    if (quoted)
        return false;
    if (in_token)
        out->push_back(std::move(current));
    return true;
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v == nullptr ? std::string() : std::string(v);
}

} // namespace

bool SameKeyName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}

std::vector<RegisteredClass> ParseRegistrations(std::string_view text, const std::string& source,
                                                std::vector<std::string>* problems) {
    std::vector<RegisteredClass> entries;
    int line_number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++line_number;
        auto problem = [&](const std::string& what) {
            if (problems)
                problems->push_back(source + ":" + std::to_string(line_number) + ": " + what);
        };
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] == '#')
            continue;
        std::vector<std::string> tokens;
        if (!Tokens(line, &tokens)) {
            problem("a quote is not closed");
            continue;
        }
        if (tokens.size() < 2) {
            problem("expected a ProgID and a class ID, found '" + std::string(line.substr(first)) + "'");
            continue;
        }
        RegisteredClass entry;
        entry.prog_id = tokens[0];
        entry.class_id_text = tokens[1];
        bool ok = true;
        for (size_t i = 2; i < tokens.size() && ok; ++i) {
            const std::string& t = tokens[i];
            size_t eq = t.find('=');
            std::string key = eq == std::string::npos ? t : t.substr(0, eq);
            std::string value = eq == std::string::npos ? std::string() : t.substr(eq + 1);
            if (eq == std::string::npos) {
                problem("expected key=value, found '" + t + "'");
                ok = false;
            } else if (key == "opc") {
                if (value != "yes" && value != "no") {
                    problem("opc is yes or no, found '" + value + "'");
                    ok = false;
                }
                entry.opc = value == "yes";
            } else if (key == "da") {
                std::stringstream list(value);
                std::string part;
                while (ok && std::getline(list, part, ',')) {
                    if (part == "1" || part == "2" || part == "3") {
                        entry.versions.push_back(part[0] - '0');
                    } else {
                        problem("da lists versions 1, 2 or 3, found '" + part + "'");
                        ok = false;
                    }
                }
            } else if (key == "server") {
                if (value != "da2" && value != "da1" && value != "minimal") {
                    problem("server is da2, da1 or minimal, found '" + value + "'");
                    ok = false;
                }
                entry.server = value;
            } else if (key == "type") {
                entry.user_type = value;
            } else {
                problem("unknown key '" + key + "'");
                ok = false;
            }
        }
        if (ok)
            entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<std::string> RegistrationFilePaths() {
    std::vector<std::string> paths;
    std::string dirs = Env("XDG_CONFIG_DIRS");
    if (dirs.empty())
        dirs = "/etc/xdg";
    std::vector<std::string> system;
    std::stringstream list(dirs);
    std::string dir;
    while (std::getline(list, dir, ':'))
        if (!dir.empty())
            system.push_back(dir);
    for (auto it = system.rbegin(); it != system.rend(); ++it)
        paths.push_back(*it + "/tagclient/servers.conf");
    std::string home = Env("XDG_CONFIG_HOME");
    if (home.empty() && !Env("HOME").empty())
        home = Env("HOME") + "/.config";
    if (!home.empty())
        paths.push_back(home + "/tagclient/servers.conf");
    return paths;
}

std::vector<RegisteredClass> LoadRegistrations(std::vector<std::string>* problems) {
    std::vector<RegisteredClass> merged;
    for (const std::string& path : RegistrationFilePaths()) {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            continue;
        std::stringstream text;
        text << in.rdbuf();
        for (RegisteredClass& entry : ParseRegistrations(text.str(), path, problems)) {
            bool replaced = false;
            for (RegisteredClass& existing : merged) {
                if (SameKeyName(existing.prog_id, entry.prog_id)) {
                    existing = entry;
                    replaced = true;
                    break;
                }
            }
            if (!replaced)
                merged.push_back(std::move(entry));
        }
    }
    return merged;
}

} // namespace tagclient::transport::sim
