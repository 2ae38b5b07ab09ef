#include "ui_reporter.hpp"

namespace tagsink::app {

namespace {
QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::mutex targetLock;
EngineReporter* target = nullptr;
} // namespace

UiReporter::UiReporter(Sinks sinks) : sinks_(std::move(sinks)) {}

UiReporter::~UiReporter() = default;

void UiReporter::Push(Entry entry) noexcept {
    try {
        bool post = false;
        {
            std::lock_guard guard(lock_);
            queue_.push_back(std::move(entry));
            post = !drain_posted_;
            drain_posted_ = true;
        }
        if (post) {
            QMetaObject::invokeMethod(this, &UiReporter::Drain, Qt::QueuedConnection);
        }
    } catch (...) {
        // A log line that cannot be queued (out of memory) is dropped; the caller must never fail.
    }
}

void UiReporter::WriteLog(std::string_view unit, std::string_view operation, std::string_view text) noexcept {
    try {
        Push({Kind::Line, QDateTime::currentDateTime(), Q(unit), Q(operation), Q(text)});
    } catch (...) {
    }
}

void UiReporter::SetOpcLinkText(std::string_view text) noexcept {
    try {
        Push({Kind::Opc, {}, {}, {}, Q(text)});
    } catch (...) {
    }
}

void UiReporter::SetDbLinkText(std::string_view text) noexcept {
    try {
        Push({Kind::Db, {}, {}, {}, Q(text)});
    } catch (...) {
    }
}

void UiReporter::Drain() {
    std::deque<Entry> batch;
    {
        std::lock_guard guard(lock_);
        batch.swap(queue_);
        drain_posted_ = false;
    }
    for (const Entry& entry : batch) {
        switch (entry.kind) {
        case Kind::Line:
            if (sinks_.line) {
                sinks_.line(entry.time, entry.unit, entry.operation, entry.text);
            }
            break;
        case Kind::Opc:
            if (sinks_.opc_link) {
                sinks_.opc_link(entry.text);
            }
            break;
        case Kind::Db:
            if (sinks_.db_link) {
                sinks_.db_link(entry.text);
            }
            break;
        }
    }
}

void WriteLog(std::string_view unit, std::string_view operation, std::string_view text) noexcept {
    std::lock_guard guard(targetLock);
    if (target) {
        target->WriteLog(unit, operation, text);
    }
}

void SetLogTarget(EngineReporter* new_target) {
    std::lock_guard guard(targetLock);
    target = new_target;
}

} // namespace tagsink::app
