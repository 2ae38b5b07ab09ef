#include "property_captions.hpp"

#include "inspector/property_inspector.hpp"

#include <QCoreApplication>
#include <QHash>

namespace tagsink::app {

namespace {

// The captions are the program's own (Chinese) texts; the installed translator gives them in the
// operator's language.
const QHash<QString, const char*>& Captions() {
    static const QHash<QString, const char*> kCaptions{
        {QStringLiteral("BufferCount"), QT_TRANSLATE_NOOP("PropertyCaption", "记录缓存数量")},
        {QStringLiteral("BufferTime"), QT_TRANSLATE_NOOP("PropertyCaption", "记录缓存时间")},
        {QStringLiteral("DBString"), QT_TRANSLATE_NOOP("PropertyCaption", "数据库连接参数")},
        {QStringLiteral("OPCString"), QT_TRANSLATE_NOOP("PropertyCaption", "OPC连接参数")},
        {QStringLiteral("Description"), QT_TRANSLATE_NOOP("PropertyCaption", "描述")},
        {QStringLiteral("Deadband"), QT_TRANSLATE_NOOP("PropertyCaption", "数据值死区")},
        {QStringLiteral("TimeField"), QT_TRANSLATE_NOOP("PropertyCaption", "时间字段")},
        {QStringLiteral("TimeFieldType"), QT_TRANSLATE_NOOP("PropertyCaption", "时间字段类型")},
        {QStringLiteral("KeyField"), QT_TRANSLATE_NOOP("PropertyCaption", "标志字段")},
        {QStringLiteral("KeyFieldType"), QT_TRANSLATE_NOOP("PropertyCaption", "标志字段类型")},
        {QStringLiteral("RecordInterval"), QT_TRANSLATE_NOOP("PropertyCaption", "数据记录间隔")},
        {QStringLiteral("RecordType"), QT_TRANSLATE_NOOP("PropertyCaption", "数据记录方式")},
        {QStringLiteral("RecordTimeSource"), QT_TRANSLATE_NOOP("PropertyCaption", "记录时间来源")},
        {QStringLiteral("TimeZone"), QT_TRANSLATE_NOOP("PropertyCaption", "时区")},
        {QStringLiteral("TimePrecision"), QT_TRANSLATE_NOOP("PropertyCaption", "时间精度")},
        {QStringLiteral("TableName"), QT_TRANSLATE_NOOP("PropertyCaption", "表名")},
        {QStringLiteral("TableType"), QT_TRANSLATE_NOOP("PropertyCaption", "表类型")},
        {QStringLiteral("UpdateRate"), QT_TRANSLATE_NOOP("PropertyCaption", "OPC采集间隔")},
        {QStringLiteral("TrigType"), QT_TRANSLATE_NOOP("PropertyCaption", "数据采集方式")},
        {QStringLiteral("DefaultValue"), QT_TRANSLATE_NOOP("PropertyCaption", "缺省值")},
        {QStringLiteral("CalcExpr"), QT_TRANSLATE_NOOP("PropertyCaption", "计算表达式")},
        {QStringLiteral("FieldName"), QT_TRANSLATE_NOOP("PropertyCaption", "数据字段名称")},
        {QStringLiteral("FieldType"), QT_TRANSLATE_NOOP("PropertyCaption", "数据字段类型")},
        {QStringLiteral("GainType"), QT_TRANSLATE_NOOP("PropertyCaption", "数据获取方式")},
        {QStringLiteral("ItemName"), QT_TRANSLATE_NOOP("PropertyCaption", "OPC标签名称")},
        {QStringLiteral("Key"), QT_TRANSLATE_NOOP("PropertyCaption", "记录标志")},
    };
    return kCaptions;
}

} // namespace

QString PropertyCaption(const QString& name) {
    const auto found = Captions().constFind(name);
    if (found == Captions().constEnd()) {
        return name;
    }
    return QCoreApplication::translate("PropertyCaption", found.value());
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
