// Type descriptors of the ordinary kinds and of the named toolkit types that have their own editors,
// and the toolkit classes behind the class-typed ones (font, picture, string list). Each function returns
// the one descriptor of its type.
#pragma once

#include "inspector/type_info.hpp"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QStringList>

#include <functional>
#include <utility>

namespace tagsink::inspector {

namespace StdTypes {
// Kinds.
const TQZTypeInfo* Integer();  // 32-bit signed
const TQZTypeInfo* Cardinal(); // 32-bit unsigned
const TQZTypeInfo* Byte();
const TQZTypeInfo* Word();
const TQZTypeInfo* Char();     // 8-bit character
const TQZTypeInfo* WideChar(); // 16-bit character
const TQZTypeInfo* Boolean();  // enumeration False, True
const TQZTypeInfo* Single();
const TQZTypeInfo* Double();
const TQZTypeInfo* Extended();
const TQZTypeInfo* Currency();
const TQZTypeInfo* ShortString();
const TQZTypeInfo* String();
const TQZTypeInfo* WideString();
const TQZTypeInfo* Variant();
const TQZTypeInfo* Int64();
const TQZTypeInfo* NotifyEvent(); // a method type

// Named toolkit types.
const TQZTypeInfo* TColor();         // integer: 0xRRGGBB
const TQZTypeInfo* TCursor();        // integer: a Qt cursor shape
const TQZTypeInfo* TFontCharset();   // integer 0..255
const TQZTypeInfo* TFontName();      // string
const TQZTypeInfo* TImeName();       // string
const TQZTypeInfo* TCaption();       // string
const TQZTypeInfo* TComponentName(); // string
const TQZTypeInfo* TModalResult();   // integer
const TQZTypeInfo* TPenStyle();      // enumeration of Qt pen styles
const TQZTypeInfo* TBrushStyle();    // enumeration of Qt brush styles
const TQZTypeInfo* TTabOrder();      // integer -1..32767
const TQZTypeInfo* TShortCut();      // integer: a QKeyCombination, 0 for none
const TQZTypeInfo* TDate();          // double: an OLE date
const TQZTypeInfo* TTime();
const TQZTypeInfo* TDateTime();
const TQZTypeInfo* TFontStyle();  // enumeration fsBold, fsItalic, fsUnderline, fsStrikeOut
const TQZTypeInfo* TFontStyles(); // set of TFontStyle
const TQZTypeInfo* TFont();       // class TFont
const TQZTypeInfo* TPicture();    // class TPicture
const TQZTypeInfo* TStrings();    // class TStrings
} // namespace StdTypes

/// Builds a property of class C from a getter and a setter over a C&. An empty setter makes it read-only.
template <class C>
TQZPropInfo MakeProp(const QString& name, const TQZTypeInfo* type, std::function<TQZValue(C&)> get,
                     std::function<void(C&, const TQZValue&)> set = {}) {
    TQZPropInfo p;
    p.Name = name;
    p.PropType = type;
    if (get) {
        p.Get = [get = std::move(get)](void* o) { return get(*static_cast<C*>(o)); };
    }
    if (set) {
        p.Set = [set = std::move(set)](void* o, const TQZValue& v) { set(*static_cast<C*>(o), v); };
    }
    return p;
}

/// A font: the Qt font plus the colour and character set that QFont does not carry.
class TQZFont {
public:
    QFont Font;
    QColor Color{Qt::black};
    int Charset = 1; // DEFAULT_CHARSET

    static const TQZClassInfo* ClassInfo();
    TQZInstance Instance() { return {this, ClassInfo()}; }
};

/// A picture: an image and the file it was loaded from.
class TQZPicture {
public:
    QImage Image;
    QString FileName;

    /// Loads an image file; throws EQZError with a message naming the file when it is no image.
    void LoadFromFile(const QString& file_name);
    static const TQZClassInfo* ClassInfo();
    TQZInstance Instance() { return {this, ClassInfo()}; }
};

/// A list of text lines.
class TQZStrings {
public:
    QStringList Lines;

    static const TQZClassInfo* ClassInfo();
    TQZInstance Instance() { return {this, ClassInfo()}; }
};

} // namespace tagsink::inspector
