#include "test_classes.hpp"

#include "inspector/errors.hpp"

namespace tagsink::inspector::testing {
namespace {

std::int64_t Ord(const TQZValue& v) {
    return std::get<std::int64_t>(v);
}
double Flt(const TQZValue& v) {
    return std::get<double>(v);
}
QString Str(const TQZValue& v) {
    return std::get<QString>(v);
}

/// A property of TTestObject over one member, counting writes.
template <class M>
TQZPropInfo Member(const char* name, const TQZTypeInfo* type, M TTestObject::*member, bool writable = true) {
    const QString n = QString::fromLatin1(name);
    std::function<void(TTestObject&, const TQZValue&)> set;
    if (writable) {
        set = [member, n](TTestObject& o, const TQZValue& v) {
            ++o.Writes[n];
            if constexpr (std::is_same_v<M, QString>) {
                o.*member = Str(v);
            } else if constexpr (std::is_same_v<M, double>) {
                o.*member = Flt(v);
            } else if constexpr (std::is_same_v<M, TQZVariant>) {
                o.*member = std::get<TQZVariant>(v);
            } else {
                o.*member = Ord(v);
            }
        };
    }
    return MakeProp<TTestObject>(
        n, type, [member](TTestObject& o) -> TQZValue { return o.*member; }, set);
}

} // namespace

const TQZClassInfo* TTestInner::ClassInfo() {
    static const TQZClassInfo kCls = [] {
        TQZClassInfo c;
        c.Name = QStringLiteral("TTestInner");
        c.Props.push_back(MakeProp<TTestInner>(
            QStringLiteral("Width"), StdTypes::Integer(), [](TTestInner& o) -> TQZValue { return o.Width; },
            [](TTestInner& o, const TQZValue& v) { o.Width = Ord(v); }));
        c.Props.push_back(MakeProp<TTestInner>(
            QStringLiteral("Note"), StdTypes::String(), [](TTestInner& o) -> TQZValue { return o.Note; },
            [](TTestInner& o, const TQZValue& v) { o.Note = Str(v); }));
        return c;
    }();
    return &kCls;
}

const TQZTypeInfo* TTestObject::PercentType() {
    static const TQZTypeInfo kT = [] {
        TQZTypeInfo i;
        i.Kind = TQZTypeKind::tkInteger;
        i.Name = QStringLiteral("TPercent");
        i.OrdType = TQZOrdType::otUByte;
        i.MinValue = 0;
        i.MaxValue = 100;
        return i;
    }();
    return &kT;
}

const TQZTypeInfo* TTestObject::KindType() {
    static const TQZTypeInfo kT = [] {
        TQZTypeInfo i;
        i.Kind = TQZTypeKind::tkEnumeration;
        i.Name = QStringLiteral("TTestKind");
        i.OrdType = TQZOrdType::otUByte;
        i.MinValue = 0;
        i.MaxValue = 2;
        i.EnumNames = {QStringLiteral("tkAlpha"), QStringLiteral("tkBeta"), QStringLiteral("tkGamma")};
        return i;
    }();
    return &kT;
}

const TQZTypeInfo* TTestObject::FlagsType() {
    static const TQZTypeInfo kT = [] {
        TQZTypeInfo i;
        i.Kind = TQZTypeKind::tkSet;
        i.Name = QStringLiteral("TTestKinds");
        i.CompType = KindType();
        return i;
    }();
    return &kT;
}

const TQZClassInfo* TTestObject::ClassInfo() {
    static TQZClassInfo cls;
    static const TQZTypeInfo kBuddyType = [] {
        TQZTypeInfo i;
        i.Kind = TQZTypeKind::tkClass;
        i.Name = QStringLiteral("TTestObject");
        i.ClassType = &cls;
        return i;
    }();
    static const TQZTypeInfo kInnerType = [] {
        TQZTypeInfo i;
        i.Kind = TQZTypeKind::tkClass;
        i.Name = QStringLiteral("TTestInner");
        i.ClassType = TTestInner::ClassInfo();
        return i;
    }();
    if (!cls.Name.isEmpty()) {
        return &cls;
    }
    cls.Name = QStringLiteral("TTestObject");
    cls.IsComponent = true;
    auto& p = cls.Props;
    p.push_back(Member("Name", StdTypes::TComponentName(), &TTestObject::Name));
    p.push_back(Member("Percent", PercentType(), &TTestObject::Percent));
    p.push_back(Member("Count", StdTypes::Integer(), &TTestObject::Count));
    p.push_back(Member("Unsigned", StdTypes::Cardinal(), &TTestObject::Unsigned));
    p.push_back(Member("Letter", StdTypes::Char(), &TTestObject::Letter));
    p.push_back(Member("Kind", KindType(), &TTestObject::Kind));
    p.push_back(Member("Flags", FlagsType(), &TTestObject::Flags));
    p.push_back(Member("Ratio", StdTypes::Double(), &TTestObject::Ratio));
    p.push_back(Member("Level", StdTypes::Single(), &TTestObject::Level));
    p.push_back(Member("Text", StdTypes::String(), &TTestObject::Text));
    p.push_back(Member("Caption", StdTypes::TCaption(), &TTestObject::Caption));
    p.push_back(Member("Big", StdTypes::Int64(), &TTestObject::Big));
    p.push_back(Member("Value", StdTypes::Variant(), &TTestObject::Value));
    p.push_back(Member("Color", StdTypes::TColor(), &TTestObject::Color));
    p.push_back(Member("Cursor", StdTypes::TCursor(), &TTestObject::Cursor));
    p.push_back(Member("Charset", StdTypes::TFontCharset(), &TTestObject::Charset));
    p.push_back(Member("FontName", StdTypes::TFontName(), &TTestObject::FontName));
    p.push_back(Member("ImeName", StdTypes::TImeName(), &TTestObject::ImeName));
    p.push_back(MakeProp<TTestObject>(
        QStringLiteral("Font"), StdTypes::TFont(),
        [](TTestObject& o) -> TQZValue { return o.Font.Instance(); },
        [](TTestObject& o, const TQZValue& v) {
            ++o.Writes[QStringLiteral("Font")];
            o.Font = *static_cast<TQZFont*>(std::get<TQZInstance>(v).Object);
        }));
    p.push_back(MakeProp<TTestObject>(
        QStringLiteral("Picture"), StdTypes::TPicture(),
        [](TTestObject& o) -> TQZValue { return o.Picture.Instance(); },
        [](TTestObject& o, const TQZValue& v) {
            ++o.Writes[QStringLiteral("Picture")];
            o.Picture = *static_cast<TQZPicture*>(std::get<TQZInstance>(v).Object);
        }));
    p.push_back(MakeProp<TTestObject>(
        QStringLiteral("Lines"), StdTypes::TStrings(),
        [](TTestObject& o) -> TQZValue { return o.Lines.Instance(); },
        [](TTestObject& o, const TQZValue& v) {
            ++o.Writes[QStringLiteral("Lines")];
            o.Lines = *static_cast<TQZStrings*>(std::get<TQZInstance>(v).Object);
        }));
    p.push_back(Member("ModalResult", StdTypes::TModalResult(), &TTestObject::ModalResult));
    p.push_back(Member("Pen", StdTypes::TPenStyle(), &TTestObject::Pen));
    p.push_back(Member("Brush", StdTypes::TBrushStyle(), &TTestObject::Brush));
    p.push_back(Member("TabOrder", StdTypes::TTabOrder(), &TTestObject::TabOrder));
    p.push_back(Member("ShortCut", StdTypes::TShortCut(), &TTestObject::ShortCut));
    p.push_back(Member("Day", StdTypes::TDate(), &TTestObject::Day));
    p.push_back(Member("Clock", StdTypes::TTime(), &TTestObject::Clock));
    p.push_back(Member("Stamp", StdTypes::TDateTime(), &TTestObject::Stamp));
    p.push_back(MakeProp<TTestObject>(
        QStringLiteral("Buddy"), &kBuddyType,
        [](TTestObject& o) -> TQZValue {
            return o.Buddy ? TQZInstance{o.Buddy, TTestObject::ClassInfo()} : TQZInstance{};
        },
        [](TTestObject& o, const TQZValue& v) {
            ++o.Writes[QStringLiteral("Buddy")];
            o.Buddy = static_cast<TTestObject*>(std::get<TQZInstance>(v).Object);
        }));
    p.push_back(MakeProp<TTestObject>(QStringLiteral("Inner"), &kInnerType, [](TTestObject& o) -> TQZValue {
        return TQZInstance{&o.Inner, TTestInner::ClassInfo()};
    }));
    p.push_back(Member("OnClick", StdTypes::NotifyEvent(), &TTestObject::OnClick));
    p.push_back(Member("ReadOnlyText", StdTypes::String(), &TTestObject::Text, false));
    p.push_back(MakeProp<TTestObject>(
        QStringLiteral("Failing"), StdTypes::String(), [](TTestObject& o) -> TQZValue { return o.Failing; },
        [](TTestObject& o, const TQZValue& v) {
            ++o.Writes[QStringLiteral("Failing")];
            if (std::get<QString>(v) == QLatin1String("bad")) {
                throw std::runtime_error("Disk is full");
            }
            o.Failing = std::get<QString>(v);
        }));
    return &cls;
}

const TQZClassInfo* TOtherObject::ClassInfo() {
    static const TQZClassInfo kCls = [] {
        TQZClassInfo c;
        c.Name = QStringLiteral("TOtherObject");
        c.IsComponent = true;
        c.Props.push_back(MakeProp<TOtherObject>(
            QStringLiteral("Name"), StdTypes::TComponentName(),
            [](TOtherObject& o) -> TQZValue { return o.Name; },
            [](TOtherObject& o, const TQZValue& v) { o.Name = Str(v); }));
        c.Props.push_back(MakeProp<TOtherObject>(
            QStringLiteral("Count"), StdTypes::Integer(), [](TOtherObject& o) -> TQZValue { return o.Count; },
            [](TOtherObject& o, const TQZValue& v) { o.Count = Ord(v); }));
        c.Props.push_back(MakeProp<TOtherObject>(
            QStringLiteral("text"), StdTypes::String(), [](TOtherObject& o) -> TQZValue { return o.Text; },
            [](TOtherObject& o, const TQZValue& v) { o.Text = Str(v); }));
        c.Props.push_back(MakeProp<TOtherObject>(
            QStringLiteral("Kind"), StdTypes::String(), [](TOtherObject& o) -> TQZValue { return o.Kind; },
            [](TOtherObject& o, const TQZValue& v) { o.Kind = Str(v); }));
        c.Props.push_back(MakeProp<TOtherObject>(
            QStringLiteral("Day"), StdTypes::TDate(), [](TOtherObject& o) -> TQZValue { return o.Day; },
            [](TOtherObject& o, const TQZValue& v) { o.Day = Flt(v); }));
        return c;
    }();
    return &kCls;
}

} // namespace tagsink::inspector::testing
