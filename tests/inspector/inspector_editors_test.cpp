// The standard editors: how each shows, parses and lists values, and their dialogs.
#include "inspector_harness.hpp"
#include "test_classes.hpp"

#include "inspector/errors.hpp"
#include "inspector/kind_editors.hpp"
#include "inspector/named_editors.hpp"
#include "inspector/strings_editor_dlg.hpp"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QFontDialog>
#include <QTemporaryDir>
#include <QTimer>

using namespace tagsink::inspector;
using namespace tagsink::inspector::testing;

namespace {

/// Runs f on the next modal dialog of type D as soon as it is open.
template <class D, class F> void WhenDialogOpens(F f) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, f] {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            f(d);
        }
    });
    poll->start();
}

struct Fixture {
    TestInspector insp;
    TTestObject o;
    explicit Fixture(int height = 900) {
        insp.CountModified();
        insp.Add(o.Instance());
        insp.resize(320, height);
        insp.show();
    }
    int Row(const char* caption) { return RowOf(insp, QString::fromLatin1(caption)); }
    QString Shown(const char* caption) { return CellText(insp, Row(caption)); }
    void Type(const char* caption, const QString& text) { TypeInto(insp, Row(caption), text); }
    void Paste(const char* caption, const QString& text) { PasteInto(insp, Row(caption), text); }
};

} // namespace

class InspectorEditorsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void IntegerRangeMessageKeepsTheValue() {
        Fixture f;
        f.Type("Percent", QStringLiteral("150"));
        QCOMPARE(f.insp.Errors, QStringList{QStringLiteral("Value must be between 0 and 100")});
        QCOMPARE(f.o.Percent, 50);
        QCOMPARE(Cell(f.insp)->text(), QStringLiteral("50"));
        f.Type("Percent", QStringLiteral("abc"));
        QCOMPARE(f.insp.Errors.last(), QStringLiteral("'abc' is not a valid integer value"));
        f.Type("Percent", QStringLiteral("100"));
        QCOMPARE(f.o.Percent, 100);
        QCOMPARE(f.insp.ModifiedCount, 1);
        QCOMPARE(f.Shown("Unsigned"), QStringLiteral("4000000000"));
        f.Type("Count", QStringLiteral("$10"));
        QCOMPARE(f.o.Count, 16);
    }

    void CharacterShowsHashCodes() {
        Fixture f;
        QCOMPARE(f.Shown("Letter"), QStringLiteral("A"));
        f.o.Letter = ' ';
        f.insp.Rebuild();
        QCOMPARE(f.Shown("Letter"), QStringLiteral("#32"));
        f.o.Letter = 200;
        f.insp.Rebuild();
        QCOMPARE(f.Shown("Letter"), QStringLiteral("#200"));
        f.Type("Letter", QStringLiteral("#66"));
        QCOMPARE(f.o.Letter, 'B');
        QCOMPARE(f.Shown("Letter"), QStringLiteral("B"));
        f.Type("Letter", QStringLiteral("z"));
        QCOMPARE(f.o.Letter, 'z');
        f.Type("Letter", QStringLiteral("ab"));
        QCOMPARE(f.insp.Errors.last(), QStringLiteral("Invalid property value"));
        f.Type("Letter", QStringLiteral("#300"));
        QCOMPARE(f.insp.Errors.last(), QStringLiteral("Value must be between 0 and 255"));
        QCOMPARE(f.o.Letter, 'z');
        f.Type("Letter", QString());
        QCOMPARE(f.o.Letter, 0);
        QCOMPARE(f.Shown("Letter"), QStringLiteral("#0"));
    }

    void EnumerationNamesAndOutOfRange() {
        Fixture f;
        f.o.Kind = 9;
        f.insp.Rebuild();
        QCOMPARE(f.Shown("Kind"), QStringLiteral("tkGamma"));
        // Keys open the list and are not typed...
        f.Type("Kind", QStringLiteral("tkbeta"));
        QCOMPARE(f.o.Kind, 9);
        f.insp.InplaceEdit()->ClosePickList();
        // ...but a pasted name is taken.
        f.Paste("Kind", QStringLiteral("tkbeta"));
        QCOMPARE(f.o.Kind, 1);
        f.Paste("Kind", QStringLiteral("tkDelta"));
        QCOMPARE(f.insp.Errors.last(), QStringLiteral("Invalid property value"));
        QCOMPARE(f.o.Kind, 1);
    }

    void SetShowsMembersAndElementRows() {
        Fixture f;
        f.o.Flags = 0b101;
        f.insp.Rebuild();
        const int row = f.Row("Flags");
        QCOMPARE(CellText(f.insp, row), QStringLiteral("[tkAlpha,tkGamma]"));
        QVERIFY(f.insp.RowItem(row)->ReadOnly);
        f.insp.Expand(f.insp.RowItem(row));
        QCOMPARE(f.insp.RowItem(row + 1)->Caption, QStringLiteral("tkAlpha"));
        QCOMPARE(f.insp.RowItem(row + 2)->Caption, QStringLiteral("tkBeta"));
        QCOMPARE(f.insp.RowItem(row + 3)->Caption, QStringLiteral("tkGamma"));
        QCOMPARE(CellText(f.insp, row + 2), QStringLiteral("False"));
        TypeInto(f.insp, row + 2, QStringLiteral("true"));
        QCOMPARE(f.o.Flags, 0b111);
        QCOMPARE(CellText(f.insp, row), QStringLiteral("[tkAlpha,tkBeta,tkGamma]"));
        QCOMPARE(CellText(f.insp, row + 2), QStringLiteral("True"));
        // Anything but "True" removes; a double click cycles through False and True.
        TypeInto(f.insp, row + 1, QStringLiteral("no"));
        QCOMPARE(f.o.Flags, 0b110);
        f.insp.SetCurrentRow(row + 1);
        QTest::mouseDClick(Cell(f.insp), Qt::LeftButton);
        QCOMPARE(f.o.Flags, 0b111);
        QCOMPARE(f.insp.ModifiedCount, 3);
    }

    void SetElementChangesEachObjectsOwnSet() {
        TestInspector insp;
        TTestObject a;
        TTestObject b;
        a.Flags = 0b001;
        b.Flags = 0b100;
        insp.Add(a.Instance());
        insp.Add(b.Instance());
        insp.show();
        const int row = RowOf(insp, QStringLiteral("Flags"));
        QCOMPARE(CellText(insp, row), QString());
        insp.Expand(insp.RowItem(row));
        QCOMPARE(CellText(insp, row + 2), QStringLiteral("False")); // equal in both
        QCOMPARE(CellText(insp, row + 1), QString());               // differs
        TypeInto(insp, row + 2, QStringLiteral("True"));
        QCOMPARE(a.Flags, 0b011);
        QCOMPARE(b.Flags, 0b110);
    }

    void VariantKeepsItsTypeOrBecomesAString() {
        Fixture f;
        f.o.Value = TQZVariant::Str(QStringLiteral("12"));
        f.insp.Rebuild();
        const int row = f.Row("Value");
        QCOMPARE(CellText(f.insp, row), QStringLiteral("12"));
        f.insp.Expand(f.insp.RowItem(row));
        QCOMPARE(f.insp.RowItem(row + 1)->Caption, QStringLiteral("Type"));
        QCOMPARE(CellText(f.insp, row + 1), QStringLiteral("String"));
        TypeInto(f.insp, row, QStringLiteral("13"));
        QCOMPARE(f.o.Value.VType, varString);
        QCOMPARE(f.o.Value.Value.toString(), QStringLiteral("13"));
        // The type row converts the value.
        TypeInto(f.insp, row + 1, QStringLiteral("Integer"));
        QCOMPARE(f.o.Value.VType, varInteger);
        QCOMPARE(f.o.Value.Value.toLongLong(), 13);
        TypeInto(f.insp, row, QStringLiteral("14"));
        QCOMPARE(f.o.Value.VType, varInteger);
        QCOMPARE(f.o.Value.Value.toLongLong(), 14);
        TypeInto(f.insp, row, QStringLiteral("fourteen"));
        QCOMPARE(f.o.Value.VType, varString);
        TypeInto(f.insp, row, QStringLiteral("(null)"));
        QCOMPARE(f.o.Value.VType, varNull);
        QCOMPARE(CellText(f.insp, row), QStringLiteral("(Null)"));
        QCOMPARE(CellText(f.insp, row + 1), QStringLiteral("Null"));
        // Null does not convert to Integer: the empty value is converted instead.
        TypeInto(f.insp, row + 1, QStringLiteral("Integer"));
        QCOMPARE(f.o.Value.VType, varInteger);
        QCOMPARE(f.o.Value.Value.toLongLong(), 0);
        TypeInto(f.insp, row + 1, QStringLiteral("integer"));
        QCOMPARE(f.insp.Errors.last(), QStringLiteral("Unknown Type"));
        TypeInto(f.insp, row + 1, QStringLiteral("Boolean"));
        QCOMPARE(CellText(f.insp, row), QStringLiteral("False"));
        TypeInto(f.insp, row, QString());
        QCOMPARE(f.o.Value.VType, varEmpty);
        QCOMPARE(CellText(f.insp, row + 1), QStringLiteral("Unassigned"));
        QStringList types;
        TQZVariantTypePropEditor ed(static_cast<TQZPropEditor*>(
            static_cast<TQZPropertyInspectorItem*>(f.insp.RowItem(row))->Editor.get()));
        ed.GetValues(types);
        QCOMPARE(types.size(), 12);
        QCOMPARE(TQZVariantTypePropEditor::TypeName(9), QStringLiteral("(Unknown)"));
    }

    void VariantTypeChangesFollowTheOleRules() {
        // Between numeric kinds the inspector converts as the platform's VariantChangeType does.
        TQZVariant out;
        QVERIFY(VariantChangeType(TQZVariant::Float(varDouble, 2.5), varInteger, out));
        QCOMPARE(out, TQZVariant::Int(varInteger, 2)); // halves to even
        QVERIFY(VariantChangeType(TQZVariant::Float(varDouble, 3.5), varInteger, out));
        QCOMPARE(out, TQZVariant::Int(varInteger, 4));
        QVERIFY(!VariantChangeType(TQZVariant::Int(varInteger, 256), varByte, out)); // overflow
        QVERIFY(!VariantChangeType(TQZVariant::Float(varDouble, 1e300), varSingle, out));
        QVERIFY(VariantChangeType(TQZVariant::Bool(true), varSmallint, out));
        QCOMPARE(out, TQZVariant::Int(varSmallint, -1));
        QVERIFY(VariantChangeType(TQZVariant::Int(varInteger, 0), varBoolean, out));
        QCOMPARE(out, TQZVariant::Bool(false));
        QVERIFY(VariantChangeType(TQZVariant::Float(varDouble, 1.23456), varCurrency, out));
        QCOMPARE(out, TQZVariant::Currency(12346));
        QVERIFY(VariantChangeType(TQZVariant::Currency(25000), varDouble, out));
        QCOMPARE(out, TQZVariant::Float(varDouble, 2.5));
        QVERIFY(VariantChangeType(TQZVariant{}, varLongWord, out));
        QCOMPARE(out, TQZVariant::Int(varLongWord, 0)); // empty is 0
        QVERIFY(VariantChangeType(TQZVariant::Int(varInt64, 4294967295LL), varLongWord, out));
        QCOMPARE(out, TQZVariant::Int(varLongWord, 4294967295LL));
        QVERIFY(!VariantChangeType(TQZVariant::Int(varInt64, -1), varLongWord, out));
        QVERIFY(!VariantChangeType(TQZVariant::Float(varDouble, 1e9), varDate, out)); // beyond 9999
        QVERIFY(VariantChangeType(TQZVariant::Int(varInteger, 7), varError, out));
        QCOMPARE(out, TQZVariant::Int(varError, 7));
        QVERIFY(!VariantChangeType(TQZVariant::Null(), varInteger, out));
    }

    void VariantDisplayTexts() {
        QCOMPARE(VariantDisplayText(TQZVariant::Bool(true)), QStringLiteral("True"));
        QCOMPARE(VariantDisplayText(TQZVariant::Null()), QStringLiteral("(Null)"));
        QCOMPARE(VariantDisplayText(TQZVariant{varDispatch, {}}), QStringLiteral("ERROR"));
        QCOMPARE(VariantDisplayText(TQZVariant::Currency(125000)), QLocale().toCurrencyString(12.5));
        QCOMPARE(VariantDisplayText(TQZVariant::Float(varDouble, 0.1)), QStringLiteral("0.1"));
        TQZVariant v;
        QVERIFY(!VariantFromText(QStringLiteral("70000"), varSmallint, v));
        QVERIFY(VariantFromText(QStringLiteral("255"), varByte, v));
        QVERIFY(!VariantFromText(QStringLiteral("256"), varByte, v));
        // A currency text needs the currency symbol.
        QVERIFY(!VariantFromText(QStringLiteral("12.5"), varCurrency, v));
        QVERIFY(VariantFromText(QLocale().toCurrencyString(12.5), varCurrency, v));
        QCOMPARE(v.Value.toLongLong(), 125000);
    }

    void FloatsInGeneralFormat() {
        Fixture f;
        QCOMPARE(f.Shown("Level"), QStringLiteral("1.5"));
        f.Type("Level", QStringLiteral("0.1"));
        QCOMPARE(f.Shown("Level"), QStringLiteral("0.1"));
        QCOMPARE(f.o.Level, static_cast<double>(0.1f));
        f.Type("Ratio", QStringLiteral("0.123456789012345678"));
        QCOMPARE(f.Shown("Ratio"), QStringLiteral("0.123456789012346"));
        f.Type("Ratio", QStringLiteral("x1"));
        QCOMPARE(f.insp.Errors.last(), QStringLiteral("'x1' is not a valid floating point value"));
    }

    void Int64Values() {
        Fixture f;
        QCOMPARE(f.Shown("Big"), QStringLiteral("1234567890123"));
        f.Type("Big", QStringLiteral("-9000000000000000000"));
        QCOMPARE(f.o.Big, -9000000000000000000LL);
        f.Type("Big", QStringLiteral("99999999999999999999"));
        QVERIFY(!f.insp.Errors.isEmpty());
        QCOMPARE(f.o.Big, -9000000000000000000LL);
    }

    void ShortcutNoneAndStandardTexts() {
        Fixture f;
        QCOMPARE(f.Shown("ShortCut"), QStringLiteral("(None)"));
        f.Type("ShortCut", QStringLiteral("Ctrl+S"));
        QCOMPARE(f.o.ShortCut, (Qt::CTRL | Qt::Key_S).toCombined());
        QCOMPARE(f.Shown("ShortCut"), QStringLiteral("Ctrl+S"));
        f.Type("ShortCut", QStringLiteral("(none)"));
        QCOMPARE(f.o.ShortCut, 0);
        QCOMPARE(f.Shown("ShortCut"), QStringLiteral("(None)"));
        f.Type("ShortCut", QStringLiteral("Shift+F5"));
        f.Type("ShortCut", QString());
        QCOMPARE(f.o.ShortCut, 0);
        f.Type("ShortCut", QStringLiteral("Ctrl+Nothing"));
        QCOMPARE(f.insp.Errors.last(), QStringLiteral("Invalid property value"));
        const QStringList list = TQZShortCutPropEditor::StandardShortcuts();
        QCOMPARE(list.size(), 109);
        QCOMPARE(list.first(), QStringLiteral("(None)"));
        QVERIFY(list.contains(QStringLiteral("Ctrl+Shift+F12")));
        QStringList unique = list;
        QCOMPARE(unique.removeDuplicates(), 0);
    }

    void DatesEmptyForZeroAndForSeveralObjects() {
        Fixture f;
        QCOMPARE(f.Shown("Day"), QString());
        const QString text =
            QLocale().toString(QDate(2024, 3, 5), QLocale().dateFormat(QLocale::ShortFormat));
        f.Type("Day", text);
        QVERIFY2(f.insp.Errors.isEmpty(), qPrintable(f.insp.Errors.join(';')));
        QCOMPARE(OleToDateTime(f.o.Day).date(), QDate(2024, 3, 5));
        QCOMPARE(f.Shown("Day"), text);
        f.Type("Day", QStringLiteral("not a date"));
        QCOMPARE(f.insp.Errors.last(), QStringLiteral("'not a date' is not a valid date"));
        f.Type("Clock", QStringLiteral("13:45:10"));
        QCOMPARE(OleToDateTime(f.o.Clock).time(), QTime(13, 45, 10));
        f.Type("Stamp", QStringLiteral("2024-03-05 08:30"));
        QCOMPARE(OleToDateTime(f.o.Stamp), QDateTime(QDate(2024, 3, 5), QTime(8, 30)));
        f.Type("Day", QString());
        QCOMPARE(f.o.Day, 0.0);

        TestInspector two;
        TTestObject a;
        TTestObject b;
        a.Day = b.Day = 45000;
        a.Count = b.Count = 3;
        two.Add(a.Instance());
        two.Add(b.Instance());
        QCOMPARE(CellText(two, RowOf(two, QStringLiteral("Day"))), QString());
        QCOMPARE(CellText(two, RowOf(two, QStringLiteral("Count"))), QStringLiteral("3"));
        QCOMPARE(RowOf(two, QStringLiteral("TabOrder")), -1); // not multi-select
    }

    void ColourNamesAndNumbers() {
        Fixture f;
        QCOMPARE(f.Shown("Color"), QStringLiteral("red"));
        f.Type("Color", QStringLiteral("Blue"));
        QCOMPARE(f.o.Color, 0x0000FF);
        f.Type("Color", QStringLiteral("$00123456"));
        QCOMPARE(f.o.Color, 0x123456);
        QCOMPARE(f.Shown("Color"), QStringLiteral("$00123456"));
        const int row = f.Row("Color");
        QVERIFY(f.insp.RowItem(row)->OwnerDraw);
        QCOMPARE(f.insp.RowItem(row)->EditStyle, TQZEditStyle::esPickList);
        f.insp.SetCurrentRow(row);
        f.insp.DropDown();
        QVERIFY(f.insp.InplaceEdit()->PickList()->count() > 100);
        f.insp.grab(); // draws swatches
        f.insp.InplaceEdit()->ClosePickList();
    }

    void ColourDialogOnDoubleClick() {
        Fixture f;
        f.insp.SetCurrentRow(f.Row("Color"));
        WhenDialogOpens<QColorDialog>([](QColorDialog* d) {
            QCOMPARE(d->currentColor(), QColor(255, 0, 0));
            d->setCurrentColor(QColor(0, 128, 0));
            d->accept();
        });
        QTest::mouseDClick(Cell(f.insp), Qt::LeftButton);
        QCOMPARE(f.o.Color, 0x008000);
        QCOMPARE(f.Shown("Color"), QStringLiteral("green"));
        QCOMPARE(f.insp.ModifiedCount, 1);
        WhenDialogOpens<QColorDialog>([](QColorDialog* d) { d->reject(); });
        QTest::mouseDClick(Cell(f.insp), Qt::LeftButton);
        QCOMPARE(f.o.Color, 0x008000);
        QCOMPARE(f.insp.ModifiedCount, 1);
    }

    void NamedIntegerEditors() {
        Fixture f;
        QCOMPARE(f.Shown("Cursor"), QStringLiteral("ArrowCursor"));
        f.Type("Cursor", QStringLiteral("crosscursor"));
        QCOMPARE(f.o.Cursor, static_cast<std::int64_t>(Qt::CrossCursor));
        f.Type("Cursor", QStringLiteral("999"));
        QCOMPARE(f.Shown("Cursor"), QStringLiteral("999"));
        QCOMPARE(f.Shown("Charset"), QStringLiteral("DEFAULT_CHARSET"));
        f.Type("Charset", QStringLiteral("GB2312_CHARSET"));
        QCOMPARE(f.o.Charset, 134);
        f.Type("Charset", QStringLiteral("99"));
        QCOMPARE(f.Shown("Charset"), QStringLiteral("99"));
        QCOMPARE(f.Shown("ModalResult"), QStringLiteral("mrNone"));
        f.Type("ModalResult", QStringLiteral("MRCANCEL"));
        QCOMPARE(f.o.ModalResult, 2);
        f.Type("ModalResult", QStringLiteral("42"));
        QCOMPARE(f.Shown("ModalResult"), QStringLiteral("42"));
        QCOMPARE(f.insp.RowItem(f.Row("TabOrder"))->EditStyle, TQZEditStyle::esSimple);
        f.Type("TabOrder", QStringLiteral("5"));
        QCOMPARE(f.o.TabOrder, 5);
        QCOMPARE(f.Shown("Pen"), QStringLiteral("SolidLine"));
        f.Paste("Pen", QStringLiteral("DotLine"));
        QCOMPARE(f.o.Pen, static_cast<std::int64_t>(Qt::DotLine));
        QCOMPARE(f.Shown("Brush"), QStringLiteral("SolidPattern"));
        QVERIFY(f.insp.RowItem(f.Row("Brush"))->OwnerDraw);
        f.insp.SetCurrentRow(f.Row("Brush"));
        f.insp.DropDown();
        QCOMPARE(f.insp.InplaceEdit()->PickList()->count(), 15);
        f.insp.InplaceEdit()->ClosePickList();
    }

    void FontNameListsInstalledFamilies() {
        Fixture f;
        f.insp.SetCurrentRow(f.Row("FontName"));
        f.insp.DropDown();
        QCOMPARE(f.insp.InplaceEdit()->PickList()->count(), QFontDatabase::families().size());
        f.insp.InplaceEdit()->ClosePickList();
        f.Type("FontName", QStringLiteral("Any Name"));
        QCOMPARE(f.o.FontName, QStringLiteral("Any Name"));
    }

    void CaptionAppliesEveryKeystroke() {
        Fixture f;
        f.insp.SetCurrentRow(f.Row("Caption"));
        Cell(f.insp)->setFocus();
        Cell(f.insp)->end(false);
        QTest::keyClicks(Cell(f.insp), "abc");
        QCOMPARE(f.o.Caption, QStringLiteral("capabc"));
        QCOMPARE(f.o.Writes.value(QStringLiteral("Caption")), 3);
        QCOMPARE(f.insp.ModifiedCount, 3);
        QCOMPARE(Cell(f.insp)->text(), QStringLiteral("capabc"));
    }

    void FontDialogChangesEveryObject() {
        TestInspector insp;
        insp.CountModified();
        TTestObject a;
        TTestObject b;
        insp.Add(a.Instance());
        insp.Add(b.Instance());
        insp.resize(320, 900);
        insp.show();
        const int row = RowOf(insp, QStringLiteral("Font"));
        QCOMPARE(insp.RowItem(row)->EditStyle, TQZEditStyle::esEllipsis);
        insp.SetCurrentRow(row);
        const QString family = QFontDatabase::families().first();
        WhenDialogOpens<QFontDialog>([family](QFontDialog* d) {
            QFont font(family);
            font.setPointSize(17);
            d->setCurrentFont(font);
            d->accept();
        });
        QTest::mouseClick(insp.InplaceEdit()->Button(), Qt::LeftButton);
        QCOMPARE(a.Font.Font.pointSize(), 17);
        QCOMPARE(b.Font.Font.pointSize(), 17);
        QCOMPARE(insp.ModifiedCount, 1);
        WhenDialogOpens<QFontDialog>([](QFontDialog* d) { d->reject(); });
        QTest::mouseClick(insp.InplaceEdit()->Button(), Qt::LeftButton);
        QCOMPARE(insp.ModifiedCount, 1);
        // The font's own properties are its sub-rows.
        insp.Expand(insp.RowItem(row));
        QCOMPARE(insp.RowItem(row + 4)->Caption, QStringLiteral("Size"));
        QCOMPARE(CellText(insp, row + 4), QStringLiteral("17"));
    }

    // Types a full path into the file dialog's name field, as an operator would. (selectFile() depends on
    // the dialog's file system model having read the folder, which lags on a loaded machine.)
    static void TypeFileName(QFileDialog* d, const QString& path) {
        auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        edit->setText(path);
        if (!QTest::qWaitFor([&] { return d->selectedFiles().value(0) == path; }, 10000)) {
            qWarning("the file dialog did not take the file name");
        }
    }

    void PictureDialogLoadsIntoTheFirstObjectOnly() {
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("p.png"));
        QImage image(4, 3, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QVERIFY(image.save(png));
        const QString junk = dir.filePath(QStringLiteral("junk.png"));
        QFile file(junk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not an image");
        file.close();

        TestInspector insp;
        insp.CountModified();
        insp.SetPropKinds(pkProperties);
        TTestObject a;
        insp.Add(a.Instance());
        insp.resize(320, 900);
        insp.show();
        const int row = RowOf(insp, QStringLiteral("Picture"));
        QCOMPARE(CellText(insp, row), QStringLiteral("(TPicture)"));
        insp.SetCurrentRow(row);
        WhenDialogOpens<QFileDialog>([png](QFileDialog* d) {
            TypeFileName(d, png);
            // The dialog's own accept waits for its file system model, which lags under load.
            static_cast<QDialog*>(d)->done(QDialog::Accepted);
        });
        QTest::mouseClick(insp.InplaceEdit()->Button(), Qt::LeftButton);
        QCOMPARE(a.Picture.Image.size(), QSize(4, 3));
        QCOMPARE(insp.ModifiedCount, 0);
        QCOMPARE(a.Writes.value(QStringLiteral("Picture")), 0);
        WhenDialogOpens<QFileDialog>([junk](QFileDialog* d) {
            TypeFileName(d, junk);
            // The dialog's own accept waits for its file system model, which lags under load.
            static_cast<QDialog*>(d)->done(QDialog::Accepted);
        });
        QTest::mouseClick(insp.InplaceEdit()->Button(), Qt::LeftButton);
        QCOMPARE(insp.Errors.size(), 1);
        QVERIFY(insp.Errors.first().contains(junk));
        QCOMPARE(a.Picture.Image.size(), QSize(4, 3));
    }

    void StringsDialogEditsLines() {
        Fixture f;
        f.o.Lines.Lines = {QStringLiteral("one"), QStringLiteral("two")};
        f.insp.Rebuild();
        const int row = f.Row("Lines");
        QCOMPARE(CellText(f.insp, row), QStringLiteral("(TStrings)"));
        f.insp.SetCurrentRow(row);
        QString title;
        QString before;
        QString after;
        WhenDialogOpens<TStringsEditorDlg>([&](TStringsEditorDlg* d) {
            title = d->windowTitle();
            before = d->LineCount()->text();
            d->Memo()->moveCursor(QTextCursor::End);
            QTest::keyClick(d->Memo(), Qt::Key_Return);
            QTest::sendKeyEvent(QTest::Click, d->Memo(), Qt::Key_unknown, QStringLiteral("三"),
                                Qt::NoModifier);
            after = d->LineCount()->text();
            QCOMPARE(d->OkButton()->text(), QStringLiteral("确认(&O)"));
            QCOMPARE(d->CancelButton()->text(), QStringLiteral("取消"));
            QVERIFY(d->OkButton()->isDefault());
            QTest::mouseClick(d->OkButton(), Qt::LeftButton);
        });
        QTest::mouseClick(f.insp.InplaceEdit()->Button(), Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("文本列表编辑器"));
        QCOMPARE(before, QStringLiteral("行数: 2"));
        QCOMPARE(after, QStringLiteral("行数: 3"));
        QCOMPARE(f.o.Lines.Lines,
                 (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("三")}));
        QCOMPARE(f.insp.ModifiedCount, 1);
        WhenDialogOpens<TStringsEditorDlg>([](TStringsEditorDlg* d) {
            d->Memo()->clear();
            QTest::mouseClick(d->CancelButton(), Qt::LeftButton);
        });
        QTest::mouseClick(f.insp.InplaceEdit()->Button(), Qt::LeftButton);
        QCOMPARE(f.o.Lines.Lines.size(), 3);
        QCOMPARE(f.insp.ModifiedCount, 1);
    }

    void ComponentReferenceByName() {
        TestInspector insp;
        TTestObject a;
        TTestObject b;
        TOtherObject c;
        a.Name = QStringLiteral("A");
        b.Name = QStringLiteral("B");
        c.Name = QStringLiteral("C");
        QObject::connect(&insp, &TQZCustomPropertyInspector::GettingComponentNames,
                         [](const TQZClassInfo*, QStringList& names) {
                             names << QStringLiteral("B") << QStringLiteral("A") << QStringLiteral("C");
                         });
        QObject::connect(&insp, &TQZCustomPropertyInspector::GettingComponent,
                         [&](const QString& name, TQZInstance& out) {
                             if (name == QLatin1String("A"))
                                 out = a.Instance();
                             if (name == QLatin1String("B"))
                                 out = b.Instance();
                             if (name == QLatin1String("C"))
                                 out = c.Instance();
                         });
        insp.Add(a.Instance());
        insp.resize(320, 900);
        insp.show();
        const int row = RowOf(insp, QStringLiteral("Buddy"));
        QCOMPARE(CellText(insp, row), QString());
        QVERIFY(!insp.RowItem(row)->CanExpand());
        insp.SetCurrentRow(row);
        insp.DropDown();
        TQZPickList* list = insp.InplaceEdit()->PickList();
        QCOMPARE(list->item(0)->text(), QStringLiteral("A")); // sorted
        insp.InplaceEdit()->ClosePickList();
        TypeInto(insp, row, QStringLiteral("B"));
        QVERIFY(a.Buddy == &b);
        QVERIFY(insp.RowItem(row)->CanExpand());
        TypeInto(insp, row, QStringLiteral("C")); // not of the property's class
        QCOMPARE(insp.Errors.last(), QStringLiteral("Invalid property value"));
        TypeInto(insp, row, QStringLiteral("Nobody"));
        QCOMPARE(insp.Errors.size(), 2);
        QVERIFY(a.Buddy == &b);
        // Expanded, a new reference rebuilds the child rows (volatile sub-properties).
        insp.Expand(insp.RowItem(row));
        b.Count = 11;
        a.Count = 22;
        insp.Rebuild();
        insp.Expand(insp.RowItem(row));
        QCOMPARE(CellText(insp, RowOf(insp, QStringLiteral("Count"), row + 1)), QStringLiteral("11"));
        TypeInto(insp, row, QStringLiteral("A"));
        QCOMPARE(CellText(insp, RowOf(insp, QStringLiteral("Count"), row + 1)), QStringLiteral("22"));
        TypeInto(insp, row, QString());
        QVERIFY(a.Buddy == nullptr);
        QVERIFY(!insp.RowItem(row)->Expanded);
    }

    void EditorEventsAreSignals() {
        // An editor on its own: its questions are signals answered by reference, its changes a signal.
        TTestObject a;
        TTestObject b;
        a.Name = QStringLiteral("A");
        b.Name = QStringLiteral("B");
        a.Buddy = &b;
        TQZComponentPropEditor editor(nullptr, 1);
        editor.SetPropEntry(0, a.Instance(), TTestObject::ClassInfo()->FindProp(QStringLiteral("Buddy")));
        QCOMPARE(editor.GetValue(), QStringLiteral("B")); // nobody answers: the object's own name
        QStringList names;
        editor.GetValues(names);
        QVERIFY(names.isEmpty());
        QVERIFY_THROWS_EXCEPTION(EQZPropEditor, editor.SetValue(QStringLiteral("B"))); // nobody finds B

        QObject::connect(&editor, &TQZPropEditor::GettingComponentName,
                         [](const TQZInstance&, QString& name) { name = QStringLiteral("Shown ") + name; });
        QObject::connect(&editor, &TQZPropEditor::GettingComponentNames,
                         [](const TQZClassInfo*, QStringList& list) {
                             list << QStringLiteral("A") << QStringLiteral("B");
                         });
        QObject::connect(&editor, &TQZPropEditor::GettingComponent,
                         [&](const QString& name, TQZInstance& found) {
                             if (name == QLatin1String("A")) {
                                 found = a.Instance();
                             }
                         });
        int modified = 0;
        QObject::connect(&editor, &TQZPropEditor::Modified, [&modified] { ++modified; });
        QCOMPARE(editor.GetValue(), QStringLiteral("Shown B"));
        editor.GetValues(names);
        QCOMPARE(names, (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        editor.SetValue(QStringLiteral("A"));
        QVERIFY(a.Buddy == &a);
        QCOMPARE(modified, 1);
        QVERIFY_THROWS_EXCEPTION(EQZPropEditor, editor.SetValue(QStringLiteral("B")));
        QCOMPARE(modified, 1);
        QVERIFY(a.Buddy == &a);
    }
};

QTEST_MAIN(InspectorEditorsTest)
#include "inspector_editors_test.moc"
