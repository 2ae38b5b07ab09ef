#include "engine/runtime/record_thread.hpp"

#include "platform/thread_name.hpp"

namespace tagsink {

TRecordThread::TRecordThread(TServer& server, const Clock& clock, EngineReporter& reporter,
                             RecorderStats& stats, RecorderOptions options)
    : recorder_(server, clock, reporter, stats, std::move(options)), thread_([this] { Loop(); }) {}

TRecordThread::~TRecordThread() {
    RequestStop();
    Join();
}

void TRecordThread::RequestStop() {
    recorder_.RequestStop(); // a long catch-up returns after its current statement
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
}

void TRecordThread::Join() {
    if (thread_.joinable())
        thread_.join();
}

bool TRecordThread::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void TRecordThread::Loop() {
    qz::NameThisThread("tagsink-record");
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stop_)
                break;
        }
        bool moved = false;
        try {
            moved = recorder_.DoRecord();
        } catch (...) {
            // DoRecord reports its own failures; nothing else may end the thread early.
        }
        if (!moved) {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(1), [this] { return stop_; });
        }
    }
    try {
        recorder_.Finish();
    } catch (...) {
    }
    std::lock_guard lock(mutex_);
    running_ = false;
}

} // namespace tagsink
