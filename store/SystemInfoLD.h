#pragma once
// The engine configuration as the desktop client stored it in the system table "config" (keys
// "SyncDir", "USpeed", "DSpeed", "synctime", "Stop"), loaded for the engine and the transfer
// worker. The setters change the loaded record only, never the table.
//
// Threads: the control thread reloads and sets while others read, so the record is handed out
// as a copy taken under a lock.

#include <memory>
#include <mutex>
#include <string>

#include "common/SyncRecords.h"
#include "store/tablestore/SystemInfo.h"

class CSystemInfoLD {
  public:
    static CSystemInfoLD* Get();

    // Reads the five keys; a missing key gives an empty text (and false for "Stop"). False
    // without a table object or when the connect fails.
    bool ReLoad();
    SystemInfo GetSystemInfo() const;
    // The download limit when bDownload, else the upload limit.
    void SetMaxSpeed(std::string speed, bool bDownload);
    void SetSyncFlag(bool bStop);
    void SetSyncDir(std::wstring syncDir);

  private:
    CSystemInfoLD();
    std::wstring ReadKey(const char* key);

    SystemInfo m_systemInfo;
    std::unique_ptr<CSystemInfo> m_pTable;
    mutable std::mutex m_mutex;
};
