// An EngineReporter that hands every call on to the runner's own reporter and shows it on the status
// board too: log lines go to the board's log tail and event stream, link texts set the two link states.
#pragma once

#include "engine/runtime/engine_reporter.hpp"
#include "status_board.hpp"

namespace tagsink::http {

class BoardReporter final : public EngineReporter {
public:
    BoardReporter(EngineReporter& next, StatusBoard& board) : next_(next), board_(board) {}
    void WriteLog(std::string_view unit, std::string_view operation, std::string_view text) noexcept override;
    void SetOpcLinkText(std::string_view text) noexcept override;
    void SetDbLinkText(std::string_view text) noexcept override;

private:
    EngineReporter& next_;
    StatusBoard& board_;
};

} // namespace tagsink::http
