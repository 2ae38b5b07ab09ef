#include "inspector/named_editors.hpp"

#include <QCoreApplication>
#include "locale_formats.hpp"
#include "inspector/errors.hpp"
#include "inspector/property_inspector.hpp"
#include "inspector/std_types.hpp"
#include "inspector/strings_editor_dlg.hpp"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QImageReader>
#include <QKeySequence>
#include <QLibraryInfo>
#include <QMetaEnum>

namespace tagsink::inspector {
namespace lf = locale_formats;
namespace {

QString InvalidValue() {
    return QCoreApplication::translate("tagsink::inspector", "Invalid property value");
}

/// A sample box at the left of a value cell, and the rest for the text.
QRect SampleRect(const QRect& r) {
    return {r.left() + 2, r.top() + 2, r.height() - 4, r.height() - 4};
}
QRect TextAfterSample(const QRect& r) {
    return r.adjusted(r.height() + 2, 0, 0, 0);
}

void DrawText(QPainter& p, const QRect& r, const QString& text) {
    p.drawText(r, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
}

} // namespace

// --- colour ---------------------------------------------------------------------------------------------

QString TQZColorPropEditor::ColorToName(std::int64_t value) {
    if (value < 0 || value > 0xFFFFFF) {
        return {};
    }
    const QRgb rgb = static_cast<QRgb>(value) | 0xFF000000u;
    for (const QString& name : QColor::colorNames()) {
        if (QColor::fromString(name).rgb() == rgb) {
            return name;
        }
    }
    return {};
}

std::int64_t TQZColorPropEditor::NameToColor(const QString& name) {
    for (const QString& n : QColor::colorNames()) {
        if (n.compare(name.trimmed(), Qt::CaseInsensitive) == 0) {
            return QColor::fromString(n).rgb() & 0xFFFFFF;
        }
    }
    return -1;
}

QString TQZColorPropEditor::ColorToText(std::int64_t value) {
    const QString name = ColorToName(value);
    if (!name.isEmpty()) {
        return name;
    }
    return QStringLiteral("$%1").arg(static_cast<std::uint32_t>(value), 8, 16, QLatin1Char('0')).toUpper();
}

TQZPropEditorAttrs TQZColorPropEditor::GetAttributes() {
    return eaValueList | eaDialog | eaMultiSelect | eaOwnerDrawValues;
}

QString TQZColorPropEditor::GetValue() {
    return ColorToText(GetOrdValue(0));
}

void TQZColorPropEditor::SetValue(const QString& value) {
    const std::int64_t named = NameToColor(value);
    SetOrdValue(named >= 0 ? named : ParseInteger(value));
}

void TQZColorPropEditor::GetValues(QStringList& values) {
    values << QColor::colorNames();
}

void TQZColorPropEditor::Edit() {
    const std::int64_t v = GetOrdValue(0);
    QColorDialog dlg(QColor::fromRgb(static_cast<QRgb>(v) | 0xFF000000u), Inspector());
    dlg.setOption(QColorDialog::DontUseNativeDialog);
    if (dlg.exec() == QDialog::Accepted) {
        SetOrdValue(dlg.selectedColor().rgb() & 0xFFFFFF);
    }
}

void TQZColorPropEditor::ValuesMeasureWidth(const QString& value, const QFontMetrics& fm, int& width) {
    width = fm.horizontalAdvance(value) + fm.height() + 8;
}

void TQZColorPropEditor::ValuesDrawValue(const QString& value, QPainter& painter, const QRect& rect, bool) {
    std::int64_t rgb = NameToColor(value);
    if (rgb < 0) {
        qint64 parsed = 0;
        rgb = lf::ParseInt64(value, parsed) ? parsed : -1;
    }
    const QRect swatch = SampleRect(rect);
    if (rgb >= 0) {
        painter.save();
        painter.setBrush(QColor::fromRgb(static_cast<QRgb>(rgb) | 0xFF000000u));
        painter.setPen(Qt::black);
        painter.drawRect(swatch.adjusted(0, 0, -1, -1));
        painter.restore();
    }
    DrawText(painter, TextAfterSample(rect), value);
}

// --- cursor ---------------------------------------------------------------------------------------------

namespace {

/// The Qt cursor shapes that can be chosen (no bitmap or custom cursors).
QMetaEnum CursorEnum() {
    return QMetaEnum::fromType<Qt::CursorShape>();
}

bool IsChoosableCursor(int value) {
    return value >= Qt::ArrowCursor && value <= Qt::LastCursor;
}

QString CursorName(std::int64_t value) {
    if (!IsChoosableCursor(static_cast<int>(value))) {
        return {};
    }
    const char* key = CursorEnum().valueToKey(static_cast<int>(value));
    return key ? QString::fromLatin1(key) : QString();
}

std::int64_t CursorValue(const QString& name) {
    const QMetaEnum e = CursorEnum();
    for (int i = 0; i < e.keyCount(); ++i) {
        if (IsChoosableCursor(e.value(i)) &&
            name.compare(QLatin1String(e.key(i)), Qt::CaseInsensitive) == 0) {
            return e.value(i);
        }
    }
    return -1;
}

/// A small picture of a cursor shape.
void DrawCursorGlyph(QPainter& p, const QRect& r, int shape) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    const QPointF c = QRectF(r).center();
    const qreal s = r.height() / 2.0 - 1;
    switch (shape) {
    case Qt::CrossCursor:
        p.drawLine(QPointF(c.x() - s, c.y()), QPointF(c.x() + s, c.y()));
        p.drawLine(QPointF(c.x(), c.y() - s), QPointF(c.x(), c.y() + s));
        break;
    case Qt::IBeamCursor:
        p.drawLine(QPointF(c.x(), c.y() - s), QPointF(c.x(), c.y() + s));
        p.drawLine(QPointF(c.x() - 2, c.y() - s), QPointF(c.x() + 2, c.y() - s));
        p.drawLine(QPointF(c.x() - 2, c.y() + s), QPointF(c.x() + 2, c.y() + s));
        break;
    case Qt::SizeHorCursor:
    case Qt::SplitHCursor:
        p.drawLine(QPointF(c.x() - s, c.y()), QPointF(c.x() + s, c.y()));
        p.drawLine(QPointF(c.x() - s, c.y()), QPointF(c.x() - s + 3, c.y() - 3));
        p.drawLine(QPointF(c.x() + s, c.y()), QPointF(c.x() + s - 3, c.y() - 3));
        break;
    case Qt::SizeVerCursor:
    case Qt::SplitVCursor:
        p.drawLine(QPointF(c.x(), c.y() - s), QPointF(c.x(), c.y() + s));
        p.drawLine(QPointF(c.x(), c.y() - s), QPointF(c.x() - 3, c.y() - s + 3));
        p.drawLine(QPointF(c.x(), c.y() + s), QPointF(c.x() - 3, c.y() + s - 3));
        break;
    case Qt::WaitCursor:
    case Qt::BusyCursor:
        p.drawEllipse(c, s, s);
        p.drawLine(c, QPointF(c.x(), c.y() - s + 2));
        p.drawLine(c, QPointF(c.x() + s - 2, c.y()));
        break;
    case Qt::BlankCursor:
        break;
    case Qt::ForbiddenCursor:
        p.drawEllipse(c, s, s);
        p.drawLine(QPointF(c.x() - s * 0.7, c.y() + s * 0.7), QPointF(c.x() + s * 0.7, c.y() - s * 0.7));
        break;
    case Qt::PointingHandCursor:
    case Qt::OpenHandCursor:
    case Qt::ClosedHandCursor:
        p.drawRoundedRect(QRectF(c.x() - s * 0.6, c.y() - s * 0.3, s * 1.2, s * 1.3), 2, 2);
        p.drawLine(QPointF(c.x() - s * 0.3, c.y() - s * 0.3), QPointF(c.x() - s * 0.3, c.y() - s));
        break;
    default: {
        QPolygonF arrow;
        arrow << QPointF(r.left() + 2, r.top() + 1) << QPointF(r.left() + 2, r.bottom() - 2)
              << QPointF(r.left() + s * 0.8 + 2, r.bottom() - s * 0.7)
              << QPointF(r.left() + s * 1.4 + 2, r.top() + s);
        p.setBrush(Qt::white);
        p.drawPolygon(arrow);
        break;
    }
    }
    p.restore();
}

} // namespace

TQZPropEditorAttrs TQZCursorPropEditor::GetAttributes() {
    return eaValueList | eaMultiSelect | eaSortList | eaOwnerDrawValues;
}

QString TQZCursorPropEditor::GetValue() {
    const std::int64_t v = GetOrdValue(0);
    const QString name = CursorName(v);
    return name.isEmpty() ? QString::number(v) : name;
}

void TQZCursorPropEditor::SetValue(const QString& value) {
    const std::int64_t v = CursorValue(value);
    SetOrdValue(v >= 0 ? v : ParseInteger(value));
}

void TQZCursorPropEditor::GetValues(QStringList& values) {
    const QMetaEnum e = CursorEnum();
    for (int i = 0; i < e.keyCount(); ++i) {
        if (IsChoosableCursor(e.value(i))) {
            values << QString::fromLatin1(e.key(i));
        }
    }
}

void TQZCursorPropEditor::ValuesMeasureWidth(const QString& value, const QFontMetrics& fm, int& width) {
    width = fm.horizontalAdvance(value) + fm.height() + 8;
}

void TQZCursorPropEditor::ValuesMeasureHeight(const QString&, const QFontMetrics& fm, int& height) {
    height = std::max(height, fm.height() + 4);
}

void TQZCursorPropEditor::ValuesDrawValue(const QString& value, QPainter& painter, const QRect& rect, bool) {
    const std::int64_t shape = CursorValue(value);
    if (shape >= 0) {
        DrawCursorGlyph(painter, SampleRect(rect), static_cast<int>(shape));
    }
    DrawText(painter, TextAfterSample(rect), value);
}

// --- font charset ---------------------------------------------------------------------------------------

namespace {
struct CharsetName {
    int Value;
    const char* Name;
};
constexpr CharsetName kCharsets[] = {
    {0, "ANSI_CHARSET"},      {1, "DEFAULT_CHARSET"},    {2, "SYMBOL_CHARSET"},
    {77, "MAC_CHARSET"},      {128, "SHIFTJIS_CHARSET"}, {129, "HANGEUL_CHARSET"},
    {130, "JOHAB_CHARSET"},   {134, "GB2312_CHARSET"},   {136, "CHINESEBIG5_CHARSET"},
    {161, "GREEK_CHARSET"},   {162, "TURKISH_CHARSET"},  {163, "VIETNAMESE_CHARSET"},
    {177, "HEBREW_CHARSET"},  {178, "ARABIC_CHARSET"},   {186, "BALTIC_CHARSET"},
    {204, "RUSSIAN_CHARSET"}, {222, "THAI_CHARSET"},     {238, "EASTEUROPE_CHARSET"},
    {255, "OEM_CHARSET"},
};
} // namespace

TQZPropEditorAttrs TQZFontCharsetPropEditor::GetAttributes() {
    return eaValueList | eaMultiSelect | eaSortList;
}

QString TQZFontCharsetPropEditor::GetValue() {
    const std::int64_t v = GetOrdValue(0);
    for (const CharsetName& c : kCharsets) {
        if (c.Value == v) {
            return QString::fromLatin1(c.Name);
        }
    }
    return QString::number(v);
}

void TQZFontCharsetPropEditor::SetValue(const QString& value) {
    for (const CharsetName& c : kCharsets) {
        if (value.compare(QLatin1String(c.Name), Qt::CaseInsensitive) == 0) {
            SetOrdValue(c.Value);
            return;
        }
    }
    SetOrdValue(ParseInteger(value));
}

void TQZFontCharsetPropEditor::GetValues(QStringList& values) {
    for (const CharsetName& c : kCharsets) {
        values << QString::fromLatin1(c.Name);
    }
}

// --- modal result ---------------------------------------------------------------------------------------

namespace {
const char* const kModalResults[] = {"mrNone", "mrOk", "mrCancel", "mrAbort",   "mrRetry",   "mrIgnore",
                                     "mrYes",  "mrNo", "mrAll",    "mrNoToAll", "mrYesToAll"};
}

TQZPropEditorAttrs TQZModalResultPropEditor::GetAttributes() {
    return eaValueList | eaMultiSelect;
}

QString TQZModalResultPropEditor::GetValue() {
    const std::int64_t v = GetOrdValue(0);
    if (v >= 0 && v < static_cast<std::int64_t>(std::size(kModalResults))) {
        return QString::fromLatin1(kModalResults[v]);
    }
    return QString::number(v);
}

void TQZModalResultPropEditor::SetValue(const QString& value) {
    for (size_t i = 0; i < std::size(kModalResults); ++i) {
        if (value.compare(QLatin1String(kModalResults[i]), Qt::CaseInsensitive) == 0) {
            SetOrdValue(static_cast<std::int64_t>(i));
            return;
        }
    }
    SetOrdValue(ParseInteger(value));
}

void TQZModalResultPropEditor::GetValues(QStringList& values) {
    for (const char* name : kModalResults) {
        values << QString::fromLatin1(name);
    }
}

// --- pen and brush style --------------------------------------------------------------------------------

TQZPropEditorAttrs TQZPenStylePropEditor::GetAttributes() {
    return TQZEnumPropEditor::GetAttributes() | eaOwnerDrawValues;
}

void TQZPenStylePropEditor::ValuesMeasureWidth(const QString& value, const QFontMetrics& fm, int& width) {
    width = fm.horizontalAdvance(value) + 3 * fm.height() + 8;
}

void TQZPenStylePropEditor::ValuesDrawValue(const QString& value, QPainter& painter, const QRect& rect,
                                            bool) {
    const int style = static_cast<int>(GetPropType()->EnumValue(value));
    const int sample_width = 2 * rect.height();
    if (style >= 0) {
        painter.save();
        painter.setPen(QPen(painter.pen().color(), 1, static_cast<Qt::PenStyle>(style)));
        const int y = rect.center().y();
        painter.drawLine(rect.left() + 2, y, rect.left() + sample_width, y);
        painter.restore();
    }
    DrawText(painter, rect.adjusted(sample_width + 4, 0, 0, 0), value);
}

TQZPropEditorAttrs TQZBrushStylePropEditor::GetAttributes() {
    return TQZEnumPropEditor::GetAttributes() | eaOwnerDrawValues;
}

void TQZBrushStylePropEditor::ValuesMeasureWidth(const QString& value, const QFontMetrics& fm, int& width) {
    width = fm.horizontalAdvance(value) + fm.height() + 8;
}

void TQZBrushStylePropEditor::ValuesDrawValue(const QString& value, QPainter& painter, const QRect& rect,
                                              bool) {
    const int style = static_cast<int>(GetPropType()->EnumValue(value));
    const QRect sample = SampleRect(rect);
    if (style >= 0) {
        painter.save();
        painter.setPen(Qt::black);
        painter.setBrush(QBrush(Qt::black, static_cast<Qt::BrushStyle>(style)));
        painter.drawRect(sample.adjusted(0, 0, -1, -1));
        painter.restore();
    }
    DrawText(painter, TextAfterSample(rect), value);
}

// --- shortcut -------------------------------------------------------------------------------------------

QStringList TQZShortCutPropEditor::StandardShortcuts() {
    static const QStringList kList = [] {
        QStringList l{QStringLiteral("(None)")};
        auto add = [&l](QKeyCombination k) { l << QKeySequence(k).toString(QKeySequence::PortableText); };
        for (int k = Qt::Key_A; k <= Qt::Key_Z; ++k) {
            add(Qt::CTRL | static_cast<Qt::Key>(k));
        }
        for (int k = Qt::Key_A; k <= Qt::Key_Z; ++k) {
            add(Qt::CTRL | Qt::SHIFT | static_cast<Qt::Key>(k));
        }
        const Qt::KeyboardModifiers none = Qt::NoModifier;
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
        const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
        for (Qt::KeyboardModifiers mods : {none, ctrl, shift, ctrl | shift}) {
            for (int k = Qt::Key_F1; k <= Qt::Key_F12; ++k) {
                add(QKeyCombination(mods, static_cast<Qt::Key>(k)));
            }
        }
        add(QKeyCombination(Qt::NoModifier, Qt::Key_Insert));
        add(Qt::SHIFT | Qt::Key_Insert);
        add(Qt::CTRL | Qt::Key_Insert);
        add(QKeyCombination(Qt::NoModifier, Qt::Key_Delete));
        add(Qt::SHIFT | Qt::Key_Delete);
        add(Qt::CTRL | Qt::Key_Delete);
        add(Qt::ALT | Qt::Key_Backspace);
        add(Qt::ALT | Qt::SHIFT | Qt::Key_Backspace);
        return l;
    }();
    return kList;
}

TQZPropEditorAttrs TQZShortCutPropEditor::GetAttributes() {
    return eaValueList | eaMultiSelect;
}

QString TQZShortCutPropEditor::GetValue() {
    const std::int64_t v = GetOrdValue(0);
    if (v == 0) {
        return QStringLiteral("(None)");
    }
    return QKeySequence(QKeyCombination::fromCombined(static_cast<int>(v)))
        .toString(QKeySequence::PortableText);
}

void TQZShortCutPropEditor::SetValue(const QString& value) {
    const QString t = value.trimmed();
    if (t.isEmpty() || t.compare(QLatin1String("(None)"), Qt::CaseInsensitive) == 0) {
        SetOrdValue(0);
        return;
    }
    const QKeySequence seq = QKeySequence::fromString(t, QKeySequence::PortableText);
    if (seq.count() != 1 || seq[0].key() == Qt::Key_unknown || seq[0].key() == 0 ||
        seq.toString(QKeySequence::PortableText).isEmpty()) {
        throw EQZPropEditor(InvalidValue());
    }
    SetOrdValue(seq[0].toCombined());
}

void TQZShortCutPropEditor::GetValues(QStringList& values) {
    values << StandardShortcuts();
}

// --- strings: caption, component name, font name, input method name -------------------------------------

TQZPropEditorAttrs TQZCaptionPropEditor::GetAttributes() {
    return eaMultiSelect | eaAutoUpdate;
}

TQZPropEditorAttrs TQZComponentNamePropEditor::GetAttributes() {
    return eaNotNestable;
}

TQZPropEditorAttrs TQZFontNamePropEditor::GetAttributes() {
    return eaValueList | eaMultiSelect | eaSortList;
}

void TQZFontNamePropEditor::GetValues(QStringList& values) {
    values << QFontDatabase::families();
}

TQZPropEditorAttrs TQZImeNamePropEditor::GetAttributes() {
    return eaValueList | eaMultiSelect | eaSortList;
}

void TQZImeNamePropEditor::GetValues(QStringList& values) {
    // The installed input methods are the platform input context plugins.
    const QDir dir(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforminputcontexts"));
    for (QString file : dir.entryList(QDir::Files)) {
        file = file.section(QLatin1Char('.'), 0, 0);
        if (file.startsWith(QLatin1String("lib"))) {
            file.remove(0, 3);
        }
        file.remove(QLatin1String("platforminputcontextplugin"));
        if (!file.isEmpty() && !values.contains(file)) {
            values << file;
        }
    }
    const QString current = qEnvironmentVariable("QT_IM_MODULE");
    if (!current.isEmpty() && !values.contains(current)) {
        values << current;
    }
}

// --- font, picture, string list -------------------------------------------------------------------------

TQZPropEditorAttrs TQZFontPropEditor::GetAttributes() {
    return eaSubProperties | eaDialog | eaMultiSelect | eaReadOnly;
}

void TQZFontPropEditor::Edit() {
    const TQZInstance held = GetObjValue(0);
    TQZFont chosen;
    if (held && held.Class && held.Class->InheritsFrom(TQZFont::ClassInfo())) {
        chosen = *static_cast<TQZFont*>(held.Object);
    }
    QFontDialog dlg(chosen.Font, Inspector());
    dlg.setOption(QFontDialog::DontUseNativeDialog);
    if (dlg.exec() != QDialog::Accepted) {
        return;
    }
    chosen.Font = dlg.selectedFont();
    SetObjValue(chosen.Instance());
}

TQZPropEditorAttrs TQZPicturePropEditor::GetAttributes() {
    return eaDialog | eaReadOnly;
}

void TQZPicturePropEditor::Edit() {
    const TQZInstance held = GetObjValue(0);
    if (!held || !held.Class || !held.Class->InheritsFrom(TQZPicture::ClassInfo())) {
        throw EQZPropEditor(
            QCoreApplication::translate("tagsink::inspector", "Property %1 holds no picture").arg(GetName()));
    }
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    }
    QFileDialog dlg(Inspector(), QCoreApplication::translate("tagsink::inspector", "Open picture"));
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setNameFilters({QCoreApplication::translate("tagsink::inspector", "Pictures (%1)")
                            .arg(patterns.join(QLatin1Char(' '))),
                        QCoreApplication::translate("tagsink::inspector", "All files (*)")});
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
        return;
    }
    // The picture of the first object is loaded in place; no change is reported.
    static_cast<TQZPicture*>(held.Object)->LoadFromFile(dlg.selectedFiles().front());
}

