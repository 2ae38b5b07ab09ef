#include "project_text.hpp"

#include "model/ascii.hpp"
#include "model/enumerations.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/project_error.hpp"
#include "model/server.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <istream>
#include <limits>
#include <ostream>
#include <string>

namespace tagsink {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kFormatKey = "tagsink-project";
constexpr int kFormatVersion = 1;

// Floats that JSON numbers cannot carry travel as these strings.
constexpr std::string_view kNaN = "NaN";
constexpr std::string_view kInfinity = "Infinity";
constexpr std::string_view kMinusInfinity = "-Infinity";

Json FloatToJson(double value) {
    if (std::isnan(value))
        return std::string(kNaN);
    if (std::isinf(value))
        return std::string(value > 0 ? kInfinity : kMinusInfinity);
    return value;
}

Json ObjectLine(const TNamedItem& object, const StoredProperties* stored) {
    Json line;
    line["class"] = std::string(object.ClassName());
    line["name"] = object.Name();
    for (const PropInfo* prop : object.GetClassInfo().Properties()) {
        const std::string key(prop->Name);
        switch (prop->Type->Kind) {
        case TypeKind::Integer:
            line[key] = GetOrdProp(object, *prop);
            break;
        case TypeKind::Enumeration:
            line[key] = GetEnumProp(object, *prop);
            break;
        case TypeKind::Float:
            line[key] = FloatToJson(GetFloatProp(object, *prop));
            break;
        case TypeKind::String:
            if (stored && !stored->count({&object, prop}))
                line[key] = "";
            else
                line[key] = GetStrProp(object, *prop);
            break;
        case TypeKind::Unknown:
        case TypeKind::Char: // kinds the project classes do not publish
        case TypeKind::Set:
        case TypeKind::Class:
        case TypeKind::Method:
        case TypeKind::Variant:
        case TypeKind::Int64:
            break;
        }
    }
    return line;
}

void WriteLine(std::ostream& out, const Json& line) {
    out << line.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
}

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

std::string JsonTypeName(const Json& value) {
    if (value.is_number_float())
        return "the number " + value.dump();
    if (value.is_number())
        return "the number " + value.dump();
    if (value.is_string())
        return "the string " + value.dump();
    return std::string(value.type_name());
}

class Importer {
public:
    Importer(std::string_view source, TServer& root) : source_(source), root_(root) {}

    void Line(std::string_view text) {
        ++line_;
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);
        const auto first = text.find_first_not_of(" \t");
        if (first == std::string_view::npos || text[first] == '#')
            return;

        Json object;
        try {
            object = Json::parse(text);
        } catch (const Json::exception& e) {
            // parse errors, and numbers too large for any number type (out_of_range)
            Fail(std::string("bad JSON: ") + StripJsonPrefix(e.what()));
        }
        if (!object.is_object())
            Fail("expected a JSON object {...}, found " + JsonTypeName(object));

        if (object.contains(kFormatKey)) {
            FormatLine(object);
            return;
        }
        sawContent_ = true;

        const auto cls = object.find("class");
        if (cls == object.end() || !cls->is_string())
            Fail("missing \"class\" (TServer, TGroup or TItem)");
        const std::string className = cls->get<std::string>();
        TNamedItem& target = Create(className);

        if (const auto name = object.find("name"); name != object.end()) {
            if (!name->is_string())
                Fail("\"name\" must be a string, found " + JsonTypeName(*name));
            SetName(target, name->get<std::string>());
        } else if (&target != &root_) {
            SetName(target, names_.Next(*target.Owner(), className == "TGroup" ? "Group" : "Item"));
        }

        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.key() == "class" || it.key() == "name")
                continue;
            SetProperty(target, it.key(), it.value());
        }
    }

