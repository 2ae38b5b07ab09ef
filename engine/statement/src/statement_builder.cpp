#include "engine/statement/statement_builder.hpp"

#include "engine/statement/calc_expression.hpp"
#include "engine/statement/group_rows.hpp"
#include "engine/statement/date_text.hpp"
#include "engine/statement/field_format.hpp"
#include "engine/statement/statement_log.hpp"
#include "engine/statement/value_source.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "platform/variant.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tagsink {

namespace {

struct Pair {
    std::string_view Name;
    std::string Value;
};

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

// The names already in the pair list, compared without regard to case: a plain search while the list is
// short, a hash of the lower-cased names once it is long (a row of thousands of items stays linear).
class PairNames {
public:
    explicit PairNames(const std::vector<Pair>& pairs) : pairs_(pairs) {}

    bool Contains(std::string_view name) {
        if (pairs_.size() <= kShort)
            return std::any_of(pairs_.begin(), pairs_.end(),
                               [&](const Pair& p) { return SameName(p.Name, name); });
        for (; hashed_ < pairs_.size(); ++hashed_)
            lowered_.insert(Lower(pairs_[hashed_].Name));
        return lowered_.count(Lower(name)) != 0;
    }

private:
    static constexpr std::size_t kShort = 16;

    static std::string Lower(std::string_view name) {
        std::string text(name);
        for (char& c : text)
            c = LowerAscii(c);
        return text;
    }

    const std::vector<Pair>& pairs_;
    std::unordered_set<std::string> lowered_;
    std::size_t hashed_ = 0;
};

// Calls `take` with the child indices of the row's items in child order: the items without a key merged
// with the items whose Key is exactly the row's key text.
template <class Take> void ForEachRowItem(const GroupRows& rows, const RowKey& key, Take take) {
    const std::vector<std::uint32_t>& keyless = rows.Keyless();
    auto [keyed, keyed_count] = rows.Keyed(key.Match);
    std::size_t a = 0, b = 0;
    while (a < keyless.size() || b < keyed_count) {
        if (b == keyed_count || (a < keyless.size() && keyless[a] < keyed[b]))
            take(keyless[a++]);
        else
            take(keyed[b++]);
    }
}

// A procedure argument name: the name with exactly one leading "@".
void AppendArgumentName(std::string& out, std::string_view name) {
    out.push_back('@');
    if (!name.empty() && name.front() == '@')
        name.remove_prefix(1);
    out.append(name);
}

std::string CalcValueText(TItem& item) {
    try {
        const qz::Variant result(EvaluateCalcExpr(item));
        return FormatFieldValue(result, item.FieldType());
    } catch (const std::exception& e) {
        WriteStatementLog("TItem.ValueText", "CalcExpr of " + item.Name() + " (\"" + item.CalcExpr() +
                                                 "\") gives no value: " + e.what());
        return {};
    }
}

} // namespace

bool IsKey(const TItem& item) {
    return !item.Key().empty();
}

bool HasNewValue(const TItem& item) {
    return item.GainType() == TGainType::gtFixed || item.Changed;
}

RowKey KeyText(const TItem& item) {
    const TFieldType type = item.Group().KeyFieldType();
    const qz::Variant key(item.Key());
    RowKey row;
    row.Match = FormatFieldText(key, type);
    if (!row.Match.empty())
        row.Sql = FormatFieldValue(key, type);
    return row;
}

double FileTimeToLocalDateTime(std::uint64_t file_time) {
    return FileTimeToDateTime(file_time, CurrentUtcOffsetSeconds());
}

std::string TimeText(const TItem& item, TFieldType field_type) {
    const TimeStyle style = TimeStyleOf(item.Group().Server());
    return FormatTimeValue(FileTimeInStyle(item.TimeStamp, style), field_type, style);
}

std::string CurrentTimeText(const TGroup& group, double now) {
    const TFieldType type =
        group.TimeFieldType() == TFieldType::ftUnknown ? TFieldType::ftDateTime : group.TimeFieldType();
    return FormatTimeValue(now, type, TimeStyleOf(group.Server()));
}

