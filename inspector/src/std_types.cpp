#include "inspector/std_types.hpp"

#include <QCoreApplication>
#include "inspector/errors.hpp"

#include <QImageReader>
#include <QMetaEnum>

#include <limits>

namespace tagsink::inspector {
namespace {

TQZTypeInfo Ordinal(TQZTypeKind kind, const char* name, TQZOrdType ord, std::int64_t lo, std::int64_t hi) {
    TQZTypeInfo t;
    t.Kind = kind;
    t.Name = QString::fromLatin1(name);
    t.OrdType = ord;
    t.MinValue = lo;
    t.MaxValue = hi;
    return t;
}

TQZTypeInfo Enumeration(const char* name, const QStringList& names) {
    TQZTypeInfo t = Ordinal(TQZTypeKind::tkEnumeration, name, TQZOrdType::otUByte, 0, names.size() - 1);
    t.EnumNames = names;
    return t;
}

TQZTypeInfo Float(const char* name, TQZFloatType ft) {
    TQZTypeInfo t;
    t.Kind = TQZTypeKind::tkFloat;
    t.Name = QString::fromLatin1(name);
    t.FloatType = ft;
    return t;
}

TQZTypeInfo Simple(TQZTypeKind kind, const char* name) {
    TQZTypeInfo t;
    t.Kind = kind;
    t.Name = QString::fromLatin1(name);
    return t;
}

TQZTypeInfo ClassType(const char* name, const TQZClassInfo* cls) {
    TQZTypeInfo t = Simple(TQZTypeKind::tkClass, name);
    t.ClassType = cls;
    return t;
}

/// Names of the values lo..hi of a Qt enumeration.
template <class E> QStringList QtEnumNames(int lo, int hi) {
    const QMetaEnum e = QMetaEnum::fromType<E>();
    QStringList names;
    for (int v = lo; v <= hi; ++v) {
        names << QString::fromLatin1(e.valueToKey(v));
    }
    return names;
}

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

} // namespace

namespace StdTypes {

#define QZ_TYPE(Fn, ...)                                                                                     \
    const TQZTypeInfo* Fn() {                                                                                \
        static const TQZTypeInfo t = __VA_ARGS__;                                                            \
        return &t;                                                                                           \
    }

QZ_TYPE(Integer, Ordinal(TQZTypeKind::tkInteger, "Integer", TQZOrdType::otSLong, kInt32Min, kInt32Max))
QZ_TYPE(Cardinal, Ordinal(TQZTypeKind::tkInteger, "Cardinal", TQZOrdType::otULong, 0, 4294967295LL))
QZ_TYPE(Byte, Ordinal(TQZTypeKind::tkInteger, "Byte", TQZOrdType::otUByte, 0, 255))
QZ_TYPE(Word, Ordinal(TQZTypeKind::tkInteger, "Word", TQZOrdType::otUWord, 0, 65535))
QZ_TYPE(Char, Ordinal(TQZTypeKind::tkChar, "Char", TQZOrdType::otUByte, 0, 255))
QZ_TYPE(WideChar, Ordinal(TQZTypeKind::tkChar, "WideChar", TQZOrdType::otUWord, 0, 65535))
QZ_TYPE(Boolean, Enumeration("Boolean", {QStringLiteral("False"), QStringLiteral("True")}))
QZ_TYPE(Single, Float("Single", TQZFloatType::ftSingle))
QZ_TYPE(Double, Float("Double", TQZFloatType::ftDouble))
QZ_TYPE(Extended, Float("Extended", TQZFloatType::ftExtended))
QZ_TYPE(Currency, Float("Currency", TQZFloatType::ftCurr))
QZ_TYPE(ShortString, [] {
    TQZTypeInfo t = Simple(TQZTypeKind::tkString, "ShortString");
    t.MaxValue = 255;
    return t;
}())
QZ_TYPE(String, Simple(TQZTypeKind::tkLString, "String"))
QZ_TYPE(WideString, Simple(TQZTypeKind::tkWString, "WideString"))
QZ_TYPE(Variant, Simple(TQZTypeKind::tkVariant, "Variant"))
QZ_TYPE(Int64, Ordinal(TQZTypeKind::tkInt64, "Int64", TQZOrdType::otSLong,
                       std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()))
QZ_TYPE(NotifyEvent, Simple(TQZTypeKind::tkMethod, "TNotifyEvent"))

QZ_TYPE(TColor, Ordinal(TQZTypeKind::tkInteger, "TColor", TQZOrdType::otSLong, kInt32Min, kInt32Max))
QZ_TYPE(TCursor, Ordinal(TQZTypeKind::tkInteger, "TCursor", TQZOrdType::otSWord, -32768, 32767))
QZ_TYPE(TFontCharset, Ordinal(TQZTypeKind::tkInteger, "TFontCharset", TQZOrdType::otUByte, 0, 255))
QZ_TYPE(TFontName, Simple(TQZTypeKind::tkLString, "TFontName"))
QZ_TYPE(TImeName, Simple(TQZTypeKind::tkLString, "TImeName"))
QZ_TYPE(TCaption, Simple(TQZTypeKind::tkLString, "TCaption"))
QZ_TYPE(TComponentName, Simple(TQZTypeKind::tkLString, "TComponentName"))
QZ_TYPE(TModalResult,
        Ordinal(TQZTypeKind::tkInteger, "TModalResult", TQZOrdType::otSLong, kInt32Min, kInt32Max))
QZ_TYPE(TPenStyle, Enumeration("TPenStyle", QtEnumNames<Qt::PenStyle>(Qt::NoPen, Qt::DashDotDotLine)))
QZ_TYPE(TBrushStyle,
        Enumeration("TBrushStyle", QtEnumNames<Qt::BrushStyle>(Qt::NoBrush, Qt::DiagCrossPattern)))
QZ_TYPE(TTabOrder, Ordinal(TQZTypeKind::tkInteger, "TTabOrder", TQZOrdType::otSWord, -1, 32767))
QZ_TYPE(TShortCut, Ordinal(TQZTypeKind::tkInteger, "TShortCut", TQZOrdType::otSLong, 0, kInt32Max))
QZ_TYPE(TDate, Float("TDate", TQZFloatType::ftDouble))
QZ_TYPE(TTime, Float("TTime", TQZFloatType::ftDouble))
QZ_TYPE(TDateTime, Float("TDateTime", TQZFloatType::ftDouble))
QZ_TYPE(TFontStyle, Enumeration("TFontStyle", {QStringLiteral("fsBold"), QStringLiteral("fsItalic"),
                                               QStringLiteral("fsUnderline"), QStringLiteral("fsStrikeOut")}))
QZ_TYPE(TFontStyles, [] {
    TQZTypeInfo t = Simple(TQZTypeKind::tkSet, "TFontStyles");
    t.CompType = TFontStyle();
    return t;
}())
QZ_TYPE(TFont, ClassType("TFont", TQZFont::ClassInfo()))
QZ_TYPE(TPicture, ClassType("TPicture", TQZPicture::ClassInfo()))
QZ_TYPE(TStrings, ClassType("TStrings", TQZStrings::ClassInfo()))

#undef QZ_TYPE

} // namespace StdTypes

const TQZClassInfo* TQZFont::ClassInfo() {
    static const TQZClassInfo kCls = [] {
        TQZClassInfo c;
        c.Name = QStringLiteral("TFont");
        auto ord = [](const TQZValue& v) { return std::get<std::int64_t>(v); };
        c.Props.push_back(MakeProp<TQZFont>(
            QStringLiteral("Charset"), StdTypes::TFontCharset(),
            [](TQZFont& f) -> TQZValue { return std::int64_t{f.Charset}; },
            [ord](TQZFont& f, const TQZValue& v) { f.Charset = static_cast<int>(ord(v)); }));
        c.Props.push_back(MakeProp<TQZFont>(
            QStringLiteral("Color"), StdTypes::TColor(),
            [](TQZFont& f) -> TQZValue { return static_cast<std::int64_t>(f.Color.rgb() & 0xFFFFFF); },
            [ord](TQZFont& f, const TQZValue& v) {
                f.Color = QColor::fromRgb(static_cast<QRgb>(ord(v)) | 0xFF000000u);
            }));
        c.Props.push_back(MakeProp<TQZFont>(
            QStringLiteral("Name"), StdTypes::TFontName(),
            [](TQZFont& f) -> TQZValue { return f.Font.family(); },
            [](TQZFont& f, const TQZValue& v) { f.Font.setFamily(std::get<QString>(v)); }));
        c.Props.push_back(MakeProp<TQZFont>(
            QStringLiteral("Size"), StdTypes::Integer(),
            [](TQZFont& f) -> TQZValue { return std::int64_t{f.Font.pointSize()}; },
            [ord](TQZFont& f, const TQZValue& v) {
                const auto size = ord(v);
                if (size < 1 || size > 1638) {
                    throw EQZPropEditor(QCoreApplication::translate("tagsink::inspector",
                                                                    "Value must be between 1 and 1638"));
                }
                f.Font.setPointSize(static_cast<int>(size));
            }));
        c.Props.push_back(MakeProp<TQZFont>(
            QStringLiteral("Style"), StdTypes::TFontStyles(),
            [](TQZFont& f) -> TQZValue {
                return std::int64_t{(f.Font.bold() ? 1 : 0) | (f.Font.italic() ? 2 : 0) |
                                    (f.Font.underline() ? 4 : 0) | (f.Font.strikeOut() ? 8 : 0)};
            },
            [ord](TQZFont& f, const TQZValue& v) {
                const auto bits = ord(v);
                f.Font.setBold(bits & 1);
                f.Font.setItalic(bits & 2);
                f.Font.setUnderline(bits & 4);
                f.Font.setStrikeOut(bits & 8);
            }));
        return c;
    }();
    return &kCls;
}

void TQZPicture::LoadFromFile(const QString& file_name) {
    QImageReader reader(file_name);
    QImage image = reader.read();
    if (image.isNull()) {
        throw EQZError(QCoreApplication::translate("tagsink::inspector", "Cannot load picture %1: %2")
                           .arg(file_name, reader.errorString()));
    }
    Image = std::move(image);
    FileName = file_name;
}

const TQZClassInfo* TQZPicture::ClassInfo() {
    static const TQZClassInfo kCls = [] {
        TQZClassInfo c;
        c.Name = QStringLiteral("TPicture");
        return c;
    }();
    return &kCls;
}

const TQZClassInfo* TQZStrings::ClassInfo() {
    static const TQZClassInfo kCls = [] {
        TQZClassInfo c;
        c.Name = QStringLiteral("TStrings");
        return c;
    }();
    return &kCls;
}

} // namespace tagsink::inspector
