#include "project_text.hpp"

#include "platform/ascii.hpp"
#include "model/enumerations.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/project_error.hpp"
#include "model/server.hpp"

#include <nlohmann/json.hpp>

#include <cctype>
#include <charconv>
#include <cmath>
#include <istream>
#include <iterator>
#include <limits>
#include <ostream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tagsink {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kFormatKey = "tagsink-project";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Floats that JSON numbers cannot carry travel as these words.
constexpr std::string_view kNaN = "NaN";
constexpr std::string_view kInfinity = "Infinity";
constexpr std::string_view kMinusInfinity = "-Infinity";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

std::string JsonText(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// ---------------------------------------------------------------------------------------------------
// Export

// Writes the shortest decimal that reads back to the same float (or double), with a plain exponent
// ("1e-05" becomes "1e-5"), so that a value written by hand comes back from the export as it was.
std::string FloatText(double value, bool single) {
    if (std::isnan(value))
        return std::string(kNaN);
    if (std::isinf(value))
        return std::string(value > 0 ? kInfinity : kMinusInfinity);
    char buffer[64];
    const auto result = single ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value))
                               : std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    const auto e = text.find('e');
    if (e == std::string::npos)
        return text;
    std::string mantissa = text.substr(0, e);
    std::string_view exponent = std::string_view(text).substr(e + 1);
    std::string sign;
    if (!exponent.empty() && (exponent.front() == '+' || exponent.front() == '-')) {
        if (exponent.front() == '-')
            sign = "-";
        exponent.remove_prefix(1);
    }
    while (exponent.size() > 1 && exponent.front() == '0')
        exponent.remove_prefix(1);
    return mantissa + "e" + sign + std::string(exponent);
}

std::string HeaderLine(const TNamedItem& object) {
    std::string header = "[" + std::string(object.ClassName());
    const TNamedItem* owner = object.Owner();
    if (owner && owner->Owner()) // an item: its group's name, a dot and its own name
        header += " " + owner->Name() + "." + object.Name();
    else if (!object.Name().empty())
        header += " " + object.Name();
    return header + "]";
}

void WriteBlock(std::ostream& out, const TNamedItem& object, const StoredProperties* stored) {
    out << '\n' << HeaderLine(object) << '\n';
    for (const PropInfo* prop : object.GetClassInfo().Properties()) {
        std::string value;
        switch (prop->Type->Kind) {
        case TypeKind::Integer:
            value = std::to_string(GetOrdProp(object, *prop));
            break;
        case TypeKind::Enumeration:
            value = GetEnumProp(object, *prop);
            break;
        case TypeKind::Float:
            value = FloatText(GetFloatProp(object, *prop), prop->Type->Float == FloatType::Single);
            break;
        case TypeKind::String:
            value = JsonText(Json((stored && !stored->count({&object, prop})) ? std::string()
                                                                              : GetStrProp(object, *prop)));
            break;
        case TypeKind::Unknown:
        case TypeKind::Char: // kinds the project classes do not publish
        case TypeKind::Set:
        case TypeKind::Class:
        case TypeKind::Method:
        case TypeKind::Variant:
        case TypeKind::Int64:
            continue;
        }
        out << prop->Name << " = " << value << '\n';
    }
}

// ---------------------------------------------------------------------------------------------------
// Import: both forms are read into records, which one builder turns into objects.

struct Value {
    Json json;
    std::string raw;   // the number as written (block form), for an exact float conversion
    bool bare = false; // a word without quotes (block form): an identifier, NaN, Infinity, -Infinity
};

struct Entry {
    std::string key;
    Value value;
    std::size_t line = 0;
};

struct Record {
    std::size_t line = 0;
    std::string cls;
    bool has_name = false;
    std::string name;
    bool has_group = false;
    std::string group;
    std::vector<Entry> props;
};

std::string Found(const Value& value) {
    if (value.bare)
        return "the word " + value.json.get<std::string>();
    if (value.json.is_number())
        return "the number " + (value.raw.empty() ? JsonText(value.json) : value.raw);
    if (value.json.is_string())
        return "the string " + JsonText(value.json);
    return std::string(value.json.type_name());
}

std::string StripJsonPrefix(std::string_view message) {
    // "[json.exception.parse_error.101] parse error at line 1, column 7: ..." -> "column 7: ..."
    if (const auto close = message.find("] "); close != std::string_view::npos)
        message.remove_prefix(close + 2);
    if (const auto at = message.find("at line 1, "); at != std::string_view::npos)
        return std::string(message.substr(at + 11));
    return std::string(message);
}

