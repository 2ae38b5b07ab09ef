#include "event_hub.hpp"

#include <algorithm>

namespace tagsink::http {

std::vector<Event> Subscription::Next(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    ready_.wait_for(lock, timeout, [this] { return closed_ || !events_.empty(); });
    std::vector<Event> out;
    if (closed_)
        return out;
    if (resync_) {
        out.push_back(Event{"resync", "{\"dropped\":" + std::to_string(dropped_) + "}"});
        resync_ = false;
    }
    out.reserve(out.size() + events_.size());
    for (auto& event : events_)
        out.push_back(std::move(event));
    events_.clear();
    return out;
}

bool Subscription::Closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

std::size_t Subscription::Dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void Subscription::Push(const Event& event) {
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return;
        if (events_.size() >= bound_) {
            events_.pop_front();
            ++dropped_;
            resync_ = true;
        }
        events_.push_back(event);
    }
    ready_.notify_one();
}

void Subscription::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        events_.clear();
    }
    ready_.notify_all();
}

std::shared_ptr<Subscription> EventHub::Subscribe() {
    std::lock_guard lock(mutex_);
    if (closed_ || clients_.size() >= max_clients_)
        return nullptr;
    clients_.push_back(std::make_shared<Subscription>(queue_bound_));
    listeners_.store(clients_.size());
    return clients_.back();
}

void EventHub::Unsubscribe(const std::shared_ptr<Subscription>& subscription) {
    std::lock_guard lock(mutex_);
    clients_.erase(std::remove(clients_.begin(), clients_.end(), subscription), clients_.end());
    listeners_.store(clients_.size());
}

void EventHub::Publish(const Event& event) {
    std::lock_guard lock(mutex_);
    for (const auto& client : clients_)
        client->Push(event);
}

void EventHub::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (const auto& client : clients_)
        client->Close();
    clients_.clear();
    listeners_.store(0);
}

} // namespace tagsink::http
