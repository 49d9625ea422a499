#pragma once
// What the main window needs of the conversion engine: it owns the engine's task component
// and reaches it through this seam, so tests can count the calls of the close path.
#include <QString>

#include <memory>

class TFFmpegEngine;

class TEngineComponent {
public:
    TEngineComponent();
    virtual ~TEngineComponent();

    virtual bool LibrariesLoaded() const;
    // Loads the engine's library set from `folder`; false with LastError() on failure.
    virtual bool LoadLibraries(const QString& folder);
    virtual QString LastError() const;

    virtual void StopTasks(bool wait);
    virtual void DetachEvents();

    // The task component the conversion run adds its tasks to.
    TFFmpegEngine& FFmpegEngine() { return *engine_; }

private:
    std::unique_ptr<TFFmpegEngine> engine_;
};