bool IsJsonNumber(std::string_view text) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i > start;
    };
    if (i < text.size() && text[i] == '-')
        ++i;
    if (i < text.size() && text[i] == '0')
        ++i;
    else if (!digits())
        return false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (!digits())
            return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (!digits())
            return false;
    }
    return i == text.size();
}

bool IsWord(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
              c == '-'))
            return false;
    return true;
}

struct Lines {
    std::vector<std::string_view> text; // without line ends
};

Lines SplitLines(std::string_view text) {
    Lines lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.text.push_back(text.substr(start));
            break;
        }
        lines.text.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool IsIgnored(std::string_view line) {
    const auto trimmed = Trim(line);
    return trimmed.empty() || trimmed.front() == '#';
}

class Reader {
public:
    explicit Reader(std::string_view source) : source_(source) {}

    [[noreturn]] void Fail(std::size_t line, std::string_view problem) const {
        throw TextError(source_, line, problem);
    }

    // Parses one JSON value, refusing duplicate keys (compared without regard to letter case) in any
    // object of it.
    Json ParseJson(std::string_view text, std::size_t line, std::string_view what) const {
        std::vector<std::unordered_map<std::string, std::string>> keys;
        std::string duplicate;
        const Json::parser_callback_t check = [&](int, Json::parse_event_t event, Json& parsed) {
            if (event == Json::parse_event_t::object_start)
                keys.emplace_back();
            else if (event == Json::parse_event_t::object_end && !keys.empty())
                keys.pop_back();
            else if (event == Json::parse_event_t::key && !keys.empty() && duplicate.empty()) {
                const std::string key = parsed.get<std::string>();
                const auto [it, added] = keys.back().emplace(qz::AsciiLowerCopy(key), key);
                if (!added)
                    duplicate = "duplicate key " + Quoted(key) + ": " + Quoted(it->second) +
                                " is already given on this line (keys are compared without regard to "
                                "letter case)";
            }
            return true;
        };
        Json value;
        try {
            value = Json::parse(text, check);
        } catch (const Json::exception& e) {
            // parse errors, and numbers too large for any number type (out_of_range)
            Fail(line, std::string(what) + StripJsonPrefix(e.what()));
        }
        if (!duplicate.empty())
            Fail(line, duplicate);
        return value;
    }

    // The format line {"tagsink-project":N}: returns N, or 0 when the line is no format line.
    int FormatVersion(std::string_view text, std::size_t line) const {
        const auto trimmed = Trim(text);
        if (trimmed.empty() || trimmed.front() != '{' ||
            trimmed.find(std::string("\"") + std::string(kFormatKey) + "\"") == std::string_view::npos)
            return 0;
        const Json object = ParseJson(trimmed, line, "bad JSON: ");
        if (!object.is_object() || !object.contains(std::string(kFormatKey)))
            return 0;
        const Json& version = object.at(std::string(kFormatKey));
        if (object.size() != 1 || !version.is_number_integer() || version.get<long long>() < 1 ||
            version.get<long long>() > kProjectTextVersion)
            Fail(line, "unsupported format line " + JsonText(object) +
                           "; this program reads {\"tagsink-project\":1} (JSON lines) and "
                           "{\"tagsink-project\":2} (blocks)");
        return static_cast<int>(version.get<long long>());
    }

    // Format 1: one JSON object per line.
    void JsonLines(const Lines& lines, std::size_t first, std::vector<Record>& records) const {
        for (std::size_t i = first; i < lines.text.size(); ++i) {
            const std::size_t line = i + 1;
            if (IsIgnored(lines.text[i]))
                continue;
            const Json object = ParseJson(Trim(lines.text[i]), line, "bad JSON: ");
            if (!object.is_object())
                Fail(line, "expected a JSON object {...}, found " + Found(Value{object, {}, false}));
            Record record;
            record.line = line;
            bool saw_class = false;
            for (auto it = object.begin(); it != object.end(); ++it) {
                const std::string& key = it.key();
                if (qz::EqualsNoCase(key, kFormatKey))
                    Fail(line, "the format line {\"tagsink-project\":1} must be the first line");
                const auto text = [&](std::string_view what) {
                    if (!it->is_string())
                        Fail(line, "\"" + std::string(what) + "\" must be a string, found " +
                                       Found(Value{*it, {}, false}));
                    return it->get<std::string>();
                };
                if (qz::EqualsNoCase(key, "class")) {
                    record.cls = text("class");
                    saw_class = true;
                } else if (qz::EqualsNoCase(key, "name")) {
                    record.name = text("name");
                    record.has_name = true;
                } else if (qz::EqualsNoCase(key, "group")) {
                    record.group = text("group");
                    record.has_group = true;
                } else {
                    record.props.push_back({key, Value{*it, {}, false}, line});
                }
            }
            if (!saw_class)
                Fail(line, "missing \"class\" (TServer, TGroup or TItem)");
            records.push_back(std::move(record));
        }
    }

