#include "item_csv.hpp"

#include "platform/ascii.hpp"
#include "model/enumerations.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/project_error.hpp"
#include "model/server.hpp"
#include "project_text.hpp"

#include <istream>
#include <iterator>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tagsink {

namespace {

constexpr std::size_t kColumns = 6;
constexpr std::size_t kRequiredColumns = 3; // group, item name, OPC item ID

struct Record {
    std::size_t line = 0; // the line the record starts on
    std::vector<std::string> cells;
};

// RFC 4180 records: fields separated by `separator`, records by CR LF or LF; a quoted field may hold
// separators, line breaks and doubled quotes.
class CsvReader {
public:
    CsvReader(std::string_view text, std::string_view source) : text_(text), source_(source) {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF")
            text_.remove_prefix(3); // a byte-order mark that spreadsheets like to write
        separator_ = GuessSeparator();
    }

    bool Next(Record& record) {
        record.cells.clear();
        if (pos_ >= text_.size())
            return false;
        record.line = line_;
        std::string cell;
        bool quoted_cell = false;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '"' && cell.empty() && !quoted_cell) {
                quoted_cell = true;
                ReadQuoted(cell);
                continue;
            }
            if (c == separator_) {
                record.cells.push_back(std::move(cell));
                cell.clear();
                quoted_cell = false;
                ++pos_;
                continue;
            }
            if (c == '\r' || c == '\n') {
                EndOfLine();
                break;
            }
            if (quoted_cell)
                throw TextError(source_, line_, "text after the closing quote of a quoted field");
            cell += c;
            ++pos_;
        }
        record.cells.push_back(std::move(cell));
        return true;
    }

private:
    void EndOfLine() {
        if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n')
            ++pos_;
        ++pos_;
        ++line_;
    }

    void ReadQuoted(std::string& cell) {
        const std::size_t start_line = line_;
        ++pos_; // opening quote
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '"') {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
                    cell += '"';
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                return;
            }
            if (c == '\n')
                ++line_;
            cell += c;
            ++pos_;
        }
        throw TextError(source_, start_line, "a quoted field is not closed");
    }

    char GuessSeparator() const {
        std::size_t commas = 0, semicolons = 0;
        bool quoted = false;
        for (char c : text_) {
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && (c == '\n' || c == '\r'))
                break;
            else if (!quoted && c == ',')
                ++commas;
            else if (!quoted && c == ';')
                ++semicolons;
        }
        return semicolons > commas ? ';' : ',';
    }

    std::string_view text_;
    std::string_view source_;
    char separator_ = ',';
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
};

std::string Trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool IsBlank(const Record& record) {
    for (const auto& cell : record.cells)
        if (!Trimmed(cell).empty())
            return false;
    return true;
}

} // namespace

std::size_t AddItemsFromCsv(std::istream& in, std::string_view source, TServer& root) {
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw TextError(source, 0, "cannot read the text");
    CsvReader reader(text, source);
    NameGenerator names;
    std::unordered_map<const TItem*, std::size_t> lines; // the items this CSV added, by line
    std::size_t added = 0;
    bool first = true;
    std::vector<Record> records;
    for (Record record; reader.Next(record);)
        records.push_back(std::move(record));
    // The item names the CSV gives, per group (lower case): a generated name steps aside for a name that
    // a later row gives, so that the later row is not blamed for a clash it did not cause.
    std::unordered_map<std::string, std::unordered_set<std::string>> given;
    for (const Record& record : records)
        if (record.cells.size() >= 2 && !Trimmed(record.cells[1]).empty())
            given[qz::AsciiLowerCopy(Trimmed(record.cells[0]))].insert(
                qz::AsciiLowerCopy(Trimmed(record.cells[1])));
    for (Record& record : records) {
        const std::size_t line = record.line;
        const auto fail = [&](const std::string& problem) { throw TextError(source, line, problem); };
        if (IsBlank(record))
            continue;
        if (first) {
            first = false;
            if (qz::EqualsNoCase(Trimmed(record.cells[0]), "group"))
                continue; // header
        }
        if (record.cells.size() > kColumns)
            fail("expected at most 6 columns (group, item name, OPC item ID, field name, field type, key), "
                 "found " +
                 std::to_string(record.cells.size()));
        if (record.cells.size() < kRequiredColumns)
            fail("the row has " + std::to_string(record.cells.size()) +
                 (record.cells.size() == 1 ? " column" : " columns") +
                 "; a row needs at least the first 3 (group, item name, OPC item ID); field name, field "
                 "type and key may be left out");
        record.cells.resize(kColumns);
        // Names and identifiers lose surrounding blanks; the OPC item ID, the field name and the key are
        // taken as they stand.
        const std::string group_name = Trimmed(record.cells[0]);
        const std::string item_name = Trimmed(record.cells[1]);
        const std::string& item_id = record.cells[2];
        const std::string& field_name = record.cells[3];
        const std::string field_type = Trimmed(record.cells[4]);
        const std::string& key = record.cells[5];

        if (group_name.empty())
            fail("column 1 (group) is empty; every item names its group");
        if (item_id.empty())
            fail("column 3 (OPC item ID) is empty; every item needs the OPC item ID it subscribes");
        const auto check_name = [&](const std::string& name, std::string_view column) {
            if (name.size() > TNamedItem::kMaxNameLength)
                fail(std::string(column) + ": the name has " + std::to_string(name.size()) + " characters; " +
                     std::string(NameRule()));
            if (!TNamedItem::IsValidName(name))
                fail(std::string(column) + ": ''" + name + "'' is not a valid component name; " +
                     std::string(NameRule()));
        };
        check_name(group_name, "column 1 (group)");
        check_name(item_name, "column 2 (item name)");
        std::optional<std::int64_t> type = 0;
        if (!field_type.empty()) {
            type = EnumValue(kFieldTypeInfo, field_type);
            if (!type)
                fail("column 5 (field type): bad enumeration identifier: '" + field_type +
                     "' is not a TFieldType identifier; allowed: " + AllowedIdentifiers(kFieldTypeInfo));
        }

        try {
            TGroup* group = root.FindGroup(group_name);
            if (!group) {
                TGroup& created = TGroup::Create(root);
                try {
                    created.SetName(group_name);
                } catch (...) {
                    root.DeleteChild(created);
                    throw;
                }
                group = &created;
            }
            if (!item_name.empty()) {
                if (const TItem* other = group->FindItem(item_name)) {
                    const auto earlier = lines.find(other);
                    fail("column 2 (item name): group " + group->Name() + " already has an item named " +
                         other->Name() +
                         (earlier != lines.end() ? " (line " + std::to_string(earlier->second) + ")"
                                                 : std::string(" (in the project)")));
                }
            }
            TItem& item = TItem::Create(*group);
            try {
                const auto reserved = given.find(qz::AsciiLowerCopy(group_name));
                item.SetName(!item_name.empty() ? item_name
                             : reserved == given.end()
                                 ? names.Next(*group, "Item")
                                 : names.Next(*group, "Item", [&](std::string_view name) {
                                       return reserved->second.count(qz::AsciiLowerCopy(name)) > 0;
                                   }));
            } catch (...) {
                group->DeleteChild(item);
                throw;
            }
            lines[&item] = line;
            item.SetItemName(item_id);
            item.SetFieldName(field_name);
            item.SetFieldType(static_cast<TFieldType>(*type));
            item.SetKey(key);
        } catch (const ProjectError& e) {
            fail(e.what());
        }
        ++added;
    }
    return added;
}

} // namespace tagsink
