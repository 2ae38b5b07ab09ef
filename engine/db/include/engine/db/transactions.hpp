// What the record thread needs beyond DbConnection to execute statements in batches: explicit
// transactions and reading a few rows back (its progress table).
//
// A connection that offers this interface may still report that its driver has no transactions; the
// record thread then executes every statement on its own (autocommit).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tagsink::db {

class Transactions {
public:
    virtual ~Transactions() = default;

    /// True when the open connection's driver can group statements into transactions.
    virtual bool SupportsTransactions() = 0;

    /// Starts a transaction: statements executed afterwards wait for Commit or Rollback.
    virtual void Begin() = 0;

    /// Commits the transaction and returns to autocommit. Throws DbFailure; the outcome of a commit whose
    /// connection broke is unknown to the caller.
    virtual void Commit() = 0;

    /// Rolls the transaction back and returns to autocommit; never fails towards the caller.
    virtual void Rollback() noexcept = 0;

    /// Runs a query and returns its rows, every column as text (NULL as an empty text).
    virtual std::vector<std::vector<std::string>> QueryRows(std::string_view sql) = 0;

    /// True when the open connection takes several statements, separated by ";", in one Execute (one
    /// round trip) and reports a refusal of any of them as the failure of that Execute.
    virtual bool AcceptsStatementLists() { return false; }
};

} // namespace tagsink::db
