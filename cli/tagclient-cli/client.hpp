// The pieces of tagclient that every command holds: the library on this thread with its log procedure,
// a session with one server, and a group of that session. Each releases what it holds when it goes.
#pragma once
#include <tagclient.h>

#include <stdexcept>
#include <string>

namespace tagclient_cli {

/// An operation that failed: the message is shown and the program exits with 1.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A command line that asks for something impossible (exit code 2).
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// QZDAC_Init on this thread, with the library's reports going to stderr; QZDAC_Uninit at the end.
class Library {
public:
    Library();
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
};

/// A session with the server named by a ProgID or class ID on a host ("" = this computer).
class Session {
public:
    Session(const std::string& host, const std::string& server);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    QZDAC_HSESSION handle() const noexcept { return handle_; }
    const std::string& server() const noexcept { return server_; }

private:
    QZDAC_HSESSION handle_ = 0;
    std::string server_;
};

/// A group of a session; removed from the server when it goes.
class Group {
public:
    Group(const Session& session, bool active, std::uint32_t update_rate);
    ~Group();
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;
    QZDAC_HGROUP handle() const noexcept { return handle_; }
    /// The update rate the server granted (it may revise the one asked for).
    std::uint32_t updateRate() const;

private:
    QZDAC_HSESSION session_;
    QZDAC_HGROUP handle_ = 0;
};

/// "this computer" for the empty host, else the host's name, for messages.
std::string HostText(const std::string& host);

} // namespace tagclient_cli
