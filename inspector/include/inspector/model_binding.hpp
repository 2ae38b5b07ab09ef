// The inspector's view of the project model's published properties: each model class and type
// descriptor gets one inspector descriptor, made on first use, whose accessors call the model's getters
// and setters and convert the values (UTF-8 text to QString, variants, object references). This is the
// one binding: the program, its editors and the tests all inspect project objects through it.
//
// Use from the user-interface thread only.
#pragma once

#include "inspector/type_info.hpp"

#include "model/published.hpp"

namespace tagsink::inspector {

/// The inspector descriptor of a model class (its ancestors bound too).
const TQZClassInfo* InspectorClassOf(const tagsink::ClassInfo& cls);
/// The inspector descriptor of a model type; the model's plain string (kStringType) is StdTypes::String().
const TQZTypeInfo* InspectorTypeOf(const tagsink::TypeInfo& type);
/// A model object as the inspector inspects it.
TQZInstance Inspectable(tagsink::Published& object);
/// The model object behind an instance of a bound class, or nullptr for any other instance.
tagsink::Published* ModelObjectOf(const TQZInstance& instance);

/// Value conversions between the model and the inspector.
TQZValue ToInspectorValue(const tagsink::PropValue& value);
tagsink::PropValue ToModelValue(const TQZValue& value);
TQZVariant ToInspectorVariant(const tagsink::VariantValue& value);
tagsink::VariantValue ToModelVariant(const TQZVariant& value);

} // namespace tagsink::inspector
