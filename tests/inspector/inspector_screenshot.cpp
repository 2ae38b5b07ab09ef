// Shows a project group in the inspector with the program's Chinese captions and saves a picture of it:
//   inspector_screenshot OUT.png
// Run it under a real display (Xvfb) for the documentation, or offscreen as a smoke test.
#include "property_captions.hpp"

#include "inspector/kind_editors.hpp"
#include "inspector/property_inspector.hpp"
#include "inspector/model_binding.hpp"
#include "inspector/prop_edit_manager.hpp"

#include "model/group.hpp"
#include "model/server.hpp"

#include <QApplication>
#include <QVBoxLayout>

#include <cstdio>

using namespace tagsink::inspector;

namespace {

// A table-name editor as docs/inspector.md registers it (the program's lists the database's tables).
class TTableNameEditor : public TQZStringPropEditor {
public:
    static const char* ClassName() { return "TTableNameEditor"; }
    using TQZStringPropEditor::TQZStringPropEditor;
    TQZPropEditorAttrs GetAttributes() override { return eaValueList; }
    void GetValues(QStringList& values) override {
        values << QStringLiteral("Events") << QStringLiteral("Readings");
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: inspector_screenshot OUT.png\n");
        return 2;
    }
    // Through the documented binding, as the program registers its editors.
    RegisterPropEditor(InspectorTypeOf(tagsink::kStringType), nullptr, QStringLiteral("TableName"),
                       EditorClassOf<TTableNameEditor>());
    tagsink::TServer root;
    tagsink::TGroup& group = tagsink::TGroup::Create(root);
    group.SetName("Group1");
    group.SetTableName("Readings");
    group.SetTimeField("RecordTime");
    group.SetKeyField("Line");
    group.SetDescription("一号生产线");

    QWidget window;
    window.setWindowTitle(QStringLiteral("Property "));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* insp = new TQZPropertyInspector(&window);
    layout->addWidget(insp);
    tagsink::app::UseProjectCaptions(*insp);
    insp->SetExpandComponentRefs(false);
    insp->Add(Inspectable(group));
    window.resize(300, 230);
    window.show();
    insp->SetSplitter(120);
    insp->SetCurrentRow(6); // TableName: its pick list through the binding
    app.processEvents();
    if (insp->RowItem(6)->EditStyle != TQZEditStyle::esPickList) {
        std::fprintf(stderr, "inspector_screenshot: TableName has no pick list\n");
        return 1;
    }

    const QPixmap picture = window.grab();
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "inspector_screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
