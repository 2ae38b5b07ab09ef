#include "prop_editors.hpp"

#include "database_browser.hpp"
#include "item_browser.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/opc_string.hpp"
#include "model/server.hpp"
#include "model_bridge.hpp"
#include "prompts.hpp"
#include "registration.hpp"
#include "server_browser.hpp"
#include "ui_reporter.hpp"

#include "inspector/model_binding.hpp"
#include "inspector/property_inspector.hpp"
#include "inspector/std_types.hpp"

#include <QApplication>

namespace tagsink::app {

namespace {

using inspector::eaAutoUpdate;
using inspector::eaDialog;
using inspector::eaReadOnly;
using inspector::eaValueList;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QWidget* DialogParent() {
    return QApplication::activeWindow();
}

QStringList ToList(const std::vector<std::string>& names) {
    QStringList list;
    for (const std::string& name : names) {
        list << Q(name);
    }
    return list;
}

} // namespace

bool DBConnect(TServer& server) {
    DbConnection& connection = server.DBConnection();
    if (connection.IsConnected()) {
        return true;
    }
    try {
        connection.Open(std::chrono::seconds(10));
    } catch (const std::exception& error) {
        WriteLog("uMap", "TServer.DBConnect", error.what());
    }
    return connection.IsConnected();
}

inspector::TQZPropEditorAttrs TOPCStringEditor::GetAttributes() {
    return eaDialog;
}

void TOPCStringEditor::Edit() {
    std::string host, prog_id, class_id;
    ParseOPCString(GetStrValue(0).toStdString(), host, prog_id, class_id);
    TServerBrowser browser(DialogParent());
    browser.Host->setText(Q(host));
    if (CurrentPrompts().Exec(browser) == QDialog::Accepted) {
        browser.GetSelection(host, prog_id, class_id);
        SetStrValue(Q(FormatOPCString(host, prog_id, class_id)));
    }
}

inspector::TQZPropEditorAttrs TDBStringEditor::GetAttributes() {
    return eaDialog | eaReadOnly | eaAutoUpdate;
}

void TDBStringEditor::Edit() {
    TDatabaseBrowser dialog(DialogParent());
    dialog.ConnStr->setPlainText(GetStrValue(0));
    if (CurrentPrompts().Exec(dialog) == QDialog::Accepted) {
        SetStrValue(dialog.ConnStr->toPlainText());
    }
}

inspector::TQZPropEditorAttrs TItemNameEditor::GetAttributes() {
    return eaDialog;
}

void TItemNameEditor::Edit() {
    TNamedItem* item = ObjectOf(GetInstance(0));
    TNamedItem* group = item ? item->Owner() : nullptr;
    auto* server = group ? dynamic_cast<TServer*>(group->Owner()) : nullptr;
    TItemBrowser browser(DialogParent());
    std::string host, prog_id, class_id;
    if (server) {
        ParseOPCString(server->OPCString(), host, prog_id, class_id);
    }
    browser.eName->setText(GetStrValue(0));
    browser.SetOPC(host, class_id);
    if (CurrentPrompts().Exec(browser) == QDialog::Accepted) {
        SetStrValue(browser.eName->text());
    }
}

inspector::TQZPropEditorAttrs TTableNameEditor::GetAttributes() {
    return eaValueList;
}

void TTableNameEditor::GetValues(QStringList& values) {
    auto* group = dynamic_cast<TGroup*>(ObjectOf(GetInstance(0)));
    auto* server = group ? dynamic_cast<TServer*>(group->Owner()) : nullptr;
    if (!server || !DBConnect(*server)) {
        return;
    }
    DbConnection& connection = server->DBConnection();
    values << ToList(group->TableType() == TTableType::ttTable ? connection.ListTables()
                                                               : connection.ListProcedures());
}

inspector::TQZPropEditorAttrs TFieldNameEditor::GetAttributes() {
    return eaValueList;
}

void TFieldNameEditor::GetValues(QStringList& values) {
    TNamedItem* object = ObjectOf(GetInstance(0));
    TGroup* group = nullptr;
    if (auto* item = dynamic_cast<TItem*>(object)) {
        group = dynamic_cast<TGroup*>(item->Owner());
    } else {
        group = dynamic_cast<TGroup*>(object);
    }
    auto* server = group ? dynamic_cast<TServer*>(group->Owner()) : nullptr;
    if (!server || !DBConnect(*server)) {
        return;
    }
    if (group->TableType() == TTableType::ttTable) {
        // A table that cannot be opened raises: the operator sees why, and no list opens.
        values << ToList(group->GetTableSchema().ListFields(group->TableName()));
        return;
    }
    ProcSchema& schema = group->GetProcSchema();
    schema.FetchParameters(group->TableName());
    // The procedure's result is no field to write to, whatever name the driver gives it.
    QStringList names;
    for (const ProcParameter& parameter : schema.Parameters()) {
        if (parameter.Kind != ProcParameterKind::ReturnValue) {
            names << Q(parameter.Name);
        }
    }
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names[i].compare(QLatin1String("@RETURN_VALUE"), Qt::CaseInsensitive) == 0) {
            names.removeAt(i);
            break;
        }
    }
    values << names;
}

void RegisterProjectEditors() {
    using inspector::EditorClassOf;
    // The model's string type as the binding gives it (the inspector's standard string).
    const inspector::TQZTypeInfo* text = inspector::InspectorTypeOf(kStringType);
    auto reg = [text](const char* name, const inspector::TQZPropEditorClass* editor) {
        inspector::TQZCustomPropertyInspector::RegisterPropEditor(text, nullptr, QString::fromLatin1(name),
                                                                  editor);
    };
    reg("DBString", EditorClassOf<TDBStringEditor>());
    reg("ItemName", EditorClassOf<TItemNameEditor>());
    reg("TableName", EditorClassOf<TTableNameEditor>());
    reg("OPCString", EditorClassOf<TOPCStringEditor>());
    reg("TimeField", EditorClassOf<TFieldNameEditor>());
    reg("KeyField", EditorClassOf<TFieldNameEditor>());
    reg("FieldName", EditorClassOf<TFieldNameEditor>());
}

} // namespace tagsink::app
