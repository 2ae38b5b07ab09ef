// The grid control: rows, order, read-only, splitter, expansion, keys, applying values, the changing guard,
// several objects at once, pick lists and messages.
#include "inspector_harness.hpp"
#include "test_classes.hpp"

#include "inspector/errors.hpp"
#include "inspector/kind_editors.hpp"
#include "inspector/prop_edit_manager.hpp"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>
#include <QTest>

using namespace tagsink::inspector;
using namespace tagsink::inspector::testing;

namespace {

/// An editor that counts its SetValue calls (registered for one property in some tests).
class CountingStringEditor : public TQZStringPropEditor {
public:
    static const char* ClassName() { return "CountingStringEditor"; }
    using TQZStringPropEditor::TQZStringPropEditor;
    static inline int Calls = 0;
    void SetValue(const QString& value) override {
        ++Calls;
        TQZStringPropEditor::SetValue(value);
    }
};

/// A pick-list editor whose list cannot be fetched.
class FailingListEditor : public TQZStringPropEditor {
public:
    static const char* ClassName() { return "FailingListEditor"; }
    using TQZStringPropEditor::TQZStringPropEditor;
    TQZPropEditorAttrs GetAttributes() override { return eaValueList; }
    void GetValues(QStringList&) override { throw EQZPropEditor(QStringLiteral("Table T1 does not exist")); }
};

/// A dialog editor whose dialog sets the value at once.
class ClearingDialogEditor : public TQZStringPropEditor {
public:
    static const char* ClassName() { return "ClearingDialogEditor"; }
    using TQZStringPropEditor::TQZStringPropEditor;
    TQZPropEditorAttrs GetAttributes() override { return eaDialog; }
    void Edit() override { SetStrValue(QStringLiteral("from dialog")); }
};

} // namespace

class InspectorGridTest : public QObject {
    Q_OBJECT

private:
    int registry_mark_ = 0;

private slots:
    void init() { registry_mark_ = TQZPrpertyEditManager::Instance().Count(); }
    void cleanup() { TQZPrpertyEditManager::Instance().Truncate(registry_mark_); }

    void RowsAreSortedByNameWithoutCase() {
        TestInspector insp;
        TTestObject o;
        insp.Add(o.Instance());
        const QStringList rows = Captions(insp);
        QStringList sorted = rows;
        std::sort(sorted.begin(), sorted.end(),
                  [](const QString& a, const QString& b) { return ComparePropNames(a, b) < 0; });
        QCOMPARE(rows, sorted);
        // Shorter name first on a common prefix; letters compared without case.
        QVERIFY(ComparePropNames(QStringLiteral("Key"), QStringLiteral("KeyField")) < 0);
        QVERIFY(ComparePropNames(QStringLiteral("deadband"), QStringLiteral("Description")) < 0);
        QVERIFY(ComparePropNames(QStringLiteral("TableName"), QStringLiteral("tabletype")) < 0);
        QVERIFY(rows.indexOf(QStringLiteral("Caption")) < rows.indexOf(QStringLiteral("Charset")));
        // Methods are listed only with pkEvents, read-only properties only with pkReadOnly.
        QVERIFY(!rows.contains(QStringLiteral("OnClick")));
        QVERIFY(!rows.contains(QStringLiteral("ReadOnlyText")));
        insp.SetPropKinds(pkProperties | pkEvents | pkReadOnly);
        QVERIFY(Captions(insp).contains(QStringLiteral("OnClick")));
        QVERIFY(Captions(insp).contains(QStringLiteral("ReadOnlyText")));
        QCOMPARE(CellText(insp, RowOf(insp, QStringLiteral("OnClick"))), QStringLiteral("(Unknown)"));
        insp.SetPropKinds(pkEvents);
        QCOMPARE(Captions(insp), QStringList{QStringLiteral("OnClick")});
    }

