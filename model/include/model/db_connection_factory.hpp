// How the model creates the root's database connection.
//
// The model has no data-access layer of its own: the recording engine installs a factory at start-up.
// Until it does, CreateDbConnection gives a connection that is always closed and fails every Open with a
// message saying that no database access is installed, so a program without the engine still runs and
// shows why it cannot record.
#pragma once

#include "model/db_connection.hpp"

#include <functional>
#include <memory>

namespace tagsink {

using DbConnectionFactory = std::function<std::unique_ptr<DbConnection>()>;

/// Installs the factory used by CreateDbConnection from now on; an empty function restores the default.
/// Roots created earlier keep the connection they were given.
void SetDbConnectionFactory(DbConnectionFactory factory);

/// Creates a new, closed connection with the installed factory (or the default one).
std::unique_ptr<DbConnection> CreateDbConnection();

/// The message with which the default connection refuses every operation.
inline constexpr const char* kNoDatabaseAccessMessage =
    "No database access is installed in this program; the connection cannot be opened";

} // namespace tagsink
