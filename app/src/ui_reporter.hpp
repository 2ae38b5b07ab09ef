// WriteLog and the two link texts, callable from any thread, delivered on the user-interface thread.
//
// Every call is put into one queue under a lock (so lines appear in the order of the calls that made
// them, whichever thread made them) and the queue is drained on the user-interface thread. The caller
// never waits for the window.
#pragma once

#include "engine/runtime/engine_reporter.hpp"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <mutex>
#include <string_view>

namespace tagsink::app {

class UiReporter final : public QObject, public EngineReporter {
    Q_OBJECT
public:
    struct Sinks {
        std::function<void(const QDateTime& time, const QString& unit, const QString& operation,
                           const QString& text)>
            line;
        std::function<void(const QString& text)> opc_link;
        std::function<void(const QString& text)> db_link;
    };

    /// Lives on the thread that creates it; `sinks` run there.
    explicit UiReporter(Sinks sinks);
    ~UiReporter() override;

    void WriteLog(std::string_view unit, std::string_view operation, std::string_view text) noexcept override;
    void SetOpcLinkText(std::string_view text) noexcept override;
    void SetDbLinkText(std::string_view text) noexcept override;

    /// Delivers everything queued so far (on the owning thread).
    void Drain();

private:
    enum class Kind { Line, Opc, Db };
    struct Entry {
        Kind kind;
        QDateTime time;
        QString unit, operation, text;
    };
    void Push(Entry entry) noexcept;

    Sinks sinks_;
    std::mutex lock_;
    std::deque<Entry> queue_;
    bool drain_posted_ = false;
};

/// The program's one log call: unit name, operation name, text. Does nothing while no main window exists.
void WriteLog(std::string_view unit, std::string_view operation, std::string_view text) noexcept;

/// Where WriteLog goes (the main window's reporter); nullptr while there is none.
void SetLogTarget(EngineReporter* target);

} // namespace tagsink::app
