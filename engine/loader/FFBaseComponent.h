#pragma once
// Common base of the engine's components, and the engine's error type.
#include <QObject>
#include <QString>

#include <stdexcept>

// Raised inside the engine for a failure; callers that answer true/false catch it and keep
// its text as their last error.
class FFmpegException : public std::runtime_error {
public:
    explicit FFmpegException(const QString& message)
        : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromStdString(what()); }
};

// The one way the engine raises a failure.
[[noreturn]] inline void Fail(const QString& message)
{
    throw FFmpegException(message);
}

class TFFBaseComponent : public QObject {
public:
    explicit TFFBaseComponent(QObject* owner = nullptr) : QObject(owner) {}
};
