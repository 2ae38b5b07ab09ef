#include "model/project_file.hpp"

#include "extended_float.hpp"
#include "platform/ascii.hpp"
#include "model/enumerations.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/project_error.hpp"
#include "model/server.hpp"
#include "text_encoding.hpp"

#include <array>
#include <cstdint>

namespace tagsink {

namespace {

// The input ended inside a block. Kept apart from other failures so that it is never wrapped into an
// "Error reading" message.
class StreamReadError : public ProjectError {
public:
    StreamReadError() : ProjectError("Stream read error") {}
};

[[noreturn]] void InvalidValue() {
    throw ProjectError(kInvalidPropertyValue);
}

enum class BlockClass { Server, Group, Item };

class Reader {
public:
    Reader(std::string_view data, const PropertyReadObserver& observer) : data_(data), observer_(observer) {}

    void Read(TServer& root) {
        if (data_.size() < kProjectSignature.size() ||
            data_.substr(0, kProjectSignature.size()) != kProjectSignature)
            throw ProjectError("Invalid stream format");
        pos_ = kProjectSignature.size();

        Prefix();
        ShortString(); // the root's class name: the data goes into the existing root whatever it says
        const std::string name = ShortString();
        Named(root, name);
        Properties(root);
        Children(root);
    }

private:
    void Need(std::size_t n) const {
        if (data_.size() - pos_ < n)
            throw StreamReadError();
    }
    std::uint8_t Peek() const {
        Need(1);
        return static_cast<std::uint8_t>(data_[pos_]);
    }
    std::uint8_t Byte() {
        const std::uint8_t b = Peek();
        ++pos_;
        return b;
    }
    std::uint32_t U32() {
        Need(4);
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<std::uint8_t>(data_[pos_ + static_cast<std::size_t>(i)]);
        pos_ += 4;
        return v;
    }
    std::string_view Bytes(std::size_t n) {
        Need(n);
        const std::string_view view = data_.substr(pos_, n);
        pos_ += n;
        return view;
    }
    std::string ShortString() { return std::string(Bytes(Byte())); }

    /// Integer value after its type byte has been read.
    std::int64_t IntegerData(std::uint8_t type) {
        switch (type) {
        case 0x02:
            return static_cast<std::int8_t>(Byte());
        case 0x03: {
            const std::uint16_t lo = Byte();
            const std::uint16_t hi = Byte();
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
        }
        case 0x04:
            return static_cast<std::int32_t>(U32());
        default:
            InvalidValue();
        }
    }
    static bool IsIntegerType(std::uint8_t type) { return type >= 0x02 && type <= 0x04; }

    void Prefix() {
        const std::uint8_t b = Peek();
        if ((b & 0xF0) != 0xF0)
            return;
        ++pos_;
        const unsigned flags = b & 0x0F;
        if (flags & 0x01)
            throw ProjectError("Invalid stream format: an object block is marked as inherited (prefix " +
                               Hex(b) + "), which project files never contain");
        if (flags & 0x02)
            IntegerData(Byte()); // the child position of an ordered block: not used
    }

    static std::string Hex(std::uint8_t b) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        return {kDigits[b >> 4], kDigits[b & 0x0F]};
    }

    static std::string ObjectLabel(const TNamedItem& object) {
        return object.Name().empty() ? std::string(object.ClassName()) : object.Name();
    }

    [[noreturn]] static void PropertyFailure(const TNamedItem& object, std::string_view property,
                                             std::string_view message) {
        throw ProjectError("Error reading " + ObjectLabel(object) + "." + std::string(property) + ": " +
                           std::string(message));
    }

    static void Named(TNamedItem& object, const std::string& name) {
        try {
            object.SetName(name);
        } catch (const std::exception& e) {
            PropertyFailure(object, "Name", e.what());
        }
    }

    std::string Text(std::uint8_t type) {
        switch (type) {
        case 0x06:
            return detail::Cp936ToUtf8(Bytes(Byte()));
        case 0x0C:
            return detail::Cp936ToUtf8(Bytes(U32()));
        case 0x14:
            return detail::SanitizeUtf8(Bytes(U32()));
        case 0x12: {
            const std::uint32_t count = U32();
            if (count > (data_.size() - pos_) / 2)
                throw StreamReadError();
            std::u16string units(count, u'\0');
            for (auto& unit : units) {
                const std::uint16_t lo = Byte();
                const std::uint16_t hi = Byte();
                unit = static_cast<char16_t>(lo | (hi << 8));
            }
            return detail::Utf16ToUtf8(units);
        }
        default:
            InvalidValue();
        }
    }

