#include "EngineStandIn.h"

#include "FFmpegLoader.h"

bool TEngineComponent::LibrariesLoaded() const
{
    return FFLoader().AllLoaded(EngineLibrarySet);
}

bool TEngineComponent::LoadLibraries(const QString& folder)
{
    FFLoader().SetLibraryFolder(folder);
    return FFLoader().LoadLibraries(EngineLibrarySet);
}

QString TEngineComponent::LastError() const
{
    return FFLoader().LastError();
}
