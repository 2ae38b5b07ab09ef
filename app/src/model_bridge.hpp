// The project objects as the property inspector sees them.
//
// The inspector knows nothing of the project classes: it lists the published properties of a TQZInstance
// through a TQZClassInfo. This bridge builds one TQZClassInfo per project class from the class's own
// descriptor table, once, so the inspector reads and writes the same getters and setters the project file
// uses. String properties use the inspector's standard string type, so editors registered for strings
// apply to them.
#pragma once

#include "inspector/type_info.hpp"
#include "model/named_item.hpp"

namespace tagsink::app {

/// The inspector's descriptor of a project class (built on first use, kept for the program's life).
const inspector::TQZClassInfo* InspectorClassOf(const ClassInfo& cls);

/// The instance the inspector shows for a project object.
inspector::TQZInstance InstanceOf(TNamedItem& object);

/// The project object behind an instance made by InstanceOf, or nullptr.
TNamedItem* ObjectOf(const inspector::TQZInstance& instance);

} // namespace tagsink::app
