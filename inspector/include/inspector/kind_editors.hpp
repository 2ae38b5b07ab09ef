// The standard editors for the kinds of values: integer, character, enumeration, float, string, set,
// class, component reference, 64-bit integer and variant, and the nested editors of set elements and
// variant types.
#pragma once

#include "inspector/prop_editor.hpp"

namespace tagsink::inspector {

#define QZ_EDITOR_CLASS(Name, Base)                                                                          \
public:                                                                                                      \
    static const char* ClassName() {                                                                         \
        return #Name;                                                                                        \
    }                                                                                                        \
    using Base::Base;

/// Stands for a part of its parent's property and shares the parent's pairs.
class TQZNestedPropEditor : public TQZPropEditor {
public:
    static const char* ClassName() { return "TQZNestedPropEditor"; }
    explicit TQZNestedPropEditor(TQZPropEditor* parent);
    TQZNestedPropEditor(TQZCustomPropertyInspector* inspector, int prop_count)
        : TQZPropEditor(inspector, prop_count) {}
    QString GetName() override { return QStringLiteral("SubProp"); }
};

class TQZOrdinalPropEditor : public TQZPropEditor {
    QZ_EDITOR_CLASS(TQZOrdinalPropEditor, TQZPropEditor)
    bool AllEqual() override;
};

class TQZIntegerPropEditor : public TQZOrdinalPropEditor {
    QZ_EDITOR_CLASS(TQZIntegerPropEditor, TQZOrdinalPropEditor)
    QString GetValue() override;
    void SetValue(const QString& value) override;

protected:
    /// Parses a whole number ("$" or "0x" for hexadecimal) and checks the type's range.
    std::int64_t ParseInteger(const QString& text) const;
    /// Checks the type's range ("Value must be between %d and %d").
    void CheckRange(std::int64_t value) const;
};

class TQZCharPropEditor : public TQZOrdinalPropEditor {
    QZ_EDITOR_CLASS(TQZCharPropEditor, TQZOrdinalPropEditor)
    QString GetValue() override;
    void SetValue(const QString& value) override;
};

class TQZEnumPropEditor : public TQZOrdinalPropEditor {
    QZ_EDITOR_CLASS(TQZEnumPropEditor, TQZOrdinalPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
    void GetValues(QStringList& values) override;
};

class TQZSetPropEditor : public TQZOrdinalPropEditor {
    QZ_EDITOR_CLASS(TQZSetPropEditor, TQZOrdinalPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    QString GetValue() override;
    void GetProperties(TQZPropEditorList& editors) override;
};

/// One element of a set: "True" when the element is in the set.
class TQZSetElemPropEditor : public TQZNestedPropEditor {
public:
    static const char* ClassName() { return "TQZSetElemPropEditor"; }
    TQZSetElemPropEditor(TQZPropEditor* parent, int element);
    TQZPropEditorAttrs GetAttributes() override;
    QString GetName() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
    void GetValues(QStringList& values) override;
    bool AllEqual() override;

private:
    int FElement;
};

class TQZFloatPropEditor : public TQZPropEditor {
    QZ_EDITOR_CLASS(TQZFloatPropEditor, TQZPropEditor)
    bool AllEqual() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
};

class TQZStringPropEditor : public TQZPropEditor {
    QZ_EDITOR_CLASS(TQZStringPropEditor, TQZPropEditor)
    bool AllEqual() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
};

class TQZClassPropEditor : public TQZPropEditor {
    QZ_EDITOR_CLASS(TQZClassPropEditor, TQZPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    QString GetValue() override;
    void GetProperties(TQZPropEditorList& editors) override;
};

class TQZComponentPropEditor : public TQZPropEditor {
    QZ_EDITOR_CLASS(TQZComponentPropEditor, TQZPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    bool AllEqual() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
    void GetValues(QStringList& values) override;
    void GetProperties(TQZPropEditorList& editors) override;
};

class TQZInt64PropEditor : public TQZPropEditor {
    QZ_EDITOR_CLASS(TQZInt64PropEditor, TQZPropEditor)
    bool AllEqual() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
};

class TQZVariantPropEditor : public TQZPropEditor {
    QZ_EDITOR_CLASS(TQZVariantPropEditor, TQZPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
    void GetProperties(TQZPropEditorList& editors) override;
};

/// The "Type" sub-row of a variant.
class TQZVariantTypePropEditor : public TQZNestedPropEditor {
public:
    static const char* ClassName() { return "TQZVariantTypePropEditor"; }
    explicit TQZVariantTypePropEditor(TQZPropEditor* parent) : TQZNestedPropEditor(parent) {}
    TQZPropEditorAttrs GetAttributes() override;
    QString GetName() override { return QStringLiteral("Type"); }
    QString GetValue() override;
    void SetValue(const QString& value) override;
    void GetValues(QStringList& values) override;
    bool AllEqual() override;

    /// The name of a variant type code ("(Unknown)" for codes without one).
    static QString TypeName(std::uint16_t vt);
};

} // namespace tagsink::inspector
