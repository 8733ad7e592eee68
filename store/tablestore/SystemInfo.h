#pragma once
// The system table "config" in User.db: the engine configuration and the client's settings as
// key and wide text ("SyncDir", "USpeed", "DSpeed", "synctime", "Stop", "NetState", "AutoRun",
// "SetSpeed").

#include <string>

#include "store/tablestore/DbBase.h"

class CSystemInfo : public CDbBase {
  public:
    CSystemInfo();
    int ConnectDB() override;

    // 0 with the value, or 1001 (value untouched) when the key was never set.
    int GetConfig(const std::string& key, std::wstring& value);
    // Sets or replaces the key's value.
    int SetConfig(const std::string& key, const std::wstring& value);
};
