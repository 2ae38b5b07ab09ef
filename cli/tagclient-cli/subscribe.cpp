// subscribe: prints each data change of the items until interrupted (Ctrl+C; on Linux also SIGTERM), the
// count of changes is reached, the time is up, or the server shuts down.
#include "commands.hpp"

#include "client.hpp"
#include "event_wait.hpp"
#include "value_text.hpp"

#include <platform/code_page.hpp>
#include <platform/variant.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace tagclient_cli {
namespace {

// What the data-change and shutdown procedures need; they run on this thread inside
// QZDAC_DispatchEvents, while Subscribe is on the stack.
struct Subscription {
    const std::vector<std::string>* items = nullptr;
    std::uint64_t limit = 0;
    std::uint64_t received = 0;
    bool shutdown = false;
};
Subscription* g_subscription = nullptr;

void QZDAC_CALL OnDataChange(QZDAC_HSESSION, QZDAC_HGROUP, QZDAC_HITEM, int32_t client_value, VARIANT value,
                             FILETIME timestamp, uint32_t quality) {
    Subscription* s = g_subscription;
    if (!s || (s->limit && s->received >= s->limit))
        return;
    const auto index = static_cast<std::size_t>(client_value);
    const std::string id =
        index < s->items->size() ? (*s->items)[index] : "(item " + std::to_string(client_value) + ")";
    try {
        std::printf("%s\n", ItemLine(id, value, static_cast<std::uint16_t>(quality), timestamp).c_str());
        std::fflush(stdout);
    } catch (...) {
    }
    ++s->received;
}

int32_t QZDAC_CALL OnShutdown(QZDAC_HSESSION) {
    if (g_subscription)
        g_subscription->shutdown = true;
    return 0;
}

class ActiveSubscription {
public:
    explicit ActiveSubscription(Subscription& s) { g_subscription = &s; }
    ~ActiveSubscription() { g_subscription = nullptr; }
    ActiveSubscription(const ActiveSubscription&) = delete;
    ActiveSubscription& operator=(const ActiveSubscription&) = delete;
};

} // namespace

int Subscribe(const SubscribeOptions& options) {
    if (options.seconds < 0)
        throw UsageError("--seconds must not be negative");
    Library library;
    Session session(options.host, options.server);
    Subscription subscription;
    subscription.items = &options.items;
    subscription.limit = options.count;
    const ActiveSubscription active(subscription);
    QZDAC_SetDataChangeExProc(session.handle(), OnDataChange);
    QZDAC_SetShutdownProc(session.handle(), OnShutdown);
    // From here on an interrupt ends the subscription cleanly, also one that comes while it is set up.
    EventWait wait;

    Group group(session, true, options.rate);
    int result = 0;
    std::size_t accepted = 0;
    for (std::size_t i = 0; i < options.items.size(); ++i) {
        const std::string& id = options.items[i];
        if (QZDAC_AddItemEx(session.handle(), group.handle(), qz::ToAnsi(id).c_str(),
                            static_cast<int32_t>(i))) {
            ++accepted;
        } else {
            std::fprintf(stderr, "tagclient-cli: item '%s' was refused by the server (unknown item ID?)\n",
                         id.c_str());
            result = 1;
        }
    }
    if (accepted == 0)
        throw Failure("none of the items could be subscribed to");
    std::fprintf(stderr, "tagclient-cli: subscribed to %zu item(s) of '%s' at %u ms; Ctrl+C stops\n",
                 accepted, options.server.c_str(), static_cast<unsigned>(group.updateRate()));

    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(options.seconds > 0 ? options.seconds : 0));
    for (;;) {
        if (wait.Interrupted() || subscription.shutdown ||
            (options.count && subscription.received >= options.count))
            break;
        int timeout = 500;
        if (options.seconds > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            timeout = static_cast<int>(std::min<long long>(left, timeout));
        }
        wait.WaitAndDispatch(timeout);
    }
    if (subscription.shutdown) {
        std::fprintf(stderr, "tagclient-cli: server '%s' asked its clients to disconnect\n",
                     options.server.c_str());
        return 1;
    }
    if (options.count && subscription.received < options.count && !wait.Interrupted()) {
        std::fprintf(stderr, "tagclient-cli: %llu of %llu data changes arrived in time\n",
                     static_cast<unsigned long long>(subscription.received),
                     static_cast<unsigned long long>(options.count));
        return 1;
    }
    return result;
}

} // namespace tagclient_cli
