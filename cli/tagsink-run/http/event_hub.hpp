// The event stream's fan-out: every client of /api/events has a queue of its own with a fixed bound.
// Publishing never waits for a client: a full queue drops its oldest event and remembers that it did, so
// the client is told to fetch the whole state again. Publish is called from the engine's threads; Next
// from the HTTP server's threads.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tagsink::http {

/// One server-sent event: its type ("value", "log", "link", "resync") and its data (one line of JSON).
struct Event {
    std::string type;
    std::string data;
};

class EventHub;

/// One client's queue; Next waits for events or the timeout.
class Subscription {
public:
    explicit Subscription(std::size_t bound) : bound_(bound) {}

    /// Moves out what waits (a "resync" first when events were dropped). Empty after `timeout` without
    /// events, or at once when the hub is closed.
    std::vector<Event> Next(std::chrono::milliseconds timeout);
    bool Closed() const;
    /// Events dropped because the client did not keep up.
    std::size_t Dropped() const;

private:
    friend class EventHub;
    void Push(const Event& event);
    void Close();

    const std::size_t bound_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Event> events_;
    std::size_t dropped_ = 0;
    bool resync_ = false;
    bool closed_ = false;
};

class EventHub {
public:
    explicit EventHub(std::size_t queue_bound = 4096, std::size_t max_clients = 8)
        : queue_bound_(queue_bound), max_clients_(max_clients) {}
    ~EventHub() { Close(); }

    /// A new client's queue; null when `max_clients` are listening already or the hub is closed.
    std::shared_ptr<Subscription> Subscribe();
    void Unsubscribe(const std::shared_ptr<Subscription>& subscription);
    /// True when someone listens (a cheap check before an event is built).
    bool Listened() const { return listeners_.load(std::memory_order_relaxed) > 0; }
    void Publish(const Event& event);
    /// Wakes every client and refuses new ones (the endpoint stops).
    void Close();

private:
    const std::size_t queue_bound_;
    const std::size_t max_clients_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Subscription>> clients_;
    std::atomic<std::size_t> listeners_{0};
    bool closed_ = false;
};

} // namespace tagsink::http
