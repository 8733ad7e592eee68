#include "store/UserInfoLD.h"

#include <new>

#include "store/StoreCommon.h"

CUserInfoLD* CUserInfoLD::Get() {
    static CUserInfoLD instance;
    return &instance;
}

CUserInfoLD::CUserInfoLD() : m_pTable(new (std::nothrow) CUserInfo) {
    if (m_pTable == nullptr) {
        AfLog(6, kBaseDataLog, "CUserInfoLD::CUserInfoLD", __LINE__, "%s",
              "Error: Create CUserInfo Failed.");
    }
}

bool CUserInfoLD::ReLoad() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pTable == nullptr) {
        AfLog(6, kBaseDataLog, "CUserInfoLD::ReLoad", __LINE__, "%s",
              "Error: The Pointer of CUserInfo is Null.");
        return false;
    }
    int nRet = ConnectTable(*m_pTable, 1, kBaseDataLog, "CUserInfoLD::ReLoad", __LINE__,
                            "Error: ConnectDB CUserInfo Failed. nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return false;
    }
    UserInfo info;
    nRet = m_pTable->GetUserInfo(info);
    m_pTable->Disconnect();
    if (!DbSucceeded(nRet)) {
        AfLog(1, kBaseDataLog, "CUserInfoLD::ReLoad", __LINE__,
              "Error: GetUserInfo CUserInfo Failed. nRet = (%d)", nRet);
        return false;
    }
    m_userInfo = info;
    return true;
}

UserInfo CUserInfoLD::GetUserInfo() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_userInfo;
}

void CUserInfoLD::SetUserName(std::string) {}

void CUserInfoLD::SetPassword(std::string) {}
