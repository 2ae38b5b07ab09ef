// The library-wide state: session list, initialised flag, log procedure, computer name, the event queue,
// the transport, the handle counter, the stream formats and the item-list lock.
#pragma once
#include "event_queue.hpp"

#include <tagclient.h>
#include <transport/transport.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tagclient {

class TServer;

class Library {
public:
    Library();
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // The one instance, created when the library is first used and destroyed when it is unloaded.
    static Library& Get();

    EventQueue& Events() { return events_; }
    // The transport, created on first use (on the client thread).
    transport::Transport& Transport();

    // A new handle: never 0, never handed out twice while the library is loaded.
    std::uint32_t NewHandle();

    // The session list; `SessionListExists` is false before QZDAC_Init and after QZDAC_Uninit.
    std::vector<std::unique_ptr<TServer>>& Sessions() { return sessions_; }
    bool SessionListExists() const { return list_exists_; }
    // QZDAC_Init: a new empty list (sessions of an earlier list are kept alive but no longer accepted).
    void StartSessionList();
    // QZDAC_Uninit: tears the sessions down, last first, and destroys the list.
    void EndSessionList();
    // The session whose handle this is, or null.
    TServer* FindSession(std::uint32_t handle);

    bool initialized = false;
    std::atomic<TLogProc> log_proc{nullptr};

    // Whether a host name means this computer.
    bool IsLocalHost(const std::string& host);

    // The registered numbers of the three stream formats (0 until the transport exists).
    transport::CLIPFORMAT format_data = 0;
    transport::CLIPFORMAT format_data_time = 0;
    transport::CLIPFORMAT format_write_complete = 0;

    // The item-list lock.
    std::recursive_mutex item_list_lock;

private:
    EventQueue events_;
    std::unique_ptr<transport::Transport> transport_;
    std::string computer_name_;
    std::vector<std::unique_ptr<TServer>> sessions_;
    std::vector<std::unique_ptr<TServer>> orphans_; // sessions of an earlier QZDAC_Init
    bool list_exists_ = false;
    std::atomic<std::uint32_t> next_handle_{0};
};

} // namespace tagclient