    // Format 2: blocks, a header line [TClass name] and one "Property = value" line per property.
    void Blocks(const Lines& lines, std::size_t first, std::vector<Record>& records) const {
        for (std::size_t i = first; i < lines.text.size(); ++i) {
            const std::size_t line = i + 1;
            if (IsIgnored(lines.text[i]))
                continue;
            const std::string_view text = Trim(lines.text[i]);
            if (text.front() == '[') {
                records.push_back(Header(text, line));
                continue;
            }
            const auto equals = text.find('=');
            if (equals == std::string_view::npos)
                Fail(line, "expected a line 'Property = value' or a block header such as [TGroup Group1], "
                           "found " +
                               Quoted(text));
            const std::string key(Trim(text.substr(0, equals)));
            if (key.empty())
                Fail(line, "a property line without a property name before '='");
            if (records.empty())
                Fail(line, "the property " + Quoted(key) +
                               " stands before the first block header such as [TServer Manager]");
            records.back().props.push_back({key, BlockValue(Trim(text.substr(equals + 1)), key, line), line});
        }
    }

private:
    Record Header(std::string_view text, std::size_t line) const {
        if (text.back() != ']')
            Fail(line, "a block header ends with ']': [TServer Manager], [TGroup Group1] or "
                       "[TItem Group1.Item1]");
        const std::string_view inner = Trim(text.substr(1, text.size() - 2));
        const auto space = inner.find_first_of(" \t");
        Record record;
        record.line = line;
        record.cls = std::string(inner.substr(0, space));
        const std::string_view path =
            space == std::string_view::npos ? std::string_view() : Trim(inner.substr(space));
        if (qz::EqualsNoCase(record.cls, "TItem")) {
            const auto dot = path.find('.');
            if (dot == std::string_view::npos)
                Fail(line,
                     "an item block names its group and itself: [TItem Group1.Item1], found " + Quoted(text));
            record.has_group = true;
            record.group = std::string(path.substr(0, dot));
            record.name = std::string(path.substr(dot + 1));
        } else {
            record.name = std::string(path);
        }
        record.has_name = true;
        return record;
    }

    Value BlockValue(std::string_view text, const std::string& key, std::size_t line) const {
        if (text.empty())
            Fail(line, key + ": no value after '='");
        if (text.front() == '"') {
            const Json value = ParseJson(text, line, key + ": bad string: ");
            if (!value.is_string())
                Fail(line, key + ": expected a string in double quotes, found " + Quoted(text));
            return Value{value, {}, false};
        }
        if (IsJsonNumber(text)) {
            Json value;
            try {
                value = Json::parse(text);
            } catch (const Json::exception&) {
                Fail(line, "bad number: " + key + ": " + std::string(text) + " is beyond every number type");
            }
            return Value{value, std::string(text), false};
        }
        if (IsWord(text))
            return Value{Json(std::string(text)), {}, true};
        Fail(line,
             key + ": expected a string in double quotes, a number or an identifier, found " + Quoted(text));
    }

    std::string_view source_;
};

std::string Label(std::string_view cls, const TNamedItem* group, std::string_view name) {
    std::string label(cls);
    label += ' ';
    if (group)
        label += group->Name() + ".";
    label += name.empty() ? "(no name)" : std::string(name);
    return label;
}

std::string Label(const TNamedItem& object) {
    const TNamedItem* owner = object.Owner();
    return Label(object.ClassName(), owner && owner->Owner() ? owner : nullptr, object.Name());
}

class Builder {
public:
    Builder(std::string_view source, TServer& root, int version)
        : source_(source), root_(root), version_(version), unit_(version == 1 ? "line" : "block") {}

