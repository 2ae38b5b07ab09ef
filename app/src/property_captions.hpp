// How the program shows a project object in the property inspector: the operator's captions of the
// properties and the properties that are not listed. The window and the tests use this one table.
#pragma once

#include <QString>

namespace tagsink::inspector {
class TQZCustomPropertyInspector;
}

namespace tagsink::app {

/// The caption shown for a property of the project (matched exactly); any other name comes back as it is.
QString PropertyCaption(const QString& name);

/// False for the properties the inspector does not list ("Dirty", "Tag" and "Name", matched exactly).
bool ListsProperty(const QString& name);

/// Installs the captions and the filter on an inspector.
void UseProjectCaptions(inspector::TQZCustomPropertyInspector& inspector);

} // namespace tagsink::app
