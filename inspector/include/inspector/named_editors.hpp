// The standard editors of the named toolkit types: colour, cursor, font charset, font name, input
// method name, font, picture, modal result, pen and brush style, tab order, shortcut, string list,
// caption, component name, date, time and date-time.
#pragma once

#include "inspector/kind_editors.hpp"

namespace tagsink::inspector {

class TQZColorPropEditor : public TQZIntegerPropEditor {
    QZ_EDITOR_CLASS(TQZColorPropEditor, TQZIntegerPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
    void GetValues(QStringList& values) override;
    void Edit() override;
    void ValuesMeasureWidth(const QString& value, const QFontMetrics& fm, int& width) override;
    void ValuesDrawValue(const QString& value, QPainter& painter, const QRect& rect, bool selected) override;

    /// The name of a colour value (0xRRGGBB), or "" when it has none.
    static QString ColorToName(std::int64_t value);
    /// The value of a colour name (case ignored), or -1.
    static std::int64_t NameToColor(const QString& name);
    /// The text of a colour: its name, else "$00RRGGBB".
    static QString ColorToText(std::int64_t value);
};

class TQZCursorPropEditor : public TQZIntegerPropEditor {
    QZ_EDITOR_CLASS(TQZCursorPropEditor, TQZIntegerPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
    void GetValues(QStringList& values) override;
    void ValuesMeasureWidth(const QString& value, const QFontMetrics& fm, int& width) override;
    void ValuesMeasureHeight(const QString& value, const QFontMetrics& fm, int& height) override;
    void ValuesDrawValue(const QString& value, QPainter& painter, const QRect& rect, bool selected) override;
};

class TQZFontCharsetPropEditor : public TQZIntegerPropEditor {
    QZ_EDITOR_CLASS(TQZFontCharsetPropEditor, TQZIntegerPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
    void GetValues(QStringList& values) override;
};

class TQZModalResultPropEditor : public TQZIntegerPropEditor {
    QZ_EDITOR_CLASS(TQZModalResultPropEditor, TQZIntegerPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
    void GetValues(QStringList& values) override;
};

class TQZTabOrderPropEditor : public TQZIntegerPropEditor {
    QZ_EDITOR_CLASS(TQZTabOrderPropEditor, TQZIntegerPropEditor)
    TQZPropEditorAttrs GetAttributes() override { return 0; }
};

class TQZPenStylePropEditor : public TQZEnumPropEditor {
    QZ_EDITOR_CLASS(TQZPenStylePropEditor, TQZEnumPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    void ValuesMeasureWidth(const QString& value, const QFontMetrics& fm, int& width) override;
    void ValuesDrawValue(const QString& value, QPainter& painter, const QRect& rect, bool selected) override;
};

class TQZBrushStylePropEditor : public TQZEnumPropEditor {
    QZ_EDITOR_CLASS(TQZBrushStylePropEditor, TQZEnumPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    void ValuesMeasureWidth(const QString& value, const QFontMetrics& fm, int& width) override;
    void ValuesDrawValue(const QString& value, QPainter& painter, const QRect& rect, bool selected) override;
};

class TQZShortCutPropEditor : public TQZOrdinalPropEditor {
    QZ_EDITOR_CLASS(TQZShortCutPropEditor, TQZOrdinalPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
    void GetValues(QStringList& values) override;

    /// "(None)" and the standard shortcuts (108 of them), as key sequence texts.
    static QStringList StandardShortcuts();
};

class TQZCaptionPropEditor : public TQZStringPropEditor {
    QZ_EDITOR_CLASS(TQZCaptionPropEditor, TQZStringPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
};

class TQZComponentNamePropEditor : public TQZStringPropEditor {
    QZ_EDITOR_CLASS(TQZComponentNamePropEditor, TQZStringPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
};

class TQZFontNamePropEditor : public TQZStringPropEditor {
    QZ_EDITOR_CLASS(TQZFontNamePropEditor, TQZStringPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    void GetValues(QStringList& values) override;
};

class TQZImeNamePropEditor : public TQZStringPropEditor {
    QZ_EDITOR_CLASS(TQZImeNamePropEditor, TQZStringPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    void GetValues(QStringList& values) override;
};

class TQZFontPropEditor : public TQZClassPropEditor {
    QZ_EDITOR_CLASS(TQZFontPropEditor, TQZClassPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    void Edit() override;
};

class TQZPicturePropEditor : public TQZClassPropEditor {
    QZ_EDITOR_CLASS(TQZPicturePropEditor, TQZClassPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    void Edit() override;
};

class TQZStringsPropEditor : public TQZClassPropEditor {
    QZ_EDITOR_CLASS(TQZStringsPropEditor, TQZClassPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    void Edit() override;
};

class TQZDatePropEditor : public TQZPropEditor {
    QZ_EDITOR_CLASS(TQZDatePropEditor, TQZPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
};

class TQZTimePropEditor : public TQZPropEditor {
    QZ_EDITOR_CLASS(TQZTimePropEditor, TQZPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
};

class TQZDateTimePropEditor : public TQZPropEditor {
    QZ_EDITOR_CLASS(TQZDateTimePropEditor, TQZPropEditor)
    TQZPropEditorAttrs GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString& value) override;
};

} // namespace tagsink::inspector
