// TRecordThread: the worker that runs Recorder passes until it is told to stop.
//
// A pass that moved nothing is followed by a 1 ms pause; a pass that moved statements is followed at once
// by the next. The thread ends only through its own stop signal (RequestStop, or destroying the object);
// before it ends it runs Recorder::Finish, so nothing that was queued is lost.
#pragma once

#include "engine/runtime/recorder.hpp"
#include "model/named_item.hpp"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tagsink {

class TRecordThread final : public RunTimeObject {
public:
    /// Starts the thread at once.
    TRecordThread(TServer& server, const Clock& clock, EngineReporter& reporter, RecorderStats& stats,
                  RecorderOptions options = {});
    /// Stops the thread and waits for it.
    ~TRecordThread() override;

    /// Tells the thread to end after its current pass; does not wait.
    void RequestStop();
    /// Waits until the thread has ended (after RequestStop).
    void Join();
    bool Running() const;

private:
    void Loop();

    Recorder recorder_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool running_ = true;
    std::thread thread_;
};

} // namespace tagsink
