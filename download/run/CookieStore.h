#pragma once
// One cookie jar for all transfers of a download run: what a watch page sets is sent with the
// media requests that follow it, whichever of the two transfer components makes them.
#include <memory>

class TCookieStore {
public:
    TCookieStore();
    ~TCookieStore();
    TCookieStore(const TCookieStore&) = delete;
    TCookieStore& operator=(const TCookieStore&) = delete;

    // Worker side, before the request is sent: the transfer's handle keeps its cookies here.
    void Attach(void* easyHandle) const;

private:
    struct TShare;
    std::unique_ptr<TShare> share_;
};
