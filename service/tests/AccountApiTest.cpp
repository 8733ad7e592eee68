// The account requests over HTTP: login, the identity check, space info, web token and page,
// version check.

#include <gtest/gtest.h>

#include "service/tests/ServiceFixture.h"

namespace service_test {
namespace {

class AccountApiTest : public ServiceFixture {};

TEST_F(AccountApiTest, LoginAnswersTheFiveMembersAsTextAndEveryLoginGetsItsOwnToken) {
    Json::Value answer =
        Call("/ent/user/login", "usr_account=alice&usr_pwd=" + Base64Encode("secret"));
    EXPECT_EQ(answer["code"], "0");
    for (const char* member : {"ent_uid", "ent_utype", "ent_utoken", "entjpush", "per_space"}) {
        SCOPED_TRACE(member);
        ASSERT_TRUE(answer[member].isString());
        EXPECT_FALSE(answer[member].asString().empty());
    }
    EXPECT_NE(answer["ent_uid"], answer["per_space"]);

    // A second device logs in: both sessions stay usable.
    TSession first = Login("alice", "secret");
    TSession second = Login("alice", "secret");
    EXPECT_NE(first.strToken, second.strToken);
    EXPECT_EQ(Listing(first)["code"], "0");
    EXPECT_EQ(Listing(second)["code"], "0");
}

TEST_F(AccountApiTest, LoginRefusalsAnswerTheCodesOfTheClientsTexts) {
    ASSERT_EQ(Admin("/admin/account",
                    [] {
                        Json::Value body;
                        body["user"] = "carol";
                        body["password"] = "ab>?";  // Base64 "YWI+Pw==": a "+" that must stay one
                        return body;
                    }())["code"],
              "0");
    Login("carol", "ab>?");

    Json::Value disable;
    disable["user"] = "bob";
    disable["disabled"] = true;
    ASSERT_EQ(Admin("/admin/account", disable)["code"], "0");
    Json::Value expire;
    expire["user"] = "carol";
    expire["expired"] = true;
    ASSERT_EQ(Admin("/admin/account", expire)["code"], "0");

    struct {
        const char* why;
        std::string body;
        const char* code;
    } cases[] = {
        {"wrong password", "usr_account=alice&usr_pwd=" + Base64Encode("Secret"), "3"},
        {"unknown account", "usr_account=zed&usr_pwd=" + Base64Encode("secret"), "3"},
        {"password not in Base64", "usr_account=alice&usr_pwd=secret", "3"},
        {"Base64 with a plus read as a blank", "usr_account=carol&usr_pwd=YWI%20Pw==", "3"},
        {"no password", "usr_account=alice", "1"},
        {"an escape that does not decode", "usr_account=al%GGice&usr_pwd=c2VjcmV0", "1"},
        {"disabled account", "usr_account=bob&usr_pwd=" + Base64Encode("hunter2"), "2"},
        {"disabled account, wrong password", "usr_account=bob&usr_pwd=" + Base64Encode("x"), "3"},
        {"expired account", "usr_account=carol&usr_pwd=" + Base64Encode("ab>?"), "5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Json::Value answer = Call("/ent/user/login", c.body);
        EXPECT_EQ(answer["code"], c.code);
        EXPECT_FALSE(answer.isMember("ent_utoken"));
    }
}

TEST_F(AccountApiTest, EveryRequestWithIdentityHeadersChecksThem) {
    TSession alice = Login("alice", "secret");
    TSession bob = Login("bob", "hunter2");
    struct {
        const char* why;
        httplib::Headers headers;
    } identities[] = {
        {"no headers", {}},
        {"wrong token", {{"ent_uid", alice.strUserId}, {"ent_utoken", "0123"}, {"ent_utype", "1"}}},
        {"another account's token",
         {{"ent_uid", alice.strUserId}, {"ent_utoken", bob.strToken}, {"ent_utype", "1"}}},
        {"wrong user type",
         {{"ent_uid", alice.strUserId}, {"ent_utoken", alice.strToken}, {"ent_utype", "2"}}},
        {"user id not a number",
         {{"ent_uid", "x" + alice.strUserId}, {"ent_utoken", alice.strToken}, {"ent_utype", "1"}}},
    };
    const std::string mkdir = "&spid=" + alice.strSpace + "&fpid=0&fname=" + Escape("new");
    const std::pair<const char*, std::string> requests[] = {
        {"/ent/user/Info", ""},
        {"/ent/user/getwebtoken", ""},
        {"/ent/synch/modify", ""},
        {"/ent/file/list",
         "spid=" + alice.strSpace + "&cursor=0&offset=0&order=name&desc=asc&fpid=0"},
        {"/ent/file/info", "&fid=1"},
        {"/ent/file/mkdir", mkdir},
        {"/ent/file/rm", "&fids[]=1"},
        {"/ent/file/rename", "&fid=1&spid=" + alice.strSpace + "&fname=" + Escape("x")},
        {"/ent/file/upload/new/verify", "&f_pid=0&f_size=1&space_id=" + alice.strSpace +
                                            "&f_md5=" + Md5Of("x") + "&f_name=" + Escape("x")},
        {"/ent/file/upload/state", "s_name=abc"},
        {"/ent/file/upload/commit", "&fpid=0&sname=abc&spaceid=" + alice.strSpace},
    };
    for (const auto& identity : identities) {
        for (const auto& [endpoint, body] : requests) {
            SCOPED_TRACE(std::string(identity.why) + " " + endpoint);
            EXPECT_EQ(Call(endpoint, body, identity.headers)["code"], "4");
        }
    }
    EXPECT_EQ(Listing(alice)["total"], 0) << "a refused mkdir created nothing";
    // The space id in a body must be the account's own.
    std::string bobsSpace = "&spid=" + bob.strSpace + "&fpid=0&fname=" + Escape("new");
    EXPECT_EQ(Call("/ent/file/mkdir", bobsSpace, alice.Headers())["code"], "4");
}

TEST_F(AccountApiTest, SpaceInfoAnswersUsedAndTotalTextsAndTheDisabledCode) {
    TSession alice = Login("alice", "secret");
    Json::Value info = Call("/ent/user/Info", "", alice.Headers());
    EXPECT_EQ(info["code"], "0");
    EXPECT_EQ(info["usrusedsizestr"], "0 B");
    EXPECT_EQ(info["usrtotalsizestr"], "unlimited");

    Upload(alice, 0, "a.bin", std::string(3 * 1024 * 1024 / 2, 'x'));
    Json::Value quota;
    quota["user"] = "alice";
    quota["quota"] = Json::Int64(10) << 30;
    ASSERT_EQ(Admin("/admin/account", quota)["code"], "0");
    info = Call("/ent/user/Info", "", alice.Headers());
    EXPECT_EQ(info["usrusedsizestr"], "1.50 MB");
    EXPECT_EQ(info["usrtotalsizestr"], "10.00 GB");
    EXPECT_EQ(info["usrusedsize"], 3 * 1024 * 1024 / 2);

    Json::Value disable;
    disable["user"] = "alice";
    disable["disabled"] = true;
    ASSERT_EQ(Admin("/admin/account", disable)["code"], "0");
    EXPECT_EQ(Call("/ent/user/Info", "", alice.Headers())["code"], "10");
    EXPECT_EQ(Listing(alice)["code"], "10");
}

TEST_F(AccountApiTest, WebTokenIsTheAddressOfAPageListingTheAccountsFiles) {
    TSession alice = Login("alice", "secret");
    std::int64_t folder = std::stoll(
        Call("/ent/file/mkdir", "&spid=" + alice.strSpace + "&fpid=0&fname=" + Escape("Docs"),
             alice.Headers())["msg"]
            .asString());
    Upload(alice, folder, "<b>&.txt", "x");
    TSession bob = Login("bob", "hunter2");
    Upload(bob, 0, "bobs.txt", "y");

    Json::Value answer = Call("/ent/user/getwebtoken", "", alice.Headers());
    ASSERT_EQ(answer["code"], "0");
    std::string address = answer["ent_utype"].asString();
    std::string prefix = "http://127.0.0.1:" + std::to_string(m_iPort) + "/web/files?token=";
    ASSERT_EQ(address.substr(0, prefix.size()), prefix);

    auto page = Client().Get(address.substr(address.find("/web/")).c_str());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("Docs/&lt;b&gt;&amp;.txt"), std::string::npos) << page->body;
    EXPECT_EQ(page->body.find("<b>&"), std::string::npos);
    EXPECT_EQ(page->body.find("bobs.txt"), std::string::npos);

    auto refused = Client().Get("/web/files?token=0000");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403);
}

TEST_F(AccountApiTest, VersionCheckAnswersWhatTheControlInterfaceSet) {
    Json::Value current = Call("/ent/version/check", "&version=8&type=4");
    EXPECT_EQ(current["code"], "0");
    EXPECT_EQ(current["vnum"], "8") << "a client counts as current until told otherwise";
    EXPECT_EQ(current["isupdate"], "0");
    EXPECT_EQ(Call("/ent/version/check", "&type=4")["code"], "1");

    Json::Value newer;
    newer["newest"] = 9;
    newer["forced"] = 8;
    newer["notes"] = "<p>修复</p>\n\n\tword";
    newer["address"] = "http://example.invalid/corvena-9.tar.gz";
    newer["md5"] = "2.0.2";
    ASSERT_EQ(Admin("/admin/version", newer)["code"], "0");
    Restart();
    Json::Value offered = Call("/ent/version/check", "&version=8&type=4");
    EXPECT_EQ(offered["vnum"], "9");
    EXPECT_EQ(offered["isupdate"], "8");
    EXPECT_EQ(offered["vcontext"], "<p>修复</p>\n\n\tword");
    EXPECT_EQ(offered["vaddress"], "http://example.invalid/corvena-9.tar.gz");
    EXPECT_EQ(offered["vmd5"], "2.0.2");

    Json::Value none;
    none["code"] = 2;
    ASSERT_EQ(Admin("/admin/version", none)["code"], "0");
    EXPECT_EQ(Call("/ent/version/check", "&version=8&type=4")["code"], "2");
}

}  // namespace
}  // namespace service_test
