// The program's registrations made once at start, before the main window exists: the property editors
// of the project's connection, table, field and tag properties.
#pragma once

namespace tagsink::app {

/// Registers the five project property editors with the inspector (idempotent).
void RegisterProjectEditors();

} // namespace tagsink::app