std::string CurrentTimeText(const TGroup& group) {
    return CurrentTimeText(group, NowInStyle(TimeStyleOf(group.Server())));
}

std::string RecordTimeText(const TGroup& group, const TItem& item) {
    const TFieldType type =
        group.TimeFieldType() == TFieldType::ftUnknown ? TFieldType::ftDateTime : group.TimeFieldType();
    switch (group.RecordTimeSource()) {
    case TTimeSource::tsClock:
        return CurrentTimeText(group);
    case TTimeSource::tsServer:
        return TimeText(item, type);
    case TTimeSource::tsAuto:
    default:
        return group.TimeFieldType() != TFieldType::ftUnknown ? TimeText(item, group.TimeFieldType())
                                                              : CurrentTimeText(group);
    }
}

std::string ValueText(TItem& item) {
    switch (item.GainType()) {
    case TGainType::gtFixed:
        return item.DefaultValue();
    case TGainType::gtCalc: {
        std::string text = CalcValueText(item);
        item.Changed = false;
        return text;
    }
    case TGainType::gtQuality: {
        std::string text = QualityValueText(item);
        item.Changed = false;
        return text;
    }
    case TGainType::gtTimeStamp: {
        std::string text = TimeStampValueText(item);
        item.Changed = false;
        return text;
    }
    case TGainType::gtGain:
    default: {
        std::string text = FormatFieldValue(item.Value, item.FieldType());
        item.Changed = false;
        return text;
    }
    }
}

std::string BuildStatement(TGroup& group, const RowKey& key, const std::string& time_text,
                           TRecordType record_type) {
    const GroupRows rows(group);
    return BuildStatement(group, rows, key, time_text, record_type);
}

std::string BuildStatement(TGroup& group, const GroupRows& rows, const RowKey& key,
                           const std::string& time_text, TRecordType record_type) {
    std::vector<Pair> pairs;
    pairs.reserve(rows.Keyless().size() + 4);
    const std::string& key_field = group.KeyField();
    if (!key.empty() && !key_field.empty())
        pairs.push_back({key_field, key.Sql});
    if (!group.TimeField().empty())
        pairs.push_back({group.TimeField(), time_text});
    PairNames names(pairs);
    ForEachRowItem(rows, key, [&](std::uint32_t index) {
        TItem& item = group.Item(index);
        const std::string& name = item.FieldName();
        if (name.empty() || names.Contains(name))
            return;
        pairs.push_back({name, ValueText(item)});
    });
    if (pairs.empty())
        return {};

    std::size_t size = group.TableName().size() + 32;
    for (const Pair& p : pairs)
        size += p.Name.size() + p.Value.size() + 3;
    std::string sql;
    sql.reserve(size);

    if (group.TableType() == TTableType::ttStoredProc) {
        sql += "exec ";
        sql += group.TableName();
        sql += ' ';
        const std::size_t known =
            static_cast<std::size_t>(std::max(group.GetProcSchema().ParameterCount(), 0));
        const std::size_t count = std::min(known, pairs.size());
        for (std::size_t i = 0; i < count; ++i) {
            if (i > 0)
                sql += ',';
            AppendArgumentName(sql, pairs[i].Name);
            sql += '=';
            sql += pairs[i].Value;
        }
        return sql;
    }

    if (record_type == TRecordType::rtUpdate) {
        if (key_field.empty() || key.empty())
            return {};
        sql += "Update ";
        sql += group.TableName();
        sql += " set ";
        for (std::size_t i = 1; i < pairs.size(); ++i) {
            if (i > 1)
                sql += ',';
            sql += pairs[i].Name;
            sql += '=';
            sql += pairs[i].Value;
            sql += ' ';
        }
        sql += " where ";
        sql += key_field;
        sql += '=';
        sql += key.Sql;
        return sql;
    }

    sql += "Insert Into ";
    sql += group.TableName();
    sql += " (";
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (i > 0)
            sql += ',';
        sql += pairs[i].Name;
    }
    sql += ") values(";
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (i > 0)
            sql += ',';
        sql += pairs[i].Value;
    }
    sql += ')';
    return sql;
}

} // namespace tagsink
