#include "engine/runtime/record_lock.hpp"

#include "model/server.hpp"

namespace tagsink {

std::mutex& RecordLock() {
    static std::mutex lock;
    return lock;
}

void QueueStatement(TServer& server, std::string statement) {
    std::lock_guard guard(RecordLock());
    server.PendingList.push_back(std::move(statement));
}

} // namespace tagsink
