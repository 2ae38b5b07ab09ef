#include "engine/statement/statement_log.hpp"

#include <memory>
#include <mutex>

namespace tagsink {

namespace {

std::mutex& LogMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<const StatementLog>& InstalledLog() {
    static std::shared_ptr<const StatementLog> log;
    return log;
}

} // namespace

void SetStatementLog(StatementLog log) {
    auto installed = log ? std::make_shared<const StatementLog>(std::move(log)) : nullptr;
    std::lock_guard lock(LogMutex());
    InstalledLog() = std::move(installed);
}

void WriteStatementLog(const std::string& op, const std::string& text) noexcept {
    std::shared_ptr<const StatementLog> log;
    {
        std::lock_guard lock(LogMutex());
        log = InstalledLog();
    }
    if (!log)
        return;
    try {
        (*log)("uMap", op, text);
    } catch (...) {
        // A failing log must not turn a handled failure into an unhandled one.
    }
}

} // namespace tagsink
