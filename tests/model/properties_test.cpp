#include "model/enumerations.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/project_error.hpp"
#include "model/server.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tagsink {
namespace {

std::vector<std::string> NamesOf(const ClassInfo& info) {
    std::vector<std::string> names;
    for (const PropInfo* prop : info.Properties())
        names.emplace_back(prop->Name);
    return names;
}

TEST(Properties, DeclaredOrderOfEveryClass) {
    EXPECT_EQ(NamesOf(TServer::StaticClassInfo()),
              (std::vector<std::string>{"OPCString", "DBString", "BufferCount", "BufferTime", "Description",
                                        "TimeZone", "TimePrecision"}));
    EXPECT_EQ(NamesOf(TGroup::StaticClassInfo()),
              (std::vector<std::string>{"TableType", "TableName", "TimeField", "TimeFieldType", "KeyField",
                                        "KeyFieldType", "RecordInterval", "RecordType", "TrigType",
                                        "UpdateRate", "Deadband", "Description", "RecordTimeSource"}));
    EXPECT_EQ(NamesOf(TItem::StaticClassInfo()),
              (std::vector<std::string>{"FieldName", "FieldType", "ItemName", "GainType", "DefaultValue",
                                        "CalcExpr", "Key"}));
    for (const PropInfo* prop : TGroup::StaticClassInfo().Properties())
        EXPECT_EQ(TGroup::StaticClassInfo().Properties()[static_cast<std::size_t>(prop->Index)], prop);
}

TEST(Properties, KindsAndSharedTypeIdentity) {
    const ClassInfo& group = TGroup::StaticClassInfo();
    const ClassInfo& item = TItem::StaticClassInfo();
    EXPECT_EQ(group.FindProperty("TimeFieldType")->Type, item.FindProperty("FieldType")->Type);
    EXPECT_EQ(group.FindProperty("TimeFieldType")->Type, &kFieldTypeInfo);
    EXPECT_EQ(group.FindProperty("Deadband")->Type->Kind, TypeKind::Float);
    EXPECT_EQ(group.FindProperty("Deadband")->Type->Float, FloatType::Single);
    EXPECT_EQ(group.FindProperty("RecordInterval")->Type->Kind, TypeKind::Integer);
    EXPECT_EQ(group.FindProperty("TableName")->Type->Kind, TypeKind::String);
    EXPECT_EQ(group.FindProperty("tablename"), group.FindProperty("TableName"));
    EXPECT_EQ(group.FindProperty("Name"), nullptr);
    EXPECT_TRUE(group.InheritsFrom(TNamedItem::StaticClassInfo()));
    EXPECT_FALSE(group.InheritsFrom(item));
}

TEST(Properties, EnumerationsHaveTheirIdentifiersAndOrdinals) {
    ASSERT_EQ(kFieldTypeNames.size(), 38u);
    EXPECT_EQ(ToString(TFieldType::ftUnknown), "ftUnknown");
    EXPECT_EQ(ToString(TFieldType::ftFloat), "ftFloat");
    EXPECT_EQ(static_cast<int>(TFieldType::ftFloat), 6);
    EXPECT_EQ(static_cast<int>(TFieldType::ftBlob), 15);
    EXPECT_EQ(static_cast<int>(TFieldType::ftWideString), 24);
    EXPECT_EQ(ToString(TFieldType::ftWideString), "ftWideString");
    EXPECT_EQ(ToString(TFieldType::ftFMTBcd), "ftFMTBcd");
    EXPECT_EQ(static_cast<int>(TFieldType::ftFMTBcd), 37);
    EXPECT_EQ(kFieldTypeInfo.MaxValue, 37);
    for (std::size_t i = 0; i < kFieldTypeNames.size(); ++i)
        EXPECT_EQ(EnumValue(kFieldTypeInfo, kFieldTypeNames[i]), static_cast<std::int64_t>(i));
    EXPECT_EQ(ToString(TTableType::ttStoredProc), "ttStoredProc");
    EXPECT_EQ(ToString(TRecordType::rtUpdate), "rtUpdate");
    EXPECT_EQ(ToString(TTrigType::ttDataChange), "ttDataChange");
    EXPECT_EQ(ToString(TGainType::gtCalc), "gtCalc");
    EXPECT_EQ(EnumValue(kTableTypeInfo, "TTTABLE"), 0);
    EXPECT_EQ(EnumValue(kTableTypeInfo, "ttTables"), std::nullopt);
    EXPECT_EQ(ToString(TGainType::gtQuality), "gtQuality");
    EXPECT_EQ(ToString(TGainType::gtTimeStamp), "gtTimeStamp");
    EXPECT_EQ(static_cast<int>(TGainType::gtQuality), 3);
    EXPECT_EQ(static_cast<int>(TGainType::gtTimeStamp), 4);
    EXPECT_EQ(EnumName(kGainTypeInfo, 5), "");
    EXPECT_EQ(ToString(TTimeZone::tzUTC), "tzUTC");
    EXPECT_EQ(ToString(TTimePrecision::tpMilliseconds), "tpMilliseconds");
    EXPECT_EQ(ToString(TTimeSource::tsServer), "tsServer");
}

TEST(Properties, GenericAccessReadsAndWritesTheObject) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    const ClassInfo& info = group.GetClassInfo();
    SetEnumProp(group, *info.FindProperty("TableType"), "ttstoredproc");
    EXPECT_EQ(group.TableType(), TTableType::ttStoredProc);
    SetOrdProp(group, *info.FindProperty("RecordInterval"), -5);
    EXPECT_EQ(group.RecordInterval(), -5);
    SetFloatProp(group, *info.FindProperty("Deadband"), 0.5);
    EXPECT_EQ(GetFloatProp(group, *info.FindProperty("Deadband")), 0.5);
    SetStrProp(group, *info.FindProperty("TableName"), "T1");
    EXPECT_EQ(GetStrProp(group, *info.FindProperty("TableName")), "T1");
    SetOrdProp(group, *info.FindProperty("KeyFieldType"), 15);
    EXPECT_EQ(GetEnumProp(group, *info.FindProperty("KeyFieldType")), "ftBlob");
    EXPECT_THROW(SetOrdProp(group, *info.FindProperty("KeyFieldType"), 38), ProjectError);
    EXPECT_THROW(SetOrdProp(group, *info.FindProperty("UpdateRate"), 1ll << 40), ProjectError);
    EXPECT_THROW(SetEnumProp(group, *info.FindProperty("TableType"), "ttView"), ProjectError);
    EXPECT_THROW(GetStrProp(group, *info.FindProperty("UpdateRate")), ProjectError);
    EXPECT_EQ(group.KeyFieldType(), TFieldType::ftBlob);
}

} // namespace
} // namespace tagsink
