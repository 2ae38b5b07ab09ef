// RecordLock: the engine's one lock. It guards the root's PendingList only and is held just long enough
// to append one statement or to move the whole list to the record thread.
#pragma once

#include <mutex>
#include <string>

namespace tagsink {

class TServer;

/// The process-wide RecordLock.
std::mutex& RecordLock();

/// Appends one statement to the root's PendingList under RecordLock.
void QueueStatement(TServer& server, std::string statement);

} // namespace tagsink