    void Value(TNamedItem& object, const PropInfo& prop) {
        const std::uint8_t type = Byte();
        switch (prop.Type->Kind) {
        case TypeKind::Integer:
            if (!IsIntegerType(type))
                InvalidValue();
            SetOrdProp(object, prop, IntegerData(type));
            return;
        case TypeKind::Enumeration: {
            if (type != 0x07)
                InvalidValue();
            const std::string identifier = ShortString();
            const auto ordinal = EnumValue(*prop.Type, identifier);
            if (!ordinal)
                InvalidValue();
            SetOrdProp(object, prop, *ordinal);
            return;
        }
        case TypeKind::Float:
            if (type == 0x05) {
                std::array<std::uint8_t, 10> raw{};
                for (auto& b : raw)
                    b = Byte();
                SetFloatProp(object, prop, detail::ExtendedToFloat(raw));
            } else if (IsIntegerType(type)) {
                SetFloatProp(object, prop, static_cast<double>(IntegerData(type)));
            } else {
                InvalidValue();
            }
            return;
        case TypeKind::String:
            SetStrProp(object, prop, Text(type));
            return;
        case TypeKind::Unknown:
        case TypeKind::Char: // kinds the project classes do not publish
        case TypeKind::Set:
        case TypeKind::Class:
        case TypeKind::Method:
        case TypeKind::Variant:
        case TypeKind::Int64:
            break;
        }
        InvalidValue();
    }

    void Properties(TNamedItem& object) {
        while (Peek() != 0x00) {
            const std::string name = ShortString();
            const PropInfo* prop = object.GetClassInfo().FindProperty(name);
            try {
                if (!prop || !prop->CanWrite())
                    throw ProjectError("Property " + name + " does not exist");
                Value(object, *prop);
            } catch (const StreamReadError&) {
                throw;
            } catch (const std::exception& e) {
                PropertyFailure(object, name, e.what());
            }
            if (observer_)
                observer_(object, *prop);
        }
        ++pos_;
    }

    static BlockClass ClassOf(const std::string& name) {
        if (qz::EqualsNoCase(name, "TServer"))
            return BlockClass::Server;
        if (qz::EqualsNoCase(name, "TGroup"))
            return BlockClass::Group;
        if (qz::EqualsNoCase(name, "TItem"))
            return BlockClass::Item;
        throw ProjectError("Class " + name + " not found");
    }

    // Blocks nest root > group > item; anything else is refused before an object is created, so the
    // recursion below is at most three levels deep whatever the input.
    void Children(TNamedItem& parent) {
        while (Peek() != 0x00) {
            Prefix();
            const std::string class_name = ShortString();
            const std::string name = ShortString();
            const BlockClass cls = ClassOf(class_name);
            TNamedItem* child = nullptr;
            if (auto* server = dynamic_cast<TServer*>(&parent)) {
                if (cls != BlockClass::Group)
                    Misplaced(class_name, name, parent);
                child = &TGroup::Create(*server);
            } else if (auto* group = dynamic_cast<TGroup*>(&parent)) {
                if (cls != BlockClass::Item)
                    Misplaced(class_name, name, parent);
                child = &TItem::Create(*group);
            } else {
                Misplaced(class_name, name, parent);
            }
            Named(*child, name);
            Properties(*child);
            Children(*child);
        }
        ++pos_;
    }

    [[noreturn]] static void Misplaced(const std::string& class_name, const std::string& name,
                                       const TNamedItem& parent) {
        const std::string block = class_name + " block " + (name.empty() ? std::string("(unnamed)") : name);
        const std::string where = std::string(parent.ClassName()) + " " + ObjectLabel(parent);
        std::string rule;
        if (qz::EqualsNoCase(class_name, "TServer"))
            rule = "a project has exactly one root";
        else if (qz::EqualsNoCase(class_name, "TGroup"))
            rule = "groups belong directly under the root";
        else
            rule = "items belong inside a group";
        throw ProjectError("Misplaced " + block + " inside " + where + ": " + rule);
    }

    std::string_view data_;
    const PropertyReadObserver& observer_;
    std::size_t pos_ = 0;
};

} // namespace

void ReadProjectStream(std::string_view bytes, TServer& root, const PropertyReadObserver& observer) {
    if (root.GroupCount() != 0)
        throw ProjectError("A project file can only be read into a project without groups");
    Reader(bytes, observer).Read(root);
}

} // namespace tagsink
