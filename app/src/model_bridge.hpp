// The project objects as the property inspector sees them: the program's names for the inspector's one
// model binding (inspector/model_binding.hpp), so the program, its editors and the tests inspect the same
// descriptors. String properties have the inspector's standard string type, so editors registered for
// strings apply to them.
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
