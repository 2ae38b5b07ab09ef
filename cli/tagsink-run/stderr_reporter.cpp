#include "stderr_reporter.hpp"

#include "engine/runtime/recorder.hpp"

#include <cstdio>

namespace tagsink {

void StderrReporter::WriteLog(std::string_view unit, std::string_view operation,
                              std::string_view text) noexcept {
    if (!log_)
        return;
    try {
        std::string line = LocalTimeText() + ":" + std::string(unit) + "--" + std::string(operation) + "--" +
                           std::string(text) + "\n";
        std::lock_guard lock(mutex_);
        std::fwrite(line.data(), 1, line.size(), stderr);
    } catch (...) {
    }
}

void StderrReporter::SetOpcLinkText(std::string_view text) noexcept {
    try {
        std::lock_guard lock(mutex_);
        opc_ = text;
    } catch (...) {
    }
}

void StderrReporter::SetDbLinkText(std::string_view text) noexcept {
    try {
        std::lock_guard lock(mutex_);
        db_ = text;
    } catch (...) {
    }
}

std::string StderrReporter::OpcText() const {
    std::lock_guard lock(mutex_);
    return opc_;
}

std::string StderrReporter::DbText() const {
    std::lock_guard lock(mutex_);
    return db_;
}

void StderrReporter::Print(const std::string& line) {
    std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace tagsink
