#include "project_engine.hpp"

#include "engine/runtime/engine.hpp"
#include "model/server.hpp"

namespace tagsink::app {

struct ProjectEngine::Impl {
    Impl(TServer& server, QtEventLoop& loop, EngineReporter& reporter) : engine(server, loop, reporter) {}
    Engine engine;
};

ProjectEngine::ProjectEngine(TServer& server, QtEventLoop& loop, EngineReporter& reporter)
    : impl_(std::make_unique<Impl>(server, loop, reporter)) {}
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