    void CaptionsPassThroughDrawCaptionWithoutChangingOrder() {
        TestInspector insp;
        TTestObject o;
        int calls = 0;
        QObject::connect(&insp, &TQZCustomPropertyInspector::DrawingCaption,
                         [&](const TQZTypeInfo*, QString& name) {
                             ++calls;
                             if (name == QLatin1String("Text")) {
                                 name = QStringLiteral("文本");
                             }
                         });
        insp.Add(o.Instance());
        insp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&insp));
        insp.grab();
        QVERIFY(calls > 0);
        QCOMPARE(Captions(insp).indexOf(QStringLiteral("Text")) >
                     Captions(insp).indexOf(QStringLiteral("Stamp")),
                 true);
    }

    void FilterHidesProperties() {
        TestInspector insp;
        TTestObject o;
        QObject::connect(&insp, &TQZCustomPropertyInspector::FilteringProp,
                         [](const TQZInstance&, const TQZPropInfo* p, bool& include) {
                             include = p->Name != QLatin1String("Name") && p->Name != QLatin1String("Count");
                         });
        insp.Add(o.Instance());
        QVERIFY(!Captions(insp).contains(QStringLiteral("Name")));
        QVERIFY(!Captions(insp).contains(QStringLiteral("Count")));
        QVERIFY(Captions(insp).contains(QStringLiteral("Text")));
    }

    void TypingAndEnterWritesTheValue() {
        TestInspector insp;
        insp.CountModified();
        TTestObject o;
        insp.Add(o.Instance());
        insp.show();
        TypeInto(insp, RowOf(insp, QStringLiteral("Text")), QStringLiteral("world"));
        QCOMPARE(o.Text, QStringLiteral("world"));
        QCOMPARE(insp.ModifiedCount, 1);
        QCOMPARE(Cell(insp)->text(), QStringLiteral("world"));
        QVERIFY(insp.Errors.isEmpty());
    }

    void UnchangedTextCallsNoSetValue() {
        RegisterPropEditor(StdTypes::String(), nullptr, QStringLiteral("text"),
                           EditorClassOf<CountingStringEditor>());
        CountingStringEditor::Calls = 0;
        TestInspector insp;
        insp.CountModified();
        TTestObject o;
        insp.Add(o.Instance());
        insp.show();
        TypeInto(insp, RowOf(insp, QStringLiteral("Text")), QStringLiteral("hello"));
        QCOMPARE(CountingStringEditor::Calls, 0);
        QCOMPARE(insp.ModifiedCount, 0);
        QCOMPARE(o.Writes.value(QStringLiteral("Text")), 0);
        TypeInto(insp, RowOf(insp, QStringLiteral("Text")), QStringLiteral("hello!"));
        QCOMPARE(CountingStringEditor::Calls, 1);
        QCOMPARE(insp.ModifiedCount, 1);
    }

    void EscapeRestoresTheShownValue() {
        TestInspector insp;
        TTestObject o;
        insp.Add(o.Instance());
        insp.show();
        insp.SetCurrentRow(RowOf(insp, QStringLiteral("Count")));
        QLineEdit* cell = Cell(insp);
        cell->selectAll();
        QTest::keyClicks(cell, "99");
        QTest::keyClick(cell, Qt::Key_Escape);
        QCOMPARE(cell->text(), QStringLiteral("7"));
        QCOMPARE(cell->selectedText(), QStringLiteral("7"));
        QCOMPARE(o.Count, 7);
    }

    void MovingToAnotherRowAppliesTheTypedValue() {
        TestInspector insp;
        insp.CountModified();
        TTestObject o;
        insp.Add(o.Instance());
        insp.show();
        const int row = RowOf(insp, QStringLiteral("Count"));
        insp.SetCurrentRow(row);
        Cell(insp)->setFocus();
        Cell(insp)->selectAll();
        QTest::keyClicks(Cell(insp), "12");
        QTest::keyClick(Cell(insp), Qt::Key_Down);
        QCOMPARE(insp.CurrentRow(), row + 1);
        QCOMPARE(o.Count, 12);
        QCOMPARE(insp.ModifiedCount, 1);
        QTest::keyClick(Cell(insp), Qt::Key_Up);
        QCOMPARE(insp.CurrentRow(), row);
        QCOMPARE(Cell(insp)->text(), QStringLiteral("12"));
    }

    void FailedSetValueShowsMessageAndOldValue() {
        TestInspector insp;
        insp.CountModified();
        TTestObject o;
        o.Failing = QStringLiteral("good");
        insp.Add(o.Instance());
        insp.show();
        const int row = RowOf(insp, QStringLiteral("Failing"));
        TypeInto(insp, row, QStringLiteral("bad"));
        QCOMPARE(insp.Errors, QStringList{QStringLiteral("Disk is full")});
        QCOMPARE(o.Failing, QStringLiteral("good"));
        QCOMPARE(Cell(insp)->text(), QStringLiteral("good"));
        QCOMPARE(insp.ModifiedCount, 0);
        // Still usable.
        TypeInto(insp, row, QStringLiteral("fine"));
        QCOMPARE(o.Failing, QStringLiteral("fine"));
        QCOMPARE(insp.ModifiedCount, 1);
    }

    void ReadOnlyInspectorHasNoButtonsAndIgnoresDoubleClicks() {
        TestInspector insp;
        TTestObject o;
        insp.Add(o.Instance());
        insp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&insp));
        const int kind = RowOf(insp, QStringLiteral("Kind"));
        QCOMPARE(insp.RowItem(kind)->EditStyle, TQZEditStyle::esPickList);
        insp.SetReadOnly(true);
        for (int r = 0; r < insp.RowCount(); ++r) {
            QCOMPARE(insp.RowItem(r)->EditStyle, TQZEditStyle::esSimple);
            QVERIFY(insp.RowItem(r)->ReadOnly);
        }
        insp.SetCurrentRow(RowOf(insp, QStringLiteral("Kind")));
        QVERIFY(insp.InplaceEdit()->Button()->isHidden());
        QVERIFY(Cell(insp)->isReadOnly());
        QTest::mouseDClick(Cell(insp), Qt::LeftButton);
        QCOMPARE(o.Kind, 0);
        // Typing and Enter change nothing either.
        Cell(insp)->setText(QStringLiteral("tkBeta"));
        QTest::keyClick(Cell(insp), Qt::Key_Return);
        QCOMPARE(o.Kind, 0);
        insp.SetReadOnly(false);
        insp.SetCurrentRow(RowOf(insp, QStringLiteral("Kind")));
        QVERIFY(!insp.InplaceEdit()->Button()->isHidden());
    }

    void DoubleClickCyclesThroughThePickList() {
        TestInspector insp;
        insp.CountModified();
        TTestObject o;
        insp.Add(o.Instance());
        insp.show();
        const int row = RowOf(insp, QStringLiteral("Kind"));
        insp.SetCurrentRow(row);
        QList<std::int64_t> seen;
        for (int i = 0; i < 4; ++i) {
            QTest::mouseDClick(Cell(insp), Qt::LeftButton);
            seen << o.Kind;
        }
        QCOMPARE(seen, (QList<std::int64_t>{1, 2, 0, 1}));
        QCOMPARE(insp.ModifiedCount, 4);
        QCOMPARE(Cell(insp)->text(), QStringLiteral("tkBeta"));
    }

    void PickListOpensWithCurrentValueAndChoosesOnEnter() {
        TestInspector insp;
        TTestObject o;
        o.Kind = 2;
        insp.Add(o.Instance());
        insp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&insp));
        insp.SetCurrentRow(RowOf(insp, QStringLiteral("Kind")));
        QTest::mouseClick(insp.InplaceEdit()->Button(), Qt::LeftButton);
        TQZPickList* list = insp.InplaceEdit()->PickList();
        QVERIFY(list->isVisible());
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->currentItem()->text(), QStringLiteral("tkGamma"));
        QVERIFY(list->width() >= insp.InplaceEdit()->width());
        QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(!list->isVisible());
        QCOMPARE(o.Kind, 1);
        QCOMPARE(Cell(insp)->text(), QStringLiteral("tkBeta"));
    }

    void PickListShowsAtMostEightRows() {
        TestInspector insp;
        TTestObject o;
        insp.Add(o.Instance());
        insp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&insp));
        insp.SetCurrentRow(RowOf(insp, QStringLiteral("ModalResult")));
        insp.DropDown();
        TQZPickList* list = insp.InplaceEdit()->PickList();
        QCOMPARE(list->count(), 11);
        const int row_height = list->sizeHintForRow(0);
        QCOMPARE(list->height(), 8 * row_height + 2 * list->frameWidth());
        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(!list->isVisible());
        QCOMPARE(o.ModalResult, 0);
    }

    void DropDownOnKeyOpensTheListAndDropsTheCharacter() {
        TestInspector insp;
        TTestObject o;
        insp.Add(o.Instance());
        insp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&insp));
        insp.SetCurrentRow(RowOf(insp, QStringLiteral("Kind")));
        Cell(insp)->setFocus();
        QTest::keyClick(Cell(insp), 'x');
        QVERIFY(insp.InplaceEdit()->PickListVisible());
        QCOMPARE(Cell(insp)->text(), QStringLiteral("tkAlpha"));
        insp.InplaceEdit()->ClosePickList();
    }

    void FailingPickListShowsItsMessageAndNoList() {
        RegisterPropEditor(StdTypes::String(), TTestObject::ClassInfo(), QStringLiteral("Text"),
                           EditorClassOf<FailingListEditor>());
        TestInspector insp;
        TTestObject o;
        insp.Add(o.Instance());
        insp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&insp));
        insp.SetCurrentRow(RowOf(insp, QStringLiteral("Text")));
        QTest::mouseClick(insp.InplaceEdit()->Button(), Qt::LeftButton);
        QCOMPARE(insp.Errors, QStringList{QStringLiteral("Table T1 does not exist")});
        QVERIFY(!insp.InplaceEdit()->PickListVisible());
        QCOMPARE(o.Text, QStringLiteral("hello"));
    }

    void RegistryLookupPrefersTheLatestMatchingEntry() {
        TQZPrpertyEditManager& m = TQZPrpertyEditManager::Instance();
        const int before = m.Count();
        RegisterPropEditor(StdTypes::String(), nullptr, QString(), EditorClassOf<CountingStringEditor>());
        RegisterPropEditor(StdTypes::String(), nullptr, QString(), EditorClassOf<CountingStringEditor>());
        QCOMPARE(m.Count(), before + 1); // the same entry twice is kept once
        RegisterPropEditor(StdTypes::String(), TOtherObject::ClassInfo(), QStringLiteral("TEXT"),
                           EditorClassOf<FailingListEditor>());
        QCOMPARE(m.Find(StdTypes::String(), TTestObject::ClassInfo(), QStringLiteral("Text")),
                 EditorClassOf<CountingStringEditor>());
        QCOMPARE(m.Find(StdTypes::String(), TOtherObject::ClassInfo(), QStringLiteral("text")),
                 EditorClassOf<FailingListEditor>());
        QCOMPARE(m.Find(StdTypes::Integer(), TOtherObject::ClassInfo(), QStringLiteral("text")), nullptr);
        // Class types match descendants of the registered class.
        static const TQZClassInfo kDerivedFont{
            QStringLiteral("TMyFont"), TQZFont::ClassInfo(), false, {}, {}};
        static const TQZTypeInfo kDerivedFontType = [] {
            TQZTypeInfo t;
            t.Kind = TQZTypeKind::tkClass;
            t.Name = QStringLiteral("TMyFont");
            t.ClassType = &kDerivedFont;
            return t;
        }();
        RegisterPropEditor(StdTypes::TFont(), nullptr, QString(), EditorClassOf<TQZClassPropEditor>());
        QCOMPARE(m.Find(&kDerivedFontType, nullptr, QStringLiteral("Font")),
                 EditorClassOf<TQZClassPropEditor>());
    }

    void OnGetEditorClassComesFirst() {
        TestInspector insp;
        QObject::connect(
            &insp, &TQZCustomPropertyInspector::GettingEditorClass,
            [](const TQZInstance&, const TQZPropInfo* p, const TQZPropEditorClass*& cls) {
                if (p->Name == QLatin1String("OnClick")) {
                    cls = EditorClassOf<TQZStringPropEditor>(); // even a method, even without pkEvents
                }
            });
        TTestObject o;
        o.OnClick = QStringLiteral("ButtonClick");
        insp.Add(o.Instance());
        const int row = RowOf(insp, QStringLiteral("OnClick"));
        QVERIFY(row >= 0);
        QCOMPARE(CellText(insp, row), QStringLiteral("ButtonClick"));
    }

    void SplitterIsClamped() {
        TestInspector insp;
        insp.resize(300, 200);
        insp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&insp));
        QCOMPARE(insp.Splitter(), 84);
        insp.SetSplitter(10);
        QCOMPARE(insp.Splitter(), 40);
        insp.SetSplitter(1000);
        QCOMPARE(insp.Splitter(), insp.width() - 40);
        insp.SetSplitter(120);
        QCOMPARE(insp.Splitter(), 120);
        QCOMPARE(insp.sizeHint(), QSize(188, 193));
    }

    void SplitterCanBeDragged() {
        TestInspector insp;
        TTestObject o;
        insp.Add(o.Instance());
        insp.resize(300, 200);
        insp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&insp));
        QWidget* vp = insp.viewport();
        QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(82, 5));
        QMouseEvent move(QEvent::MouseMove, QPointF(150, 5), vp->mapToGlobal(QPointF(150, 5)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
        QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(150, 5));
        QCOMPARE(insp.Splitter(), 150);
        QMouseEvent hover(QEvent::MouseMove, QPointF(148, 5), vp->mapToGlobal(QPointF(148, 5)), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &hover);
        QCOMPARE(vp->cursor().shape(), Qt::SplitHCursor);
    }

    void ExpandingAndCollapsingRows() {
        TestInspector insp;
        TTestObject o;
        insp.Add(o.Instance());
        insp.resize(300, 600);
        insp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&insp));
        const int rows = insp.RowCount();
        const int inner = RowOf(insp, QStringLiteral("Inner"));
        QVERIFY(insp.RowItem(inner)->CanExpand());
        QCOMPARE(CellText(insp, inner), QStringLiteral("(TTestInner)"));
        // A click on the box at the row's indentation expands it.
        const QRect r = insp.RowRect(inner);
        QTest::mouseClick(insp.viewport(), Qt::LeftButton, {}, QPoint(5, r.center().y()));
        QCOMPARE(insp.RowCount(), rows + 2);
        QCOMPARE(insp.RowItem(inner + 1)->Caption, QStringLiteral("Note"));
        QCOMPARE(insp.RowItem(inner + 2)->Caption, QStringLiteral("Width"));
        QCOMPARE(insp.RowItem(inner + 1)->Level(), 1);
        TypeInto(insp, inner + 2, QStringLiteral("33"));
        QCOMPARE(o.Inner.Width, 33);
        // A double click on the caption away from the box collapses it; the current row moves up.
        QTest::mouseDClick(insp.viewport(), Qt::LeftButton, {}, QPoint(40, r.center().y()));
        QCOMPARE(insp.RowCount(), rows);
        QCOMPARE(insp.CurrentRow(), inner);
        QVERIFY(!insp.RowItem(inner)->Expanded);
    }

    void SeveralObjectsShowCommonProperties() {
        TestInspector insp;
        TTestObject a;
        TOtherObject b;
        insp.Add(a.Instance());
        insp.Add(b.Instance());
        // Common names with the same kind whose editors allow several objects; Name is not
        // multi-select, Kind differs in kind.
        QCOMPARE(Captions(insp),
                 (QStringList{QStringLiteral("Count"), QStringLiteral("Day"), QStringLiteral("Text")}));
        // Equal integers are shown, different strings are not, dates never with several objects.
        QCOMPARE(CellText(insp, 0), QStringLiteral("7"));
        QCOMPARE(CellText(insp, 2), QString());
        QCOMPARE(CellText(insp, 1), QString());
        insp.show();
        TypeInto(insp, 2, QStringLiteral("same"));
        QCOMPARE(a.Text, QStringLiteral("same"));
        QCOMPARE(b.Text, QStringLiteral("same"));
        QCOMPARE(CellText(insp, 2), QStringLiteral("same"));
        QCOMPARE(insp.ObjectCount(), 2);
        QVERIFY(insp.Objects(1) == b.Instance());
        insp.Clear();
        QCOMPARE(insp.RowCount(), 0);
        QCOMPARE(insp.ObjectCount(), 0);
    }

    void ChangingObjectsWhileApplyingIsRefused() {
        TestInspector insp;
        TTestObject o;
        TTestObject other;
        insp.Add(o.Instance());
        insp.show();
        // A slot must not let an exception out: the handler keeps the refusal's message.
        QStringList refusals;
        auto clearing = QObject::connect(&insp, &TQZCustomPropertyInspector::Modified, [&] {
            try {
                insp.Clear();
            } catch (const EQZPropsPage& e) {
                refusals << e.Message();
            }
        });
        TypeInto(insp, RowOf(insp, QStringLiteral("Count")), QStringLiteral("8"));
        QCOMPARE(refusals, QStringList{TQZCustomPropertyInspector::kChangingMessage});
        QVERIFY(insp.Errors.isEmpty());
        QCOMPARE(o.Count, 8);
        QCOMPARE(insp.ObjectCount(), 1);
        QVERIFY(insp.Objects(0) == o.Instance());
        // Outside of applying a value, objects may change.
        QObject::disconnect(clearing);
        insp.Clear();
        insp.Add(other.Instance());
        QCOMPARE(insp.ObjectCount(), 1);
    }

    void ObjectsReplacedDuringADialogLeaveAWorkingControl() {
        // A dialog's value change is not a typed value: a Modified handler may replace the objects,
        // which deletes the row whose editor is still running.
        RegisterPropEditor(StdTypes::String(), nullptr, QStringLiteral("Text"),
                           EditorClassOf<ClearingDialogEditor>());
        TestInspector insp;
        TTestObject o;
        TTestObject next;
        insp.Add(o.Instance());
        insp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&insp));
        auto replacing = QObject::connect(&insp, &TQZCustomPropertyInspector::Modified, [&] {
            insp.Clear();
            insp.Add(next.Instance());
        });
        insp.SetCurrentRow(RowOf(insp, QStringLiteral("Text")));
        QCOMPARE(insp.RowItem(insp.CurrentRow())->EditStyle, TQZEditStyle::esEllipsis);
        QTest::mouseClick(insp.InplaceEdit()->Button(), Qt::LeftButton);
        QCOMPARE(o.Text, QStringLiteral("from dialog"));
        QVERIFY(insp.Objects(0) == next.Instance());
        QVERIFY(insp.Errors.isEmpty());
        QObject::disconnect(replacing);
        TypeInto(insp, RowOf(insp, QStringLiteral("Count")), QStringLiteral("3"));
        QCOMPARE(next.Count, 3);
    }

    void CaptionColoursOfComponentReferences() {
        TestInspector insp;
        TTestObject a;
        TTestObject b;
        a.Name = QStringLiteral("A");
        b.Name = QStringLiteral("B");
        a.Buddy = &b;
        QList<QColor> colours;
        QObject::connect(&insp, &TQZCustomPropertyInspector::GettingCaptionColor,
                         [&](const TQZTypeInfo*, const QString& name, QColor& c) {
                             if (name == QLatin1String("Buddy") || name == QLatin1String("Count")) {
                                 colours << c;
                             }
                         });
        insp.Add(a.Instance());
        insp.resize(300, 900);
        insp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&insp));
        const int buddy = RowOf(insp, QStringLiteral("Buddy"));
        insp.Expand(insp.RowItem(buddy));
        QVERIFY(insp.RowItem(buddy)->Expanded);
        // The referenced object's rows follow at level 1; Name is not nestable below a component reference.
        QStringList children;
        for (int r = buddy + 1; r < insp.RowCount() && insp.RowItem(r)->Level() == 1; ++r) {
            children << insp.RowItem(r)->Caption;
        }
        QVERIFY(children.contains(QStringLiteral("Count")));
        QVERIFY(!children.contains(QStringLiteral("Name")));
        QCOMPARE(CellText(insp, buddy), QStringLiteral("B"));
        colours.clear();
        insp.grab();
        QVERIFY(colours.contains(QColor(128, 0, 0)));
        QVERIFY(colours.contains(QColor(0, 128, 0)));
        insp.SetExpandComponentRefs(false);
        QVERIFY(!insp.RowItem(RowOf(insp, QStringLiteral("Buddy")))->CanExpand());
    }

    void WheelScrollsOneRowPerNotch() {
        TestInspector insp;
        TTestObject o;
        insp.Add(o.Instance());
        insp.resize(250, 120);
        insp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&insp));
        QCOMPARE(insp.TopRow(), 0);
        QWheelEvent wheel(QPointF(50, 50), insp.viewport()->mapToGlobal(QPointF(50, 50)), QPoint(),
                          QPoint(0, -240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(insp.viewport(), &wheel);
        QCOMPARE(insp.TopRow(), 2);
        QCOMPARE(insp.RowHeight(), 16);
    }

    void FontChangeSetsRowHeight() {
        TestInspector insp;
        QFont f = insp.font();
        f.setPointSize(20);
        insp.setFont(f);
        QCOMPARE(insp.RowHeight(), QFontMetrics(f).height() + 3);
    }
};

QTEST_MAIN(InspectorGridTest)
#include "inspector_grid_test.moc"
