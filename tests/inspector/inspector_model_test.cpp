// The inspector over the project model's published properties: every kind through the model's
// descriptor tables, and the project classes as the program shows them.
#include "inspector_harness.hpp"
#include "model_test_classes.hpp"
#include "property_captions.hpp"

#include "inspector/kind_editors.hpp"
#include "inspector/model_binding.hpp"
#include "inspector/prop_edit_manager.hpp"
#include "inspector/std_types.hpp"

#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"

using namespace tagsink::inspector;
using namespace tagsink::inspector::testing;

namespace {

/// A pick-list editor like the program's table-name editor.
class TableListEditor : public TQZStringPropEditor {
public:
    static const char* ClassName() { return "TableListEditor"; }
    using TQZStringPropEditor::TQZStringPropEditor;
    TQZPropEditorAttrs GetAttributes() override { return eaValueList; }
    void GetValues(QStringList& values) override { values << QStringLiteral("T1") << QStringLiteral("T2"); }
};

} // namespace

class InspectorModelTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void EveryKindThroughTheModelDescriptors() {
        tagsink::TServer root;
        tagsink::TGroup& group = tagsink::TGroup::Create(root);
        group.SetName("Group1");
        TKindSample sample;
        TestInspector insp;
        insp.CountModified();
        insp.SetPropKinds(pkProperties | pkEvents);
        QObject::connect(&insp, &TQZCustomPropertyInspector::GettingComponent,
                         [&](const QString& name, TQZInstance& out) {
                             if (name == QLatin1String("Group1")) {
                                 out = Inspectable(group);
                             }
                         });
        insp.Add(Inspectable(sample));
        insp.resize(320, 700);
        insp.show();
        QCOMPARE(Captions(insp), (QStringList{"Big", "Color", "Count", "Day", "Deadband", "Group", "Inner",
                                              "Letter", "Modes", "OnChange", "Text", "Trig", "Value"}));
        auto row = [&](const char* name) { return RowOf(insp, QString::fromLatin1(name)); };

        TypeInto(insp, row("Count"), QStringLiteral("42"));
        QCOMPARE(sample.Count, 42);
        QCOMPARE(CellText(insp, row("Letter")), QStringLiteral("x"));
        TypeInto(insp, row("Letter"), QStringLiteral("#32"));
        QCOMPARE(sample.Letter, 32);
        QCOMPARE(CellText(insp, row("Letter")), QStringLiteral("#32"));
        PasteInto(insp, row("Trig"), QStringLiteral("ttDataChange"));
        QCOMPARE(sample.Trig, tagsink::TTrigType::ttDataChange);
        TypeInto(insp, row("Deadband"), QStringLiteral("2.5"));
        QCOMPARE(sample.Deadband, 2.5f);
        TypeInto(insp, row("Text"), QStringLiteral("数据表"));
        QCOMPARE(sample.Text, std::string("数据表"));
        QCOMPARE(CellText(insp, row("Text")), QStringLiteral("数据表"));
        TypeInto(insp, row("Big"), QStringLiteral("123456789012345"));
        QCOMPARE(sample.Big, 123456789012345LL);
        TypeInto(insp, row("Color"), QStringLiteral("blue"));
        QCOMPARE(sample.Color, 0x0000FF);
        const QString date =
            QLocale().toString(QDate(2025, 1, 31), QLocale().dateFormat(QLocale::ShortFormat));
        TypeInto(insp, row("Day"), date);
        QCOMPARE(OleToDateTime(sample.Day).date(), QDate(2025, 1, 31));
        QCOMPARE(CellText(insp, row("OnChange")), QStringLiteral("(Unknown)"));

        // Set: element rows.
        insp.Expand(insp.RowItem(row("Modes")));
        TypeInto(insp, row("ttDataChange"), QStringLiteral("True"));
        QCOMPARE(sample.Modes, 2);
        QCOMPARE(CellText(insp, row("Modes")), QStringLiteral("[ttDataChange]"));
        insp.Collapse(insp.RowItem(row("Modes")));

        // Variant: text, type row, null.
        TypeInto(insp, row("Value"), QStringLiteral("7"));
        QCOMPARE(sample.Value.VType, varString);
        QCOMPARE(std::get<std::string>(sample.Value.Data), std::string("7"));
        insp.Expand(insp.RowItem(row("Value")));
        TypeInto(insp, row("Type"), QStringLiteral("Double"));
        QCOMPARE(sample.Value.VType, varDouble);
        QCOMPARE(std::get<double>(sample.Value.Data), 7.0);
        TypeInto(insp, row("Value"), QStringLiteral("(NULL)"));
        QCOMPARE(sample.Value.VType, varNull);
        insp.Collapse(insp.RowItem(row("Value")));

        // Class: the held object's properties as sub-rows.
        insp.Expand(insp.RowItem(row("Inner")));
        TypeInto(insp, row("Width"), QStringLiteral("9"));
        QCOMPARE(sample.Inner.Width, 9);
        insp.Collapse(insp.RowItem(row("Inner")));

