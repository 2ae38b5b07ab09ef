#include "inspector/type_info.hpp"

#include <algorithm>

namespace tagsink::inspector {

QString TQZTypeInfo::EnumName(std::int64_t value) const {
    const std::int64_t index = value - MinValue;
    if (index < 0 || index >= EnumNames.size()) {
        return {};
    }
    return EnumNames[static_cast<qsizetype>(index)];
}

std::int64_t TQZTypeInfo::EnumValue(const QString& name) const {
    for (qsizetype i = 0; i < EnumNames.size(); ++i) {
        if (EnumNames[i].compare(name, Qt::CaseInsensitive) == 0) {
            return MinValue + i;
        }
    }
    return -1;
}

bool TQZClassInfo::InheritsFrom(const TQZClassInfo* cls) const {
    for (const TQZClassInfo* c = this; c; c = c->Parent) {
        if (c == cls) {
            return true;
        }
    }
    return false;
}

std::vector<const TQZPropInfo*> TQZClassInfo::AllProps() const {
    std::vector<const TQZClassInfo*> chain;
    for (const TQZClassInfo* c = this; c; c = c->Parent) {
        chain.push_back(c);
    }
    std::vector<const TQZPropInfo*> result;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        for (const TQZPropInfo& p : (*it)->Props) {
            // A redeclared property replaces the ancestor's at the ancestor's place.
            auto same = std::find_if(result.begin(), result.end(), [&](const TQZPropInfo* q) {
                return q->Name.compare(p.Name, Qt::CaseInsensitive) == 0;
            });
            if (same != result.end()) {
                *same = &p;
            } else {
                result.push_back(&p);
            }
        }
    }
    return result;
}

const TQZPropInfo* TQZClassInfo::FindProp(const QString& name) const {
    for (const TQZClassInfo* c = this; c; c = c->Parent) {
        for (const TQZPropInfo& p : c->Props) {
            if (p.Name.compare(name, Qt::CaseInsensitive) == 0) {
                return &p;
            }
        }
    }
    return nullptr;
}

QString ComponentNameOf(const TQZInstance& instance) {
    if (!instance || !instance.Class) {
        return {};
    }
    if (instance.Class->NameOf) {
        return instance.Class->NameOf(instance.Object);
    }
    const TQZPropInfo* name = instance.Class->FindProp(QStringLiteral("Name"));
    if (!name || !name->CanRead() || !name->PropType || !name->PropType->IsString()) {
        return {};
    }
    const TQZValue v = name->Get(instance.Object);
    const QString* s = std::get_if<QString>(&v);
    return s ? *s : QString();
}

int ComparePropNames(const QString& a, const QString& b) {
    auto fold = [](QChar c) -> int {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') ? u - (u'a' - u'A') : u;
    };
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const int d = fold(a[i]) - fold(b[i]);
        if (d != 0) {
            return d;
        }
    }
    return static_cast<int>(a.size() - b.size());
}

} // namespace tagsink::inspector