TQZPropEditorAttrs TQZStringsPropEditor::GetAttributes() {
    return eaDialog | eaMultiSelect | eaReadOnly;
}

void TQZStringsPropEditor::Edit() {
    const TQZInstance held = GetObjValue(0);
    TQZStrings lines;
    if (held && held.Class && held.Class->InheritsFrom(TQZStrings::ClassInfo())) {
        lines.Lines = static_cast<TQZStrings*>(held.Object)->Lines;
    }
    TStringsEditorDlg dlg(Inspector());
    dlg.SetLines(lines.Lines);
    if (dlg.exec() != QDialog::Accepted) {
        return;
    }
    lines.Lines = dlg.Lines();
    SetObjValue(lines.Instance());
}

// --- date, time, date-time ------------------------------------------------------------------------------

TQZPropEditorAttrs TQZDatePropEditor::GetAttributes() {
    return eaMultiSelect;
}

QString TQZDatePropEditor::GetValue() {
    const double v = GetFloatValue(0);
    return v == 0 ? QString() : lf::DateToText(OleToDateTime(v).date());
}

void TQZDatePropEditor::SetValue(const QString& value) {
    if (value.trimmed().isEmpty()) {
        SetFloatValue(0);
        return;
    }
    QDate d;
    if (!lf::ParseDate(value, d)) {
        throw EQZPropEditor(lf::NotADate(value));
    }
    SetFloatValue(DateTimeToOle(QDateTime(d, QTime(0, 0))));
}

