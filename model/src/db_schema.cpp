#include "model/db_schema.hpp"

namespace tagsink {

std::vector<std::string> TableSchema::ListFields(std::string_view table) const {
    return connection_->ListFields(table);
}

void ProcSchema::FetchParameters(std::string_view procedure) {
    procedure_.assign(procedure);
    parameters_.clear();
    parameters_ = connection_->ListProcedureParameters(procedure);
}

} // namespace tagsink
