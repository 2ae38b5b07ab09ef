// The five editors of the project's connection, tag, table and field properties. Three open a dialog
// (server browser, connection dialog, item browser); two offer a pick list read live from the database.
#pragma once

#include "inspector/kind_editors.hpp"

namespace tagsink {
class TServer;
}

namespace tagsink::app {

class TOPCStringEditor : public inspector::TQZStringPropEditor {
    QZ_EDITOR_CLASS(TOPCStringEditor, TQZStringPropEditor)
    inspector::TQZPropEditorAttrs GetAttributes() override;
    void Edit() override;
};

class TDBStringEditor : public inspector::TQZStringPropEditor {
    QZ_EDITOR_CLASS(TDBStringEditor, TQZStringPropEditor)
    inspector::TQZPropEditorAttrs GetAttributes() override;
    void Edit() override;
};

class TItemNameEditor : public inspector::TQZStringPropEditor {
    QZ_EDITOR_CLASS(TItemNameEditor, TQZStringPropEditor)
    inspector::TQZPropEditorAttrs GetAttributes() override;
    void Edit() override;
};

class TTableNameEditor : public inspector::TQZStringPropEditor {
    QZ_EDITOR_CLASS(TTableNameEditor, TQZStringPropEditor)
    inspector::TQZPropEditorAttrs GetAttributes() override;
    void GetValues(QStringList& values) override;
};

class TFieldNameEditor : public inspector::TQZStringPropEditor {
    QZ_EDITOR_CLASS(TFieldNameEditor, TQZStringPropEditor)
    inspector::TQZPropEditorAttrs GetAttributes() override;
    void GetValues(QStringList& values) override;
};

/// Opens the root's database connection when it is closed; a failure is logged under "TServer.DBConnect"
/// and leaves the connection closed. Returns whether the connection is open.
bool DBConnect(TServer& server);

} // namespace tagsink::app
