#include "client/ClientSession.h"

CClientSession& CClientSession::Get() {
    static CClientSession* session = new CClientSession();
    return *session;
}

UserInfo CClientSession::User() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_user;
}

void CClientSession::SetUser(const UserInfo& user) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_user = user;
}

std::wstring CClientSession::SyncDir() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_syncDir;
}

void CClientSession::SetSyncDir(const std::wstring& dir) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_syncDir = dir;
}

std::string CClientSession::UploadLimit() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_upload;
}

std::string CClientSession::DownloadLimit() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_download;
}

void CClientSession::SetLimits(const std::string& upload, const std::string& download) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_upload = upload;
    m_download = download;
}
