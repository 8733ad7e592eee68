#include "store/SystemInfoLD.h"

#include <cstdlib>
#include <new>

#include "common/Utility.h"
#include "store/StoreCommon.h"

CSystemInfoLD* CSystemInfoLD::Get() {
    static CSystemInfoLD instance;
    return &instance;
}

CSystemInfoLD::CSystemInfoLD() : m_pTable(new (std::nothrow) CSystemInfo) {
    if (m_pTable == nullptr) {
        AfLog(6, kBaseDataLog, "CSystemInfoLD::CSystemInfoLD", __LINE__, "%s",
              "Error: Create CSystemInfoLD Failed.");
    }
}

std::wstring CSystemInfoLD::ReadKey(const char* key) {
    std::wstring value;
    m_pTable->GetConfig(key, value);
    return value;
}

bool CSystemInfoLD::ReLoad() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pTable == nullptr) {
        return false;
    }
    int nRet = ConnectTable(*m_pTable, 6, kBaseDataLog, "CSystemInfoLD::ReLoad", __LINE__,
                            "Error: ConnectDB CSystemInfoLD Failed. nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return false;
    }
    m_systemInfo.wstrSyncDir = ReadKey("SyncDir");
    m_systemInfo.strUSpeed = WstringToString(ReadKey("USpeed"));
    m_systemInfo.strDSpeed = WstringToString(ReadKey("DSpeed"));
    m_systemInfo.strSyncTime = WstringToString(ReadKey("synctime"));
    // Decimal text; strtol stays defined for any text (atoi does not on overflow).
    m_systemInfo.bStop = std::strtol(WstringToString(ReadKey("Stop")).c_str(), nullptr, 10) != 0;
    m_pTable->Disconnect();
    return true;
}

SystemInfo CSystemInfoLD::GetSystemInfo() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_systemInfo;
}

void CSystemInfoLD::SetMaxSpeed(std::string speed, bool bDownload) {
    std::lock_guard<std::mutex> lock(m_mutex);
    (bDownload ? m_systemInfo.strDSpeed : m_systemInfo.strUSpeed) = std::move(speed);
}

void CSystemInfoLD::SetSyncFlag(bool bStop) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_systemInfo.bStop = bStop;
}

void CSystemInfoLD::SetSyncDir(std::wstring syncDir) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_systemInfo.wstrSyncDir = std::move(syncDir);
}
