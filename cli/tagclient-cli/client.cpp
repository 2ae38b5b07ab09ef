// Library, session and group holders of the command-line client.
#include "client.hpp"

#include <platform/bstr.hpp>
#include <platform/code_page.hpp>

#include <cstdio>

namespace tagclient_cli {
namespace {

// The library's failure reports: "tagclient: <operation>: <message>" on stderr. The procedure owns both
// strings; nothing may escape it.
void QZDAC_LOGCALL LogToStderr(BSTR source, BSTR message) {
    const qz::Bstr owned_source = qz::Bstr::attach(source);
    const qz::Bstr owned_message = qz::Bstr::attach(message);
    try {
        std::fprintf(stderr, "tagclient: %s: %s\n", owned_source.toUtf8().c_str(),
                     owned_message.toUtf8().c_str());
        std::fflush(stderr);
    } catch (...) {
    }
}

} // namespace

std::string HostText(const std::string& host) {
    return host.empty() ? "this computer" : "host '" + host + "'";
}

Library::Library() {
    QZDAC_SetLogProc(LogToStderr);
    if (!QZDAC_Init())
        throw Failure("the OPC client library could not be initialised");
}

Library::~Library() {
    QZDAC_Uninit();
    QZDAC_SetLogProc(nullptr);
}

Session::Session(const std::string& host, const std::string& server) : server_(server) {
    handle_ = QZDAC_Connect(qz::ToAnsi(host).c_str(), qz::ToAnsi(server).c_str(), 0);
    if (!handle_)
        throw Failure("cannot connect to server '" + server + "' on " + HostText(host) +
                      ": no such server, or it could not be started");
}

Session::~Session() {
    QZDAC_Disconnect(handle_);
}

Group::Group(const Session& session, bool active, std::uint32_t update_rate) : session_(session.handle()) {
    handle_ = QZDAC_AddGroup(session_, "", active ? QZDAC_TRUE : QZDAC_FALSE, update_rate, 0, 0.0f, 0);
    if (!handle_)
        throw Failure("server '" + session.server() + "' refused to create a group");
}

Group::~Group() {
    QZDAC_RemoveGroup(session_, handle_);
}

std::uint32_t Group::updateRate() const {
    std::uint32_t rate = 0;
    QZDAC_BOOL active = 0;
    std::int32_t bias = 0;
    float deadband = 0;
    std::uint32_t lcid = 0;
    if (!QZDAC_GetGroupStat(session_, handle_, &rate, &active, &bias, &deadband, &lcid))
        return 0;
    return rate;
}

} // namespace tagclient_cli
