// The record statement of a group: one "Insert Into", "Update" or "exec" text built from the group's
// configuration, its items' current values, one key value and one time value.
//
// Runs on the thread that owns the project objects (the user-interface thread while the engine runs): it
// reads the group and its items and clears the items' Changed flags, without locking.
#pragma once

#include "model/enumerations.hpp"

#include <cstdint>
#include <string>

namespace tagsink {

class GroupRows;
class TGroup;
class TItem;

// The key value of one row, in the two forms the builder needs.
struct RowKey {
    std::string Sql;   // as it is written into the statement (text keys as string literals); empty: no key
    std::string Match; // as formatted, before quoting: an item belongs to this row when its Key equals this

    bool empty() const { return Sql.empty(); }
};

// An item marks a row when its Key is not empty.
bool IsKey(const TItem& item);

// A gtFixed item always has a new value; any other item when its Changed is set.
bool HasNewValue(const TItem& item);

// The item's Key taken as a text value and formatted with its group's KeyFieldType; both forms are empty when
// that type writes no text (ftUnknown) or the Key is empty. Throws ConversionError (a Key "abc" for
// ftInteger).
RowKey KeyText(const TItem& item);

// A FILETIME (100 ns ticks since 1601, UTC) as a local date-time, shifted by the offset from UTC in force
// now.
double FileTimeToLocalDateTime(std::uint64_t file_time);

// The item's TimeStamp in the project's time choices (local time to the second unless chosen otherwise),
// formatted with `field_type`. Throws ConversionError.
std::string TimeText(const TItem& item, TFieldType field_type);

// `now` (a date-time in the project's time zone) formatted with the group's TimeFieldType, or as
// ftDateTime when that is ftUnknown, in the project's precision.
std::string CurrentTimeText(const TGroup& group, double now);
// The same for the current time (local unless the project chose UTC).
std::string CurrentTimeText(const TGroup& group);

// The record time of a data-change row that `item` triggered, by the group's RecordTimeSource:
//   tsAuto   the item's TimeText for the TimeFieldType when that is set, else the current time
//   tsClock  the current time
//   tsServer the item's TimeText (the server's time stamp), as ftDateTime when TimeFieldType is ftUnknown
std::string RecordTimeText(const TGroup& group, const TItem& item);

// The text the item contributes to a statement:
//   gtGain  its Value formatted with its FieldType; then its Changed is cleared
//   gtFixed its DefaultValue, verbatim (the operator's own SQL text)
//   gtQuality   the OPC quality of its value (value_source.hpp); then its Changed is cleared
//   gtTimeStamp the server's time stamp of its value (value_source.hpp); then its Changed is cleared
//   gtCalc  its CalcExpr evaluated and formatted with its FieldType; then its Changed is cleared. An
//           expression that gives no value yields an empty text and one log line naming the item and why.
// Throws ConversionError when a gtGain value cannot be written as the FieldType (Changed stays set).
std::string ValueText(TItem& item);

// The statement for one row of the group, or an empty text when there is none.
//   Pairs, in this order: KeyField=key (when both are set), TimeField=time_text (when TimeField is set), then
//   FieldName=ValueText for every item whose Key is empty or equals key.Match, skipping empty FieldNames and
//   names already present (compared without regard to case).
//   ttTable, rtInsert: Insert Into T (N1,N2) values(V1,V2)
//   ttTable, rtUpdate: Update T set N2=V2 ,N3=V3  where K=key (nothing without KeyField or key)
//   ttStoredProc:      exec P @N1=V1,@N2=V2 with as many arguments as the procedure has known parameters
//                      (at most one per pair); a name that already begins with "@" keeps its one "@"
// Throws ConversionError from ValueText; Changed flags cleared before the failure stay cleared.
// This form prepares the group's rows on every call (a walk over all its items); callers that build many
// rows make a GroupRows once and use the form below.
std::string BuildStatement(TGroup& group, const RowKey& key, const std::string& time_text,
                           TRecordType record_type);

// The same from a plan made for this group (GroupRows): the cost follows the row's own items, not the
// group's size.
std::string BuildStatement(TGroup& group, const GroupRows& rows, const RowKey& key,
                           const std::string& time_text, TRecordType record_type);

} // namespace tagsink
