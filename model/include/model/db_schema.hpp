// The two schema objects every group owns, bound to the root's connection.
//
// TableSchema lists a table's columns (opened on the table, then closed). ProcSchema keeps the parameter
// list of the procedure it was last pointed at: the statement builder writes as many arguments as it
// holds now, which is none until FetchParameters has run in this program run.
//
// Threads: the editors fetch on the user-interface thread in Edit mode; the statement builder reads on
// the record thread only while the engine runs. The two never overlap, so no locking is done here.
#pragma once

#include "model/db_connection.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace tagsink {

class TableSchema {
public:
    explicit TableSchema(DbConnection& connection) : connection_(&connection) {}

    /// Column names of `table` in table order; throws DatabaseError when the table cannot be opened.
    std::vector<std::string> ListFields(std::string_view table) const;

private:
    DbConnection* connection_;
};

class ProcSchema {
public:
    explicit ProcSchema(DbConnection& connection) : connection_(&connection) {}

    /// Points the schema at `procedure` and refreshes its parameter list from the database (return value
    /// included, as the driver reports it). On failure the list is emptied and DatabaseError is thrown.
    void FetchParameters(std::string_view procedure);

    /// The procedure last fetched (empty before the first fetch).
    const std::string& ProcedureName() const { return procedure_; }

    /// The parameters held now, in driver order; empty until fetched.
    const std::vector<ProcParameter>& Parameters() const { return parameters_; }

    /// Number of parameters held now: 0 until fetched in this run.
    int ParameterCount() const { return static_cast<int>(parameters_.size()); }

    /// Forgets the fetched parameters.
    void Clear() {
        procedure_.clear();
        parameters_.clear();
    }

private:
    DbConnection* connection_;
    std::string procedure_;
    std::vector<ProcParameter> parameters_;
};

} // namespace tagsink
