#include "property_captions.hpp"

#include "inspector/property_inspector.hpp"

#include <QHash>

namespace tagsink::app {

namespace {

const QHash<QString, QString>& Captions() {
    static const QHash<QString, QString> kCaptions{
        {QStringLiteral("BufferCount"), QStringLiteral("记录缓存数量")},
        {QStringLiteral("BufferTime"), QStringLiteral("记录缓存时间")},
        {QStringLiteral("DBString"), QStringLiteral("数据库连接参数")},
        {QStringLiteral("OPCString"), QStringLiteral("OPC连接参数")},
        {QStringLiteral("Description"), QStringLiteral("描述")},
        {QStringLiteral("Deadband"), QStringLiteral("数据值死区")},
        {QStringLiteral("TimeField"), QStringLiteral("时间字段")},
        {QStringLiteral("TimeFieldType"), QStringLiteral("时间字段类型")},
        {QStringLiteral("KeyField"), QStringLiteral("标志字段")},
        {QStringLiteral("KeyFieldType"), QStringLiteral("标志字段类型")},
        {QStringLiteral("RecordInterval"), QStringLiteral("数据记录间隔")},
        {QStringLiteral("RecordType"), QStringLiteral("数据记录方式")},
        {QStringLiteral("RecordTimeSource"), QStringLiteral("记录时间来源")},
        {QStringLiteral("TimeZone"), QStringLiteral("时区")},
        {QStringLiteral("TimePrecision"), QStringLiteral("时间精度")},
        {QStringLiteral("TableName"), QStringLiteral("表名")},
        {QStringLiteral("TableType"), QStringLiteral("表类型")},
        {QStringLiteral("UpdateRate"), QStringLiteral("OPC采集间隔")},
        {QStringLiteral("TrigType"), QStringLiteral("数据采集方式")},
        {QStringLiteral("DefaultValue"), QStringLiteral("缺省值")},
        {QStringLiteral("CalcExpr"), QStringLiteral("计算表达式")},
        {QStringLiteral("FieldName"), QStringLiteral("数据字段名称")},
        {QStringLiteral("FieldType"), QStringLiteral("数据字段类型")},
        {QStringLiteral("GainType"), QStringLiteral("数据获取方式")},
        {QStringLiteral("ItemName"), QStringLiteral("OPC标签名称")},
        {QStringLiteral("Key"), QStringLiteral("记录标志")},
    };
    return kCaptions;
}

} // namespace

QString PropertyCaption(const QString& name) {
    return Captions().value(name, name);
}

bool ListsProperty(const QString& name) {
    return name != QLatin1String("Dirty") && name != QLatin1String("Tag") && name != QLatin1String("Name");
}

void UseProjectCaptions(inspector::TQZCustomPropertyInspector& insp) {
    using inspector::TQZCustomPropertyInspector;
    QObject::connect(&insp, &TQZCustomPropertyInspector::FilteringProp, &insp,
                     [](const inspector::TQZInstance&, const inspector::TQZPropInfo* prop, bool& include) {
                         include = ListsProperty(prop->Name);
                     });
    QObject::connect(&insp, &TQZCustomPropertyInspector::DrawingCaption, &insp,
                     [](const inspector::TQZTypeInfo*, QString& name) { name = PropertyCaption(name); });
}

} // namespace tagsink::app