private:
    [[noreturn]] void Fail(std::string_view problem) const { throw TextError(source_, line_, problem); }

    static std::string StripJsonPrefix(std::string_view message) {
        // "[json.exception.parse_error.101] parse error at line 1, column 7: ..." -> "column 7: ..."
        if (const auto close = message.find("] "); close != std::string_view::npos)
            message.remove_prefix(close + 2);
        if (const auto at = message.find("at line 1, "); at != std::string_view::npos)
            return std::string(message.substr(at + 11));
        return std::string(message);
    }

    void FormatLine(const Json& object) {
        if (sawContent_ || sawFormat_)
            Fail("the format line {\"tagsink-project\":1} must be the first line");
        if (object.size() != 1 || !object.at(std::string(kFormatKey)).is_number_integer() ||
            object.at(std::string(kFormatKey)).get<long long>() != kFormatVersion)
            Fail("unsupported format line " + object.dump() + "; this program reads {\"tagsink-project\":1}");
        sawFormat_ = true;
    }

    TNamedItem& Create(const std::string& className) {
        if (className == "TServer") {
            if (sawRoot_)
                Fail("a second TServer line: a project has exactly one root");
            if (root_.GroupCount() > 0)
                Fail("the TServer line must come before the first TGroup line");
            sawRoot_ = true;
            return root_;
        }
        if (className == "TGroup") {
            group_ = &TGroup::Create(root_);
            return *group_;
        }
        if (className == "TItem") {
            if (!group_)
                Fail("a TItem line must follow the line of its TGroup");
            return TItem::Create(*group_);
        }
        Fail("unknown class " + Quoted(className) + " (expected TServer, TGroup or TItem)");
    }

    void SetName(TNamedItem& object, const std::string& name) {
        try {
            object.SetName(name);
        } catch (const ProjectError& e) {
            Fail(e.what());
        }
    }

    void SetProperty(TNamedItem& object, const std::string& key, const Json& value) {
        const PropInfo* prop = object.GetClassInfo().FindProperty(key);
        if (!prop || !prop->CanWrite())
            Fail("unknown property " + Quoted(key) + " of " + std::string(object.ClassName()));
        const std::string where = std::string(prop->Name) + ": ";
        try {
            switch (prop->Type->Kind) {
            case TypeKind::Integer: {
                const bool whole = value.is_number_integer();
                const long double v = whole ? (value.is_number_unsigned()
                                                   ? static_cast<long double>(value.get<unsigned long long>())
                                                   : static_cast<long double>(value.get<long long>()))
                                            : 0.0L;
                if (!whole || v < static_cast<long double>(prop->Type->MinValue) ||
                    v > static_cast<long double>(prop->Type->MaxValue))
                    Fail("bad number: " + where + "expected a whole number from " +
                         std::to_string(prop->Type->MinValue) + " to " +
                         std::to_string(prop->Type->MaxValue) + ", found " + JsonTypeName(value));
                SetOrdProp(object, *prop, static_cast<std::int64_t>(v));
                return;
            }
            case TypeKind::Enumeration: {
                if (!value.is_string())
                    Fail("bad enumeration identifier: " + where + "expected a " +
                         std::string(prop->Type->Name) + " identifier, found " + JsonTypeName(value));
                const std::string identifier = value.get<std::string>();
                if (!EnumValue(*prop->Type, identifier))
                    Fail("bad enumeration identifier: " + where + Quoted(identifier) + " is not a " +
                         std::string(prop->Type->Name) + " identifier");
                SetEnumProp(object, *prop, identifier);
                return;
            }
            case TypeKind::Float: {
                double v;
                if (value.is_number()) {
                    v = value.get<double>();
                    if (std::fabs(v) > static_cast<double>(std::numeric_limits<float>::max()))
                        Fail("bad number: " + where + value.dump() +
                             " is beyond the range of a 32-bit float");
                } else if (value.is_string() && value.get<std::string>() == kNaN) {
                    v = std::numeric_limits<double>::quiet_NaN();
                } else if (value.is_string() && value.get<std::string>() == kInfinity) {
                    v = std::numeric_limits<double>::infinity();
                } else if (value.is_string() && value.get<std::string>() == kMinusInfinity) {
                    v = -std::numeric_limits<double>::infinity();
                } else {
                    Fail("bad number: " + where + "expected a number, found " + JsonTypeName(value));
                }
                SetFloatProp(object, *prop, v);
                return;
            }
            case TypeKind::String:
                if (!value.is_string())
                    Fail("bad value: " + where + "expected a string, found " + JsonTypeName(value));
                SetStrProp(object, *prop, value.get<std::string>());
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
            Fail(where + e.what());
        }
        Fail("unknown property " + Quoted(key) + " of " + std::string(object.ClassName()));
    }

    std::string_view source_;
    TServer& root_;
    std::size_t line_ = 0;
    bool sawFormat_ = false;
    bool sawContent_ = false;
    bool sawRoot_ = false;
    TGroup* group_ = nullptr;
    NameGenerator names_;
};

} // namespace

std::string NameGenerator::Next(const TNamedItem& owner, std::string_view prefix) {
    // Names are only added while a generator is in use, so the smallest free number never goes down.
    int& n = next_[{&owner, std::string(prefix)}];
    if (n < 1)
        n = 1;
    std::string name;
    for (;; ++n) {
        name = std::string(prefix) + std::to_string(n);
        if (!owner.FindChild(name))
            return name;
    }
}

void ExportProjectText(const TServer& root, std::ostream& out, const StoredProperties* stored) {
    Json format;
    format[std::string(kFormatKey)] = kFormatVersion;
    WriteLine(out, format);
    WriteLine(out, ObjectLine(root, stored));
    for (std::size_t g = 0; g < root.GroupCount(); ++g) {
        const TGroup& group = root.Group(g);
        WriteLine(out, ObjectLine(group, stored));
        for (std::size_t i = 0; i < group.ItemCount(); ++i)
            WriteLine(out, ObjectLine(group.Item(i), stored));
    }
}

void ImportProjectText(std::istream& in, std::string_view source, TServer& root) {
    Importer importer(source, root);
    std::string line;
    while (std::getline(in, line))
        importer.Line(line);
    if (in.bad())
        throw TextError(source, 0, "cannot read the text");
}

} // namespace tagsink