TQZPropEditorAttrs TQZTimePropEditor::GetAttributes() {
    return eaMultiSelect;
}

QString TQZTimePropEditor::GetValue() {
    const double v = GetFloatValue(0);
    return v == 0 ? QString() : lf::TimeToText(OleToDateTime(v).time());
}

void TQZTimePropEditor::SetValue(const QString& value) {
    if (value.trimmed().isEmpty()) {
        SetFloatValue(0);
        return;
    }
    QTime t;
    if (!lf::ParseTime(value, t)) {
        throw EQZPropEditor(lf::NotATime(value));
    }
    SetFloatValue(t.msecsSinceStartOfDay() / 86400000.0);
}

TQZPropEditorAttrs TQZDateTimePropEditor::GetAttributes() {
    return eaMultiSelect;
}

QString TQZDateTimePropEditor::GetValue() {
    const double v = GetFloatValue(0);
    if (v == 0) {
        return {};
    }
    const QDateTime dt = OleToDateTime(v);
    if (std::trunc(v) == 0) {
        return lf::TimeToText(dt.time());
    }
    return lf::DateTimeToText(dt);
}

void TQZDateTimePropEditor::SetValue(const QString& value) {
    if (value.trimmed().isEmpty()) {
        SetFloatValue(0);
        return;
    }
    QDateTime dt;
    if (!lf::ParseDateTime(value, dt)) {
        throw EQZPropEditor(lf::NotADate(value));
    }
    SetFloatValue(DateTimeToOle(dt));
}

} // namespace tagsink::inspector
