#include "WinHTTPConnections.h"

TWinHTTPConnections::~TWinHTTPConnections()
{
    // A user holds a reference: nobody has the cache out when the last one goes.
    if (idle_)
        curl_multi_cleanup(idle_);
}

void TWinHTTPConnections::Close()
{
    CURLM* idle = nullptr;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        idle = idle_;
        idle_ = nullptr;
    }
    if (idle)
        curl_multi_cleanup(idle);
}

CURLM* TWinHTTPConnections::Take(TWinHTTPTransfer* t)
{
    std::lock_guard lock(mutex_);
    if (inUse_ || closed_)
        return nullptr;
    if (!idle_)
        idle_ = curl_multi_init();
    if (!idle_)
        return nullptr;
    inUse_ = true;
    user_ = t;
    CURLM* multi = idle_;
    idle_ = nullptr;
    return multi;
}

void TWinHTTPConnections::Give(CURLM* multi, bool keep)
{
    {
        std::lock_guard lock(mutex_);
        if (keep && !closed_) {
            idle_ = multi;
            user_ = nullptr;
            inUse_ = false;
            return;
        }
    }
    // Closed while its transfer still reports on them: the closes are that transfer's events.
    curl_multi_cleanup(multi);
    std::lock_guard lock(mutex_);
    user_ = nullptr;
    inUse_ = false;
}

TWinHTTPTransfer* TWinHTTPConnections::User() const
{
    std::lock_guard lock(mutex_);
    return user_;
}
