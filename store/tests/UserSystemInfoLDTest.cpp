// The account and the configuration as the engine loads them from the client's tables.

#include <sqlite3.h>

#include "store/SystemInfoLD.h"
#include "store/UserInfoLD.h"
#include "store/tablestore/SystemInfo.h"
#include "store/tablestore/UserInfo.h"
#include "store/tests/StoreTestSupport.h"

namespace {

class UserSystemInfoLDTest : public store_test::StoreTest {
  protected:
    void SetConfig(const char* key, const std::wstring& value) {
        CSystemInfo table;
        ASSERT_EQ(table.ConnectDB(), 0);
        ASSERT_EQ(table.SetConfig(key, value), 0);
        table.Disconnect();
    }
};

TEST_F(UserSystemInfoLDTest, TheAccountIsLoadedOnlyWhenStored) {
    EXPECT_FALSE(CUserInfoLD::Get()->ReLoad());
    EXPECT_NE(LogText().find("Error: GetUserInfo CUserInfo Failed. nRet = (1001)"),
              std::string::npos);

    CUserInfo table;
    ASSERT_EQ(table.ConnectDB(), 0);
    ASSERT_EQ(table.SetUserInfo({"7", "alice", "cHc=", "1", "tok", "push", "5", "web"}), 0);
    table.Disconnect();
    ASSERT_TRUE(CUserInfoLD::Get()->ReLoad());
    CUserInfoLD::Get()->SetUserName("mallory");
    CUserInfoLD::Get()->SetPassword("x");
    const UserInfo info = CUserInfoLD::Get()->GetUserInfo();
    EXPECT_EQ(info.strAccount, "alice");
    EXPECT_EQ(info.strPassword, "cHc=");
    EXPECT_EQ(info.strWebToken, "web");

    CDbBase::SetAccount("");
    EXPECT_FALSE(CUserInfoLD::Get()->ReLoad());
    EXPECT_EQ(CUserInfoLD::Get()->GetUserInfo().strAccount, "alice") << "kept on failure";
    EXPECT_NE(LogText().find("Error: ConnectDB CUserInfo Failed. nRet = (14)"), std::string::npos);
}

TEST_F(UserSystemInfoLDTest, TheConfigurationIsReadFromFiveKeys) {
    struct Case {
        std::wstring stop;
        bool expected;
    };
    SetConfig("SyncDir", L"/home/ünïcode/Corvena");
    SetConfig("USpeed", L"100");
    SetConfig("DSpeed", L"200");
    SetConfig("synctime", L"30");
    for (const Case& c : std::vector<Case>{{L"1", true},
                                           {L"0", false},
                                           {L"-3", true},
                                           {L"junk", false},
                                           {L"99999999999999999999", true}}) {
        SCOPED_TRACE(WstringToString(c.stop));
        SetConfig("Stop", c.stop);
        ASSERT_TRUE(CSystemInfoLD::Get()->ReLoad());
        EXPECT_EQ(CSystemInfoLD::Get()->GetSystemInfo().bStop, c.expected);
    }
    const SystemInfo info = CSystemInfoLD::Get()->GetSystemInfo();
    EXPECT_EQ(info.wstrSyncDir, L"/home/ünïcode/Corvena");
    EXPECT_EQ(info.strUSpeed, "100");
    EXPECT_EQ(info.strDSpeed, "200");
    EXPECT_EQ(info.strSyncTime, "30");
}

TEST_F(UserSystemInfoLDTest, MissingKeysGiveEmptyTextAndSettersStayInMemory) {
    ASSERT_TRUE(CSystemInfoLD::Get()->ReLoad());
    SystemInfo info = CSystemInfoLD::Get()->GetSystemInfo();
    EXPECT_TRUE(info.wstrSyncDir.empty());
    EXPECT_FALSE(info.bStop);

    CSystemInfoLD::Get()->SetMaxSpeed("100", false);
    CSystemInfoLD::Get()->SetMaxSpeed("200", true);
    CSystemInfoLD::Get()->SetSyncFlag(true);
    CSystemInfoLD::Get()->SetSyncDir(L"/elsewhere");
    info = CSystemInfoLD::Get()->GetSystemInfo();
    EXPECT_EQ(info.strUSpeed, "100");
    EXPECT_EQ(info.strDSpeed, "200");
    EXPECT_TRUE(info.bStop);
    EXPECT_EQ(info.wstrSyncDir, L"/elsewhere");

    CSystemInfo table;
    std::wstring stored;
    ASSERT_EQ(table.ConnectDB(), 0);
    EXPECT_EQ(table.GetConfig("USpeed", stored), 1001) << "nothing was written";
    table.Disconnect();

    CDbBase::SetAccount("");
    EXPECT_FALSE(CSystemInfoLD::Get()->ReLoad());
    EXPECT_NE(LogText().find("Error: ConnectDB CSystemInfoLD Failed. nRet = (14)"),
              std::string::npos);
}

}  // namespace