    void Build(const std::vector<Record>& records) {
        Plan(records);
        TGroup* group = nullptr;
        std::size_t group_record = 0;
        for (std::size_t r = 0; r < records.size(); ++r) {
            const Record& record = records[r];
            line_ = record.line;
            TNamedItem* target = nullptr;
            if (qz::EqualsNoCase(record.cls, "TServer")) {
                target = &root_;
                if (record.has_name)
                    Name(root_, record.name, "TServer", nullptr);
            } else if (qz::EqualsNoCase(record.cls, "TGroup")) {
                group = &TGroup::Create(root_);
                group_record = r;
                target = group;
                Name(*group, record.has_name ? record.name : Generated(root_, "Group", root_names_), "TGroup",
                     nullptr);
            } else {
                if (record.has_group && !qz::EqualsNoCase(record.group, group->Name()))
                    WrongGroup(record, *group);
                TItem& item = TItem::Create(*group);
                target = &item;
                Name(item,
                     record.has_name ? record.name : Generated(*group, "Item", item_names_[group_record]),
                     "TItem", group);
            }
            lines_[target] = record.line;
            std::unordered_map<std::string, const Entry*> keys;
            for (const Entry& entry : record.props) {
                line_ = entry.line;
                const auto [it, added] = keys.emplace(qz::AsciiLowerCopy(entry.key), &entry);
                if (!added)
                    Fail(Label(*target) + ": duplicate property " + Quoted(entry.key) + ": " +
                         Quoted(it->second->key) + " is already given" +
                         (it->second->line == entry.line ? std::string(" on this line")
                                                         : " on line " + std::to_string(it->second->line)) +
                         " (keys are compared without regard to letter case)");
                SetProperty(*target, entry.key, entry.value);
            }
        }
        if (!saw_root_)
            throw TextError(source_, 0,
                            records.empty() ? "the text holds no project: a project text has a TServer " +
                                                  std::string(unit_) + " (the root), and this one has none"
                                            : "the text has no TServer " + std::string(unit_) +
                                                  " (the root): a project text has exactly one");
    }

private:
    [[noreturn]] void Fail(std::string_view problem) const { throw TextError(source_, line_, problem); }

    // Checks the order of the objects and collects the names the text gives, so that generated names
    // never take a name that a later line gives explicitly.
    void Plan(const std::vector<Record>& records) {
        bool saw_group = false;
        std::size_t group_record = 0;
        for (std::size_t r = 0; r < records.size(); ++r) {
            const Record& record = records[r];
            line_ = record.line;
            if (qz::EqualsNoCase(record.cls, "TServer")) {
                if (saw_root_)
                    Fail("a second TServer " + std::string(unit_) + ": a project has exactly one root");
                if (saw_group)
                    Fail("the TServer " + std::string(unit_) + " must come before the first TGroup " +
                         std::string(unit_));
                saw_root_ = true;
            } else if (qz::EqualsNoCase(record.cls, "TGroup")) {
                saw_group = true;
                group_record = r;
                if (record.has_name && !record.name.empty())
                    root_names_.insert(qz::AsciiLowerCopy(record.name));
                group_names_.insert(qz::AsciiLowerCopy(record.name));
            } else if (qz::EqualsNoCase(record.cls, "TItem")) {
                if (!saw_group)
                    Fail(version_ == 1 ? "a TItem line must follow the line of its TGroup"
                                       : "the item block [TItem " + record.group + "." + record.name +
                                             "] stands before any TGroup block: an item block follows its "
                                             "group's block");
                if (record.has_name && !record.name.empty())
                    item_names_[group_record].insert(qz::AsciiLowerCopy(record.name));
            } else {
                Fail("unknown class " + Quoted(record.cls) + " (expected TServer, TGroup or TItem)");
            }
        }
    }

    void WrongGroup(const Record& record, const TGroup& group) {
        const std::string label = "TItem " + record.group + "." + record.name;
        const std::string here = "TGroup " + (group.Name().empty() ? "(no name)" : group.Name()) + " (line " +
                                 std::to_string(lines_[&group]) + ")";
        if (!group_names_.count(qz::AsciiLowerCopy(record.group)))
            Fail(label + ": names the group " + Quoted(record.group) +
                 ", which the text does not have; it stands below " + here);
        Fail(label + ": names the group " + Quoted(record.group) + " but stands below " + here +
             ": an item follows its own group's " + std::string(unit_) + " and that group's other items");
    }