        // Component reference: by name, shown by the component's name, expandable into its properties.
        TypeInto(insp, row("Group"), QStringLiteral("Group1"));
        QVERIFY(sample.Group == &group);
        QCOMPARE(CellText(insp, row("Group")), QStringLiteral("Group1"));
        insp.Expand(insp.RowItem(row("Group")));
        const int table_name = RowOf(insp, QStringLiteral("TableName"), row("Group"));
        QVERIFY(table_name > row("Group"));
        TypeInto(insp, table_name, QStringLiteral("Readings"));
        QCOMPARE(group.TableName(), std::string("Readings"));
        TypeInto(insp, row("Group"), QStringLiteral("Nothing"));
        QCOMPARE(insp.Errors, QStringList{QStringLiteral("Invalid property value")});
        QVERIFY(sample.Group == &group);
        QCOMPARE(insp.ModifiedCount, 15); // one per accepted change above
    }

    void GroupRowsFollowPropertyNamesWhateverTheCaptions() {
        tagsink::TServer root;
        tagsink::TGroup& group = tagsink::TGroup::Create(root);
        group.SetName("Group1");
        TestInspector insp;
        tagsink::app::UseProjectCaptions(insp);
        QStringList painted;
        // Connected after the program's captions: sees the caption they made.
        QObject::connect(&insp, &TQZCustomPropertyInspector::DrawingCaption,
                         [&](const TQZTypeInfo*, QString& name) { painted << name; });
        insp.Add(Inspectable(group));
        insp.resize(320, 400);
        insp.show();
        const QStringList expected{"Deadband",       "Description",      "KeyField",      "KeyFieldType",
                                   "RecordInterval", "RecordTimeSource", "RecordType",    "TableName",
                                   "TableType",      "TimeField",        "TimeFieldType", "TrigType",
                                   "UpdateRate"};
        QCOMPARE(Captions(insp), expected);
        insp.grab();
        QVERIFY(painted.contains(QStringLiteral("数据值死区")));
        QVERIFY(painted.indexOf(QStringLiteral("数据值死区")) < painted.indexOf(QStringLiteral("描述")));
        QVERIFY(painted.indexOf(QStringLiteral("表名")) < painted.indexOf(QStringLiteral("表类型")));
        QCOMPARE(CellText(insp, RowOf(insp, QStringLiteral("Description"))), QStringLiteral("Group1"));
        QCOMPARE(CellText(insp, RowOf(insp, QStringLiteral("TrigType"))), QStringLiteral("ttSnapShot"));
        QCOMPARE(CellText(insp, RowOf(insp, QStringLiteral("RecordInterval"))), QStringLiteral("1000"));
        TypeInto(insp, RowOf(insp, QStringLiteral("Description")), QStringLiteral("一号组"));
        QCOMPARE(group.Description(), std::string("一号组"));
    }

    void ReadOnlyTableNameHasNoButtonAndIgnoresDoubleClicks() {
        const int mark = TQZPrpertyEditManager::Instance().Count();
        RegisterPropEditor(InspectorTypeOf(tagsink::kStringType), nullptr, QStringLiteral("TableName"),
                           EditorClassOf<TableListEditor>());
        tagsink::TServer root;
        tagsink::TGroup& group = tagsink::TGroup::Create(root);
        TestInspector insp;
        insp.Add(Inspectable(group));
        insp.show();
        const int row = RowOf(insp, QStringLiteral("TableName"));
        insp.SetCurrentRow(row);
        QCOMPARE(insp.RowItem(row)->EditStyle, TQZEditStyle::esPickList);
        QTest::mouseDClick(Cell(insp), Qt::LeftButton);
        QCOMPARE(group.TableName(), std::string("T1"));
        insp.SetReadOnly(true);
        insp.SetCurrentRow(row);
        QCOMPARE(insp.RowItem(row)->EditStyle, TQZEditStyle::esSimple);
        QVERIFY(insp.InplaceEdit()->Button()->isHidden());
        QTest::mouseDClick(Cell(insp), Qt::LeftButton);
        QCOMPARE(group.TableName(), std::string("T1"));
        TQZPrpertyEditManager::Instance().Truncate(mark);
    }

    void EditorsForTheStandardStringApplyToModelStrings() {
        // The registry compares descriptors by identity: an editor registered for the standard string (as
        // for the model's string) must reach the model's string properties through the binding.
        QCOMPARE(InspectorTypeOf(tagsink::kStringType), StdTypes::String());
        const int mark = TQZPrpertyEditManager::Instance().Count();
        RegisterPropEditor(StdTypes::String(), nullptr, QStringLiteral("TableName"),
                           EditorClassOf<TableListEditor>());
        tagsink::TServer root;
        tagsink::TGroup& group = tagsink::TGroup::Create(root);
        group.SetTableName("T2");
        TestInspector insp;
        insp.Add(Inspectable(group));
        insp.show();
        const int row = RowOf(insp, QStringLiteral("TableName"));
        insp.SetCurrentRow(row);
        QCOMPARE(insp.RowItem(row)->EditStyle, TQZEditStyle::esPickList);
        QTest::mouseDClick(Cell(insp), Qt::LeftButton);
        QCOMPARE(group.TableName(), std::string("T1")); // after the last entry, the first
        // Other string properties keep the plain text editor.
        const int description = RowOf(insp, QStringLiteral("Description"));
        insp.SetCurrentRow(description);
        QCOMPARE(insp.RowItem(description)->EditStyle, TQZEditStyle::esSimple);
        insp.Clear();
        TQZPrpertyEditManager::Instance().Truncate(mark);
    }

    void GroupAndItemTogetherShareNothingButCommonNames() {
        tagsink::TServer root;
        tagsink::TGroup& group = tagsink::TGroup::Create(root);
        tagsink::TItem& item = tagsink::TItem::Create(group);
        TestInspector insp;
        insp.Add(Inspectable(group));
        insp.Add(Inspectable(item));
        QCOMPARE(insp.RowCount(), 0);
        insp.Clear();
        tagsink::TGroup& second = tagsink::TGroup::Create(root);
        insp.Add(Inspectable(group));
        insp.Add(Inspectable(second));
        QCOMPARE(Captions(insp).size(), 13);
        QCOMPARE(CellText(insp, RowOf(insp, QStringLiteral("UpdateRate"))), QStringLiteral("1000"));
    }
};

QTEST_MAIN(InspectorModelTest)
#include "inspector_model_test.moc"
