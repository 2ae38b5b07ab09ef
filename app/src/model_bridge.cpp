#include "model_bridge.hpp"

#include "inspector/model_binding.hpp"

namespace tagsink::app {

const inspector::TQZClassInfo* InspectorClassOf(const ClassInfo& cls) {
    return inspector::InspectorClassOf(cls);
}

inspector::TQZInstance InstanceOf(TNamedItem& object) {
    return inspector::Inspectable(object);
}

TNamedItem* ObjectOf(const inspector::TQZInstance& instance) {
    return dynamic_cast<TNamedItem*>(inspector::ModelObjectOf(instance));
}

} // namespace tagsink::app