    std::string Generated(const TNamedItem& owner, std::string_view prefix,
                          const std::unordered_set<std::string>& reserved) {
        int& n = next_[&owner];
        if (n < 1)
            n = 1;
        for (;; ++n) {
            std::string name = std::string(prefix) + std::to_string(n);
            if (!owner.FindChild(name) && !reserved.count(qz::AsciiLowerCopy(name)))
                return name;
        }
    }

    void Name(TNamedItem& object, const std::string& name, std::string_view cls, const TNamedItem* group) {
        const std::string label = Label(cls, group, name);
        if (name.size() > TNamedItem::kMaxNameLength)
            Fail(label + ": the name has " + std::to_string(name.size()) + " characters; " +
                 std::string(NameRule()));
        if (!TNamedItem::IsValidName(name))
            Fail(label + ": ''" + name + "'' is not a valid component name; " + std::string(NameRule()));
        if (const TNamedItem* owner = object.Owner(); owner && !name.empty()) {
            if (const TNamedItem* other = owner->FindChild(name)) {
                const auto line = lines_.find(other);
                Fail(label + ": A component named " + name + " already exists: " + Label(*other) +
                     (line != lines_.end() ? " on line " + std::to_string(line->second) : std::string()) +
                     " (names are compared without regard to letter case)");
            }
        }
        try {
            object.SetName(name);
        } catch (const ProjectError& e) {
            Fail(label + ": " + e.what());
        }
    }

    void SetProperty(TNamedItem& object, const std::string& key, const Value& value) {
        const std::string label = Label(object) + ": ";
        const PropInfo* prop = object.GetClassInfo().FindProperty(key);
        if (!prop || !prop->CanWrite()) {
            std::string known;
            for (const PropInfo* p : object.GetClassInfo().Properties())
                known += (known.empty() ? "" : ", ") + std::string(p->Name);
            Fail(label + "unknown property " + Quoted(key) + " of " + std::string(object.ClassName()) +
                 "; its properties are " + known);
        }
        const Json& json = value.json;
        const std::string where = std::string(prop->Name) + ": ";
        try {
            switch (prop->Type->Kind) {
            case TypeKind::Integer: {
                const bool whole = json.is_number_integer();
                const long double v = whole ? (json.is_number_unsigned()
                                                   ? static_cast<long double>(json.get<unsigned long long>())
                                                   : static_cast<long double>(json.get<long long>()))
                                            : 0.0L;
                if (!whole || v < static_cast<long double>(prop->Type->MinValue) ||
                    v > static_cast<long double>(prop->Type->MaxValue))
                    Fail(label + "bad number: " + where + "expected a whole number from " +
                         std::to_string(prop->Type->MinValue) + " to " +
                         std::to_string(prop->Type->MaxValue) + ", found " + Found(value));
                SetOrdProp(object, *prop, static_cast<std::int64_t>(v));
                return;
            }
            case TypeKind::Enumeration: {
                if (!json.is_string())
                    Fail(label + "bad enumeration identifier: " + where + "expected a " +
                         std::string(prop->Type->Name) + " identifier (" + AllowedIdentifiers(*prop->Type) +
                         "), found " + Found(value));
                const std::string identifier = json.get<std::string>();
                if (!EnumValue(*prop->Type, identifier))
                    Fail(label + "bad enumeration identifier: " + where + Quoted(identifier) + " is not a " +
                         std::string(prop->Type->Name) +
                         " identifier; allowed: " + AllowedIdentifiers(*prop->Type));
                SetEnumProp(object, *prop, identifier);
                return;
            }
            case TypeKind::Float: {
                SetFloatProp(object, *prop, FloatValue(*prop, value, label + "bad number: " + where));
                return;
            }
            case TypeKind::String:
                if (!json.is_string() || value.bare)
                    Fail(label + "bad value: " + where + "expected a string in double quotes, found " +
                         Found(value));
                SetStrProp(object, *prop, json.get<std::string>());
                return;
            case TypeKind::Unknown:
            case TypeKind::Char: // kinds the project classes do not publish
            case TypeKind::Set:
            case TypeKind::Class:
            case TypeKind::Method:
            case TypeKind::Variant:
            case TypeKind::Int64:
                break;
            }
        } catch (const ProjectError& e) {
            Fail(label + where + e.what());
        }
        Fail(label + "unknown property " + Quoted(key) + " of " + std::string(object.ClassName()));
    }

