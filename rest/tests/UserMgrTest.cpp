// The account requests against the reference service: what is sent, what comes back, and the
// results the desktop client reacts to.

#include "rest/UserMgr.h"

#include <gtest/gtest.h>

#include "rest/RestResult.h"
#include "rest/tests/RestServiceFixture.h"

namespace rest_test {
namespace {

class UserMgrTest : public RestServiceTest {};

TEST_F(UserMgrTest, LoginSendsAccountAndPasswordAsTheyAreAndFillsTheRecord) {
    UserInfo fresh;
    CUserMgr session(4);
    ASSERT_EQ(session.UserLogin(kUser, kPasswordBase64, fresh.strUserId, fresh.strUserType,
                                fresh.strToken, fresh.strPushId, fresh.strPersonalSpace),
              0);
    EXPECT_FALSE(fresh.strUserId.empty());
    EXPECT_FALSE(fresh.strToken.empty());
    EXPECT_FALSE(fresh.strPersonalSpace.empty());

    TRecorded request = service.LastRequest("/ent/user/login");
    EXPECT_EQ(request.strMethod, "POST");
    EXPECT_EQ(request.strTarget, "/biz/ent/user/login");
    EXPECT_EQ(request.strBody, "usr_account=alice&usr_pwd=c2VjcmV0");
    EXPECT_EQ(request.Header("ent_uclient"), "4");
    EXPECT_FALSE(request.HasHeader("ent_uid"));
    EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
}

TEST_F(UserMgrTest, LoginRefusalsLeaveTheOutputsAlone) {
    struct Case {
        const char* why;
        const char* password;
        Json::Value account;
        int result;
    };
    Json::Value disabled = JsonObject({{"user", kUser}, {"disabled", true}});
    const Case cases[] = {
        {"a wrong password", "d3Jvbmc=", Json::Value(), 8003},
        {"a disabled account", kPasswordBase64, disabled, 8002},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        if (c.account.isObject()) {
            service.Control("/admin/account", c.account);
        }
        std::string uid = "u", type = "t", token = "k", push = "p", space = "s";
        CUserMgr session(4);
        EXPECT_EQ(session.UserLogin(kUser, c.password, uid, type, token, push, space), c.result);
        EXPECT_EQ(uid + type + token + push + space, "utkps");
    }
}

TEST_F(UserMgrTest, SpaceInfoGoesToTheConfiguredPortWithTheIdentity) {
    std::string used, total;
    CUserMgr session(4);
    ASSERT_EQ(session.GetSpaceInfo(user.strUserId, user.strToken, user.strUserType, used, total),
              0);
    EXPECT_FALSE(used.empty());
    EXPECT_FALSE(total.empty());

    TRecorded request = service.LastRequest("/ent/user/Info");
    EXPECT_EQ(request.strBody, "");
    EXPECT_EQ(request.Header("ent_uclient"), "4");
    EXPECT_EQ(request.Header("ent_uid"), user.strUserId);
    EXPECT_EQ(request.Header("ent_utoken"), user.strToken);
    EXPECT_EQ(request.Header("ent_utype"), user.strUserType);
}

TEST_F(UserMgrTest, WebTokenNeedsAValidSessionToken) {
    std::string webToken;
    CUserMgr session(4);
    ASSERT_EQ(session.GetWebToken(user.strUserId, user.strToken, user.strUserType, webToken), 0);
    EXPECT_FALSE(webToken.empty());

    std::string unchanged = "unchanged";
    CUserMgr stale(4);
    int result = stale.GetWebToken(user.strUserId, "not-the-token", user.strUserType, unchanged);
    EXPECT_GT(result, REST_SERVICE_BASE);
    EXPECT_LT(result, REST_VERIFY_BASE);
    EXPECT_EQ(unchanged, "unchanged");
}

TEST_F(UserMgrTest, VersionCheck) {
    service.Control("/admin/version", JsonObject({{"newest", 12},
                                                  {"forced", 1},
                                                  {"notes", "<p>新版本</p>"},
                                                  {"address", "http://example.invalid/setup"},
                                                  {"md5", "2.0.2"}}));

    std::string address, md5;
    int number = 0, flag = 0;
    std::wstring notes;
    CUserMgr session(4);
    ASSERT_EQ(session.GetVersion("8", address, number, flag, notes, md5), 0);
    EXPECT_EQ(number, 12);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(notes, L"<p>新版本</p>");
    EXPECT_EQ(address, "http://example.invalid/setup");
    EXPECT_EQ(md5, "2.0.2");

    TRecorded request = service.LastRequest("/ent/version/check");
    EXPECT_EQ(request.strBody, "&version=8&type=4");
    EXPECT_FALSE(request.HasHeader("ent_uclient"));
    EXPECT_FALSE(request.HasHeader("ent_uid"));

    service.Control("/admin/version", JsonObject({{"code", 2}, {"newest", 99}}));
    CUserMgr again(4);
    EXPECT_EQ(again.GetVersion("8", address, number, flag, notes, md5), REST_VERSION_CODE2);
    EXPECT_EQ(number, 12);
}

TEST_F(UserMgrTest, FailedRequestsReturnLibcurlsCodeAndLogNothing) {
    service.AddFault("/ent/version/check", "status", JsonObject({{"status", 404}}));
    std::string address, md5;
    int number = 0, flag = 0;
    std::wstring notes;
    CUserMgr refused(4);
    EXPECT_EQ(refused.GetVersion("8", address, number, flag, notes, md5), 22);

    ASSERT_EQ(CGlobalSetting().SetValue(L"main", L"server", L"127.0.0.1:1", L"config.ini"), 0);
    std::string uid, type, token, push, space;
    CUserMgr unreachable(4);
    EXPECT_EQ(unreachable.UserLogin(kUser, kPasswordBase64, uid, type, token, push, space), 7);
    EXPECT_EQ(LogText(home.path()), "");
}

}  // namespace
}  // namespace rest_test
