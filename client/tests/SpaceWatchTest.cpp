#include "client/SpaceWatch.h"

#include <gtest/gtest.h>

#include "client/ClientStore.h"
#include "client/Communication.h"
#include "client/LoginLogic.h"
#include "common/GlobalSetting.h"
#include "rest/UserMgr.h"
#include "store/tablestore/DbBase.h"
#include "testing/RefServiceProcess.h"
#include "testing/TempHome.h"

namespace {

using testing_support::CRefServiceProcess;

class SpaceWatchTest : public ::testing::Test {
  protected:
    SpaceWatchTest() : service_(REFSERVICE_PATH, home_.path() / "service", "alice", "secret") {
        std::string address = service_.Address();
        CGlobalSetting().SetValue(L"main", L"server", std::wstring(address.begin(), address.end()),
                                  L"config.ini");
        CDbBase::SetAccount("alice");
        user_.strAccount = "alice";
        user_.strPassword = Base64Encode("secret");
        EXPECT_EQ(LoginWithService(user_), 0);
        tray_.SetOnline(true);
        tray_.Show(TrayIconInfo{L"Corvena", L"", 0, ICON_MAIN});
        for (unsigned id : {NOTICE_OFFLINE, NOTICE_ONLINE}) {
            CCommunication::Get().AddListener(
                id, [this, id](std::uint32_t, std::uint32_t) { notices_.push_back(id); }, this);
        }
    }
    ~SpaceWatchTest() override { CCommunication::Get().RemoveListener(this); }

    CSpaceWatch Watch() {
        SpaceWatchActions actions;
        actions.setSpaceText = [this](const std::wstring& text) { spaceText_ = text; };
        actions.postNetServer = [this](int reachable) { posted_.push_back(reachable); };
        actions.accountFaultBox = [this] { ++boxes_; };
        actions.accountDisabled = [this] { ++disabled_; };
        return CSpaceWatch(
            tray_,
            [this](std::string& used, std::string& total) {
                CUserMgr session(4);
                return session.GetSpaceInfo(user_.strUserId, user_.strToken, user_.strUserType,
                                            used, total);
            },
            actions);
    }
    static Json::Value Code(int code) {
        Json::Value v;
        v["code"] = code;
        v["count"] = 3;
        return v;
    }

    testing_support::TempHome home_;
    CRefServiceProcess service_;
    UserInfo user_;
    CTrayState tray_{[this](const TrayIconInfo& look) { applied_.push_back(look); }};
    std::vector<TrayIconInfo> applied_;
    std::vector<unsigned> notices_;
    std::vector<int> posted_;
    std::wstring spaceText_;
    int boxes_ = 0;
    int disabled_ = 0;
};

// A fault makes the client offline with its look and tells engine, detail window and store;
// the fault repeats on every poll; the next good answer restores the look in force before.
TEST_F(SpaceWatchTest, AServerFaultAndTheWayBack) {
    EXPECT_EQ(Watch().Poll(), 0) << "no remembered account: nothing is asked";
    EXPECT_TRUE(spaceText_.empty());
    CGlobalSetting setting;
    setting.m_wstrUser = L"alice";
    setting.Save(L"config.ini");
    CSpaceWatch watch = Watch();
    ASSERT_EQ(watch.Poll(), 0);
    EXPECT_NE(spaceText_.find(L"/"), std::wstring::npos);
    EXPECT_TRUE(posted_.empty()) << "online already: nothing to tell";

    for (int poll = 0; poll < 2; ++poll) {
        service_.AddFault("/ent/user/Info", "status", [] {
            Json::Value v;
            v["status"] = 500;
            v["count"] = 3;
            return v;
        }());
        EXPECT_EQ(watch.Poll(), 22);
    }
    EXPECT_EQ(applied_.back(),
              (TrayIconInfo{L"Corvena\r\n服务器异常...", L"", 0, ICON_CONNECTING}));
    EXPECT_FALSE(tray_.IsOnline());
    EXPECT_EQ(tray_.IconState(), ICONSTATE_FAULT);
    EXPECT_EQ(posted_, (std::vector<int>{0, 0}));
    EXPECT_EQ(notices_, (std::vector<unsigned>{NOTICE_OFFLINE, NOTICE_OFFLINE}));
    EXPECT_EQ(GetSystemConfig("NetState"), L"0");
    EXPECT_EQ(boxes_, 0);

    ASSERT_EQ(watch.Poll(), 0);
    EXPECT_EQ(applied_.back().tooltip, L"Corvena");
    EXPECT_TRUE(tray_.IsOnline());
    EXPECT_EQ(posted_.back(), 1);
    EXPECT_EQ(notices_.back(), NOTICE_ONLINE);
    EXPECT_EQ(GetSystemConfig("NetState"), L"1");
}

TEST_F(SpaceWatchTest, TheLooksOfTheOtherResults) {
    EXPECT_EQ(CSpaceWatch::FaultLook(1).tooltip, L"Corvena\r\n账号异常，正试图恢复中...");
    EXPECT_EQ(CSpaceWatch::FaultLook(6).tooltip, L"Corvena\r\n网络已断开...");
    EXPECT_EQ(CSpaceWatch::FaultLook(7).tooltip, L"Corvena\r\n服务器异常...");
    EXPECT_EQ(CSpaceWatch::FaultLook(6).icon, ICON_CONNECTING);

    CGlobalSetting setting;
    setting.m_wstrUser = L"alice";
    setting.Save(L"config.ini");
    service_.AddFault("/ent/user/Info", "code", Code(10));
    CSpaceWatch watch = Watch();
    EXPECT_EQ(watch.Poll(), 8010);
    EXPECT_EQ(disabled_, 1) << "a disabled account ends the client";
    EXPECT_EQ(applied_.back().tooltip, L"Corvena\r\n账号禁用...");
}

}  // namespace
