#pragma once
// One run of the DVD reader process (vornic-dvdread): started with its own socket, every wait
// on it bounded and cancellable, and never left running when the object goes.
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <sys/types.h>
#include <vector>

inline const QString DVDUnreadableText = QStringLiteral("This DVD cannot be read");

// How long one answer of the reader may take before it counts as hung (milliseconds).
int DVDReaderTimeout();
void SetDVDReaderTimeout(int milliseconds);

class TDVDReaderProcess {
public:
    enum class TWait { Message, Ended, TimedOut, Cancelled };

    TDVDReaderProcess() = default;
    TDVDReaderProcess(const TDVDReaderProcess&) = delete;
    TDVDReaderProcess& operator=(const TDVDReaderProcess&) = delete;
    ~TDVDReaderProcess() { Stop(); }

    // Starts program with arguments; false with *error when it cannot be started.
    bool Start(const QString& program, const QStringList& arguments, QString* error);
    // The next message; anything but Message stops the reader (killed when it is still there).
    TWait Next(std::uint32_t& type, std::vector<std::uint8_t>& payload, const std::atomic<bool>* cancel = nullptr);
    // False when the reader is gone.
    bool Send(const void* data, std::size_t size);
    // Closes the reader's socket, gives it a moment to finish, then kills it; always reaps it.
    void Stop();
    bool Running() const { return pid_ > 0; }
    // How the reader ended, for logs: "exit code 1", "signal 11", "no answer within 20 s".
    QString EndText() const { return end_; }

private:
    // Waits until fd is readable or the deadline; the TWait on failure, Message when readable.
    TWait WaitReadable(std::int64_t deadlineMs, const std::atomic<bool>* cancel);
    bool ReadExactly(void* data, std::size_t size, std::int64_t deadlineMs, const std::atomic<bool>* cancel,
                     TWait& failure);
    void Kill();
    void Reap(bool wait);

    pid_t pid_ = -1;
    int fd_ = -1;
    QString end_;
};
