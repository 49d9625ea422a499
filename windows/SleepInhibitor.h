#pragma once
// Keeps the machine awake while a run works: a "sleep:idle" block of the login manager,
// held as the file descriptor it hands out and released by closing it. QtCore + QtDBus.
//
// Nothing here waits for the bus: Acquire asks and returns; a reply that arrives after
// Release is dropped, so its descriptor closes at once.
#include <QString>
#include <functional>
#include <memory>

class TSleepInhibitor {
public:
    TSleepInhibitor();
    ~TSleepInhibitor();
    TSleepInhibitor(const TSleepInhibitor&) = delete;
    TSleepInhibitor& operator=(const TSleepInhibitor&) = delete;

    // The named connection to use instead of the system bus (tests: a private bus).
    void SetBus(const QString& connectionName);

    // who: the program's title; why: the reason a session manager shows. A block already
    // held is released first.
    void Acquire(const QString& who, const QString& why);
    void Release();
    // True while the login manager's descriptor is in hand.
    bool Held() const;

    // One line when the block could not be had (no bus, no login manager, refused).
    std::function<void(const QString& line)> OnLog;

private:
    struct TState;
    std::shared_ptr<TState> state_;
};
