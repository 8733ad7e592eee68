#include "rest/ConnectionShare.h"

#include <array>
#include <atomic>
#include <mutex>

namespace {

std::atomic<bool> g_bSharing{true};

class CShare {
  public:
    CShare() {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        m_pShare = curl_share_init();
        if (m_pShare == nullptr) {
            return;
        }
        curl_share_setopt(m_pShare, CURLSHOPT_LOCKFUNC, &CShare::Lock);
        curl_share_setopt(m_pShare, CURLSHOPT_UNLOCKFUNC, &CShare::Unlock);
        curl_share_setopt(m_pShare, CURLSHOPT_USERDATA, this);
        curl_share_setopt(m_pShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        curl_share_setopt(m_pShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(m_pShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
    CShare(const CShare&) = delete;
    CShare& operator=(const CShare&) = delete;

    CURLSH* Get() const { return m_pShare; }

  private:
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        static_cast<CShare*>(self)->m_locks[Index(data)].lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* self) {
        static_cast<CShare*>(self)->m_locks[Index(data)].unlock();
    }
    static size_t Index(curl_lock_data data) {
        return data < CURL_LOCK_DATA_LAST ? static_cast<size_t>(data) : 0;
    }

    CURLSH* m_pShare = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_locks;
};

// Never destroyed: sessions held in statics of other libraries may still be cleaned up during
// exit, after this library's statics, and each cleanup takes the share's locks.
CShare& Share() {
    static CShare* share = new CShare;
    return *share;
}

}  // namespace

void CConnectionShare::GlobalInit() {
    Share();
}

void CConnectionShare::Attach(CURL* handle) {
    CURLSH* share = Share().Get();
    if (g_bSharing.load() && share != nullptr) {
        curl_easy_setopt(handle, CURLOPT_SHARE, share);
    }
}

void CConnectionShare::SetEnabled(bool enabled) {
    g_bSharing.store(enabled);
}
