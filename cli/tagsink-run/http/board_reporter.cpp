#include "board_reporter.hpp"

#include "engine/runtime/recorder.hpp"

namespace tagsink::http {

void BoardReporter::WriteLog(std::string_view unit, std::string_view operation,
                             std::string_view text) noexcept {
    next_.WriteLog(unit, operation, text);
    try {
        // The log view's line format: "time:unit--operation--text".
        std::string line = LocalTimeText();
        line.append(":").append(unit).append("--").append(operation).append("--").append(text);
        board_.AddLogLine(std::move(line));
    } catch (...) {
    }
}

void BoardReporter::SetOpcLinkText(std::string_view text) noexcept {
    next_.SetOpcLinkText(text);
    board_.SetOpcLink(text == kOpcConnected);
}

void BoardReporter::SetDbLinkText(std::string_view text) noexcept {
    next_.SetDbLinkText(text);
    board_.SetDbLink(text == kDbConnected);
}

} // namespace tagsink::http
