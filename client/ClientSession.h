#pragma once
// The client's process-wide state: the current user record, the current sync directory and
// the two speed-limit texts of the settings dialog. Any thread; m_mutex guards each field, and
// every access copies.

#include <mutex>
#include <string>

#include "common/SyncRecords.h"

class CClientSession {
  public:
    static CClientSession& Get();

    UserInfo User() const;
    void SetUser(const UserInfo& user);
    std::wstring SyncDir() const;
    void SetSyncDir(const std::wstring& dir);
    // Upload and download limits as typed (KB/s); empty until the settings dialog sets them.
    std::string UploadLimit() const;
    std::string DownloadLimit() const;
    void SetLimits(const std::string& upload, const std::string& download);

  private:
    mutable std::mutex m_mutex;
    UserInfo m_user;
    std::wstring m_syncDir;
    std::string m_upload;
    std::string m_download;
};
