#include "project_engine.hpp"

#include "model/server.hpp"

#if __has_include("engine/runtime/engine.hpp")
#include "engine/runtime/engine.hpp"
#define TAGSINK_APP_HAVE_ENGINE 1
#endif

namespace tagsink::app {

#ifdef TAGSINK_APP_HAVE_ENGINE

struct ProjectEngine::Impl {
    Impl(TServer& server, QtEventLoop& loop, EngineReporter& reporter) : engine(server, loop, reporter) {}
    Engine engine;
};

ProjectEngine::ProjectEngine(TServer& server, QtEventLoop& loop, EngineReporter& reporter)
    : impl_(std::make_unique<Impl>(server, loop, reporter)) {}
ProjectEngine::~ProjectEngine() = default;
bool ProjectEngine::CanRun() const { return impl_->engine.CanRun(); }
void ProjectEngine::Run() { impl_->engine.Run(); }
void ProjectEngine::Stop() { impl_->engine.Stop(); }
bool ProjectEngine::Running() const { return impl_->engine.Running(); }
void ProjectEngine::SetShutdownHandler(std::function<void()> handler) {
    impl_->engine.SetShutdownHandler(std::move(handler));
}

#else

// Built before the recording engine joined the tree: the window works, Run reports that it cannot record.
struct ProjectEngine::Impl {
    TServer& server;
    EngineReporter& reporter;
};

ProjectEngine::ProjectEngine(TServer& server, QtEventLoop&, EngineReporter& reporter)
    : impl_(std::make_unique<Impl>(Impl{server, reporter})) {}
ProjectEngine::~ProjectEngine() = default;
bool ProjectEngine::CanRun() const { return !impl_->server.OPCString().empty() && impl_->server.GroupCount() > 0; }
void ProjectEngine::Run() {
    impl_->reporter.WriteLog(kEngineUnit, "Run", "OPCServer.Connected=False");
    impl_->reporter.SetOpcLinkText(kOpcDisconnected);
}
void ProjectEngine::Stop() {
    impl_->reporter.SetOpcLinkText(kOpcDisconnected);
    impl_->reporter.SetDbLinkText(kDbDisconnected);
}
bool ProjectEngine::Running() const { return false; }
void ProjectEngine::SetShutdownHandler(std::function<void()>) {}

#endif

} // namespace tagsink::app
