// The wait of the command-line client on Linux: poll on the library's event descriptor, then
// QZDAC_DispatchEvents; SIGINT and SIGTERM end it.
#include "client.hpp"
#include "event_wait.hpp"

#include <tagclient.h>

#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

namespace tagclient_cli {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnSignal(int) {
    g_interrupted = 1;
}

struct sigaction g_old_int {};
struct sigaction g_old_term {};

} // namespace

// Without SA_RESTART, so that poll returns at once.
EventWait::EventWait() {
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &g_old_int);
    sigaction(SIGTERM, &action, &g_old_term);
}

EventWait::~EventWait() {
    sigaction(SIGINT, &g_old_int, nullptr);
    sigaction(SIGTERM, &g_old_term, nullptr);
}

bool EventWait::Interrupted() const {
    return g_interrupted != 0;
}

void EventWait::WaitAndDispatch(int timeout_ms) {
    const int fd = static_cast<int>(QZDAC_GetEventHandle());
    // Without an event descriptor the library's work is simply run every time the wait ends.
    pollfd p{fd, POLLIN, 0};
    if (poll(fd >= 0 ? &p : nullptr, fd >= 0 ? 1 : 0, timeout_ms) < 0 && errno != EINTR)
        throw Failure(std::string("waiting for the library's events failed: ") + std::strerror(errno));
    QZDAC_DispatchEvents();
}

} // namespace tagclient_cli