    double FloatValue(const PropInfo& prop, const Value& value, const std::string& where) {
        const bool single = prop.Type->Float == FloatType::Single;
        const Json& json = value.json;
        if (json.is_string()) {
            const std::string text = json.get<std::string>();
            if (text == kNaN)
                return std::numeric_limits<double>::quiet_NaN();
            if (text == kInfinity)
                return std::numeric_limits<double>::infinity();
            if (text == kMinusInfinity)
                return -std::numeric_limits<double>::infinity();
        }
        if (!json.is_number())
            Fail(where + "expected a number, NaN, Infinity or -Infinity, found " + Found(value));
        const double wide = json.get<double>();
        // from half a step above the largest float on, a number rounds to infinity
        constexpr double kSingleLimit = 0x1.ffffffp+127;
        if (single && std::fabs(wide) >= kSingleLimit)
            Fail(where + (value.raw.empty() ? JsonText(json) : value.raw) +
                 " is beyond the range of a 32-bit float");
        if (single && !value.raw.empty()) {
            // The float nearest to the decimal itself, not to its nearest double.
            float narrow = 0;
            const char* end = value.raw.data() + value.raw.size();
            const auto result = std::from_chars(value.raw.data(), end, narrow);
            if (result.ec == std::errc() && result.ptr == end)
                return narrow;
        }
        return single ? static_cast<double>(static_cast<float>(wide)) : wide;
    }

    std::string_view source_;
    TServer& root_;
    int version_;
    std::string_view unit_;
    std::size_t line_ = 0;
    bool saw_root_ = false;
    std::unordered_set<std::string> root_names_;  // explicit group names, lower case
    std::unordered_set<std::string> group_names_; // every group name the text gives, lower case
    std::unordered_map<std::size_t, std::unordered_set<std::string>> item_names_; // by group record
    std::unordered_map<const TNamedItem*, int> next_;
    std::unordered_map<const TNamedItem*, std::size_t> lines_;
};

} // namespace

std::string_view NameRule() {
    return "a name is empty, or an ASCII letter or '_' followed by ASCII letters, digits or '_', at most "
           "255 characters";
}

std::string AllowedIdentifiers(const TypeInfo& type) {
    std::string list;
    for (const auto name : type.EnumNames)
        list += (list.empty() ? "" : ", ") + std::string(name);
    return list;
}

std::string NameGenerator::Next(const TNamedItem& owner, std::string_view prefix) {
    return Next(owner, prefix, [](std::string_view) { return false; });
}

std::string NameGenerator::Next(const TNamedItem& owner, std::string_view prefix,
                                const std::function<bool(std::string_view)>& reserved) {
    // Names are only added while a generator is in use, so the smallest free number never goes down.
    int& n = next_[{&owner, std::string(prefix)}];
    if (n < 1)
        n = 1;
    std::string name;
    for (;; ++n) {
        name = std::string(prefix) + std::to_string(n);
        if (!owner.FindChild(name) && !reserved(name))
            return name;
    }
}

void ExportProjectText(const TServer& root, std::ostream& out, const StoredProperties* stored) {
    out << "{\"" << kFormatKey << "\":" << kProjectTextVersion << "}\n";
    WriteBlock(out, root, stored);
    for (std::size_t g = 0; g < root.GroupCount(); ++g) {
        const TGroup& group = root.Group(g);
        WriteBlock(out, group, stored);
        for (std::size_t i = 0; i < group.ItemCount(); ++i)
            WriteBlock(out, group.Item(i), stored);
    }
}

void ImportProjectText(std::istream& in, std::string_view source, TServer& root) {
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw TextError(source, 0, "cannot read the text");
    std::string_view view(text);
    if (view.substr(0, kBom.size()) == kBom)
        view.remove_prefix(kBom.size()); // a byte-order mark, before anything else
    const Lines lines = SplitLines(view);

    Reader reader(source);
    std::size_t first = 0;
    while (first < lines.text.size() && IsIgnored(lines.text[first]))
        ++first;
    int version = 1;
    if (first < lines.text.size()) {
        if (const int declared = reader.FormatVersion(lines.text[first], first + 1)) {
            version = declared;
            ++first;
        } else if (const auto line = Trim(lines.text[first]);
                   line.size() > 1 && line.front() == '[' &&
                   std::isalpha(static_cast<unsigned char>(line[1]))) {
            reader.Fail(first + 1, "a text of blocks begins with the format line {\"tagsink-project\":2}");
        }
    }
    std::vector<Record> records;
    if (version == 1)
        reader.JsonLines(lines, first, records);
    else
        reader.Blocks(lines, first, records);
    Builder(source, root, version).Build(records);
}

} // namespace tagsink
