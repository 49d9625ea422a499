#include "EngineComponent.h"

#include "FFmpegEngine.h"

TEngineComponent::TEngineComponent() : engine_(std::make_unique<TFFmpegEngine>()) {}

TEngineComponent::~TEngineComponent() = default;

bool TEngineComponent::LibrariesLoaded() const
{
    return engine_->LibrariesLoaded();
}

bool TEngineComponent::LoadLibraries(const QString& folder)
{
    return engine_->LoadLibraries(folder);
}

QString TEngineComponent::LastError() const
{
    return engine_->LastError();
}

void TEngineComponent::StopTasks(bool wait)
{
    engine_->StopTasks(wait);
}

void TEngineComponent::DetachEvents()
{
    engine_->DetachEvents();
}
