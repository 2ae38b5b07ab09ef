// Objects for the inspector tests: one published property of every kind and of every named type that
// has its own editor, with counters of setter calls.
#pragma once

#include "inspector/std_types.hpp"

#include <QMap>
#include <QString>

#include <cstdint>
#include <stdexcept>

namespace tagsink::inspector::testing {

/// A plain (non-component) object held by a class-typed property.
struct TTestInner {
    std::int64_t Width = 10;
    QString Note = QStringLiteral("inner");
    static const TQZClassInfo* ClassInfo();
};

/// A component with one property of each kind.
struct TTestObject {
    QString Name;
    std::int64_t Percent = 50; // 0..100
    std::int64_t Count = 7;
    std::int64_t Unsigned = 4000000000LL;
    std::int64_t Letter = 'A';
    std::int64_t Kind = 0;  // TTestKind
    std::int64_t Flags = 0; // set of TTestKind
    double Ratio = 0.5;
    double Level = 1.5;
    QString Text = QStringLiteral("hello");
    QString Caption = QStringLiteral("cap");
    std::int64_t Big = 1234567890123LL;
    TQZVariant Value;
    std::int64_t Color = 0xFF0000;
    std::int64_t Cursor = 0;
    std::int64_t Charset = 1;
    QString FontName = QStringLiteral("Sans");
    QString ImeName;
    TQZFont Font;
    TQZPicture Picture;
    TQZStrings Lines;
    std::int64_t ModalResult = 0;
    std::int64_t Pen = 1;
    std::int64_t Brush = 1;
    std::int64_t TabOrder = 0;
    std::int64_t ShortCut = 0;
    double Day = 0;
    double Clock = 0;
    double Stamp = 0;
    TTestObject* Buddy = nullptr;
    TTestInner Inner;
    QString OnClick;
    QString Failing;

    /// Setter calls by property name.
    QMap<QString, int> Writes;

    static const TQZClassInfo* ClassInfo();
    static const TQZTypeInfo* PercentType();
    static const TQZTypeInfo* KindType();
    static const TQZTypeInfo* FlagsType();
    TQZInstance Instance() { return {this, ClassInfo()}; }
};

/// Another class: shares some names with TTestObject, one with a different kind.
struct TOtherObject {
    QString Name;
    std::int64_t Count = 7;
    QString Text = QStringLiteral("other");
    QString Kind = QStringLiteral("not an enumeration");
    double Day = 0;
    static const TQZClassInfo* ClassInfo();
    TQZInstance Instance() { return {this, ClassInfo()}; }
};

} // namespace tagsink::inspector::testing
