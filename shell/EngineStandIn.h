#pragma once
// What the main window needs of the conversion engine component: loading its libraries,
// stopping its tasks and detaching its events. Until the task component is part of the
// build, TEngineComponent answers from the library loader alone.
#include <QString>

class TEngineComponent {
public:
    virtual ~TEngineComponent() = default;

    virtual bool LibrariesLoaded() const;
    // Loads the engine's library set from `folder`; false with LastError() on failure.
    virtual bool LoadLibraries(const QString& folder);
    virtual QString LastError() const;

    // No task runs yet: nothing to stop or detach.
    virtual void StopTasks(bool wait) {}
    virtual void DetachEvents() {}
};
