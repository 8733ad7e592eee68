#pragma once
// The logged-in account as the desktop client stored it in "USERINFO", loaded for the engine
// and the transfer worker.
//
// Threads: the engine's control thread reloads while others read, so the record is handed out
// as a copy taken under a lock (a reference would be read while a reload rewrites it).

#include <memory>
#include <mutex>
#include <string>

#include "common/SyncRecords.h"
#include "store/tablestore/UserInfo.h"

class CUserInfoLD {
  public:
    static CUserInfoLD* Get();

    // Reads the stored account; false (record unchanged) when there is none or the store fails.
    bool ReLoad();
    UserInfo GetUserInfo() const;
    // The account is the desktop client's to change: these do nothing.
    void SetUserName(std::string name);
    void SetPassword(std::string password);

  private:
    CUserInfoLD();

    UserInfo m_userInfo;
    std::unique_ptr<CUserInfo> m_pTable;
    mutable std::mutex m_mutex;
};
