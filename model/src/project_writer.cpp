#include "model/project_file.hpp"

#include "extended_float.hpp"
#include "model/enumerations.hpp"
#include "model/server.hpp"
#include "text_encoding.hpp"

#include <cstdint>

namespace tagsink {

namespace {

class Writer {
public:
    std::string bytes;

    void Byte(std::uint8_t b) { bytes += static_cast<char>(b); }
    void U16(std::uint16_t v) {
        Byte(static_cast<std::uint8_t>(v));
        Byte(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            Byte(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void ShortString(std::string_view text) {
        if (text.size() > 255)
            text = text.substr(0, 255);
        Byte(static_cast<std::uint8_t>(text.size()));
        bytes.append(text);
    }

    void Integer(std::int64_t v) {
        if (v >= -128 && v <= 127) {
            Byte(0x02);
            Byte(static_cast<std::uint8_t>(v));
        } else if (v >= -32768 && v <= 32767) {
            Byte(0x03);
            U16(static_cast<std::uint16_t>(v));
        } else {
            Byte(0x04);
            U32(static_cast<std::uint32_t>(v));
        }
    }

    void Text(std::string_view text) {
        if (detail::IsAscii(text)) {
            // n == u for ASCII, so u < 2n always holds.
            if (text.size() <= 255) {
                Byte(0x06);
                ShortString(text);
            } else {
                Byte(0x0C);
                U32(static_cast<std::uint32_t>(text.size()));
                bytes.append(text);
            }
            return;
        }
        const std::string utf8 = detail::SanitizeUtf8(text);
        const std::u16string utf16 = detail::Utf8ToUtf16(utf8);
        if (utf8.size() < 2 * utf16.size()) {
            Byte(0x14);
            U32(static_cast<std::uint32_t>(utf8.size()));
            bytes.append(utf8);
        } else {
            Byte(0x12);
            U32(static_cast<std::uint32_t>(utf16.size()));
            for (char16_t unit : utf16)
                U16(static_cast<std::uint16_t>(unit));
        }
    }

    void Extended(float value) {
        for (std::uint8_t b : detail::FloatToExtended(value))
            Byte(b);
    }

    void Properties(const TNamedItem& object) {
        for (const PropInfo* prop : object.GetClassInfo().Properties()) {
            if (!prop->CanRead() || IsUnstoredValue(object, *prop))
                continue;
            switch (prop->Type->Kind) {
            case TypeKind::Integer:
                ShortString(prop->Name);
                Integer(GetOrdProp(object, *prop));
                break;
            case TypeKind::Enumeration:
                ShortString(prop->Name);
                Byte(0x07);
                ShortString(EnumName(*prop->Type, GetOrdProp(object, *prop)));
                break;
            case TypeKind::Float: {
                const auto value = static_cast<float>(GetFloatProp(object, *prop));
                if (value != 0.0f) {
                    ShortString(prop->Name);
                    Byte(0x05);
                    Extended(value);
                }
                break;
            }
            case TypeKind::String: {
                const std::string value = GetStrProp(object, *prop);
                if (!value.empty()) {
                    ShortString(prop->Name);
                    Text(value);
                }
                break;
            }
            case TypeKind::Unknown:
            case TypeKind::Char: // kinds the project classes do not publish
            case TypeKind::Set:
            case TypeKind::Class:
            case TypeKind::Method:
            case TypeKind::Variant:
            case TypeKind::Int64:
                break;
            }
        }
    }

    void Block(const TNamedItem& object) {
        Byte(0xF4);
        ShortString(object.ClassName());
        ShortString(object.Name());
        Properties(object);
        Byte(0x00);
        for (std::size_t i = 0; i < object.ChildCount(); ++i)
            Block(object.Child(i));
        Byte(0x00);
    }
};

} // namespace

std::string WriteProjectStream(const TServer& root) {
    Writer writer;
    writer.bytes.append(kProjectSignature);
    writer.Block(root);
    return std::move(writer.bytes);
}

} // namespace tagsink
