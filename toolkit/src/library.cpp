#include "library.hpp"

#include "uRoutine.hpp"
#include "uServer.hpp"

#include <platform/ascii.hpp>

#include <stdexcept>

namespace tagclient {

Library::Library() = default;

Library::~Library() {
    // Unload: sessions go first (they still talk to the transport), then the transport, then the queue.
    try {
        EndSessionList();
        while (!orphans_.empty())
            orphans_.pop_back();
    } catch (...) {
    }
    events_.Clear();
    transport_.reset();
    events_.Clear();
}

Library& Library::Get() {
    static Library instance;
    return instance;
}

transport::Transport& Library::Transport() {
    if (!transport_) {
        transport_ = transport::CreateDefaultTransport(events_);
        if (!transport_)
            throw std::runtime_error("No transport to OPC servers is available");
        computer_name_ = transport_->ComputerName();
        format_data = transport_->RegisterClipboardFormat(transport::kFormatData);
        format_data_time = transport_->RegisterClipboardFormat(transport::kFormatDataTime);
        format_write_complete = transport_->RegisterClipboardFormat(transport::kFormatWriteComplete);
    }
    return *transport_;
}

std::uint32_t Library::NewHandle() {
    std::uint32_t current = next_handle_.load();
    do {
        if (current == UINT32_MAX)
            throw std::runtime_error("Out of handles");
    } while (!next_handle_.compare_exchange_weak(current, current + 1));
    return current + 1;
}

void Library::StartSessionList() {
    for (auto& s : sessions_)
        orphans_.push_back(std::move(s));
    sessions_.clear();
    list_exists_ = true;
}

void Library::EndSessionList() {
    // Last opened first. A session destroyed here may call back into nothing: its sinks are detached.
    while (!sessions_.empty()) {
        std::unique_ptr<TServer> last = std::move(sessions_.back());
        sessions_.pop_back();
        last.reset();
    }
    list_exists_ = false;
}

TServer* Library::FindSession(std::uint32_t handle) {
    if (handle == 0)
        return nullptr;
    for (auto& s : sessions_)
        if (s && s->Handle == handle)
            return s.get();
    return nullptr;
}

bool Library::IsLocalHost(const std::string& host) {
    Transport(); // the computer's name is read with the transport
    return host.empty() || qz::EqualsNoCase(host, computer_name_);
}

} // namespace tagclient
