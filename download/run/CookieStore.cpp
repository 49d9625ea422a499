#include "CookieStore.h"

#include <curl/curl.h>

#include <mutex>

// The transfers run on worker threads, and an abandoned one may still be ending while the next
// starts: the client library takes these locks around every use of the shared cookies.
struct TCookieStore::TShare {
    CURLSH* handle = nullptr;
    std::mutex locks[CURL_LOCK_DATA_LAST];

    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* user)
    {
        static_cast<TShare*>(user)->locks[data].lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* user)
    {
        static_cast<TShare*>(user)->locks[data].unlock();
    }
};

TCookieStore::TCookieStore() : share_(std::make_unique<TShare>())
{
    share_->handle = curl_share_init();
    if (!share_->handle)
        return;
    curl_share_setopt(share_->handle, CURLSHOPT_LOCKFUNC, &TShare::Lock);
    curl_share_setopt(share_->handle, CURLSHOPT_UNLOCKFUNC, &TShare::Unlock);
    curl_share_setopt(share_->handle, CURLSHOPT_USERDATA, share_.get());
    curl_share_setopt(share_->handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
}

TCookieStore::~TCookieStore()
{
    // Every handle that used it is gone: the holders of a transfer keep the store alive.
    if (share_->handle)
        curl_share_cleanup(share_->handle);
}

void TCookieStore::Attach(void* easyHandle) const
{
    if (share_->handle && easyHandle)
        curl_easy_setopt(static_cast<CURL*>(easyHandle), CURLOPT_SHARE, share_->handle);
}
