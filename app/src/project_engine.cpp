#include "project_engine.hpp"

#include "engine/runtime/engine.hpp"
#include "model/server.hpp"

namespace tagsink::app {

struct ProjectEngine::Impl {
    Impl(TServer& server, QtEventLoop& loop, EngineReporter& reporter, EngineOptions options)
        : engine(server, loop, reporter, SystemClock::Instance(), std::move(options)) {}
    Engine engine;
};

ProjectEngine::ProjectEngine(TServer& server, QtEventLoop& loop, EngineReporter& reporter,
                             EngineOptions options)
    : impl_(std::make_unique<Impl>(server, loop, reporter, std::move(options))) {}
ProjectEngine::~ProjectEngine() = default;
bool ProjectEngine::CanRun() const {
    return impl_->engine.CanRun();
}
void ProjectEngine::Run() {
    impl_->engine.Run();
}
void ProjectEngine::Stop() {
    impl_->engine.Stop();
}
void ProjectEngine::RequestStop(std::function<void()> done) {
    impl_->engine.RequestStop(std::move(done));
}
bool ProjectEngine::Stopping() const {
    return impl_->engine.Stopping();
}
bool ProjectEngine::Reconnecting() const {
    return impl_->engine.Reconnecting();
}
std::uint64_t ProjectEngine::Reconnections() const {
    return impl_->engine.Reconnections();
}
bool ProjectEngine::Running() const {
    return impl_->engine.Running();
}
const RecorderStats& ProjectEngine::Stats() const {
    return impl_->engine.Stats();
}
void ProjectEngine::SetShutdownHandler(std::function<void()> handler) {
    impl_->engine.SetShutdownHandler(std::move(handler));
}

} // namespace tagsink::app
