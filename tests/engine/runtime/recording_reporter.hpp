// An EngineReporter that keeps what it is told, thread-safe, for assertions.
#pragma once

#include "engine/runtime/engine_reporter.hpp"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace tagsink::testing {

class RecordingReporter final : public EngineReporter {
public:
    struct Line {
        std::string unit, operation, text;
    };
    void WriteLog(std::string_view unit, std::string_view operation,
                  std::string_view text) noexcept override {
        std::lock_guard lock(mutex_);
        lines_.push_back({std::string(unit), std::string(operation), std::string(text)});
    }
    void SetOpcLinkText(std::string_view text) noexcept override {
        std::lock_guard lock(mutex_);
        opc_ = text;
    }
    void SetDbLinkText(std::string_view text) noexcept override {
        std::lock_guard lock(mutex_);
        db_ = text;
    }
    std::vector<Line> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    /// Lines of one operation, texts only.
    std::vector<std::string> Texts(const std::string& operation) const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> texts;
        for (const Line& line : lines_)
            if (line.operation == operation)
                texts.push_back(line.text);
        return texts;
    }
    std::string Opc() const {
        std::lock_guard lock(mutex_);
        return opc_;
    }
    std::string Db() const {
        std::lock_guard lock(mutex_);
        return db_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
    std::string opc_, db_;
};

} // namespace tagsink::testing
