// The control interface: acting as another device, faults, request recording, and its
// absence without the admin option.

#include <gtest/gtest.h>

#include <chrono>

#include "service/tests/ServiceFixture.h"

namespace service_test {
namespace {

class AdminApiTest : public ServiceFixture {
  protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        m_alice = Login("alice", "secret");
    }
    Json::Value Device(const std::string& operation, Json::Value body) {
        body["user"] = "alice";
        return Admin("/admin/fs/" + operation, body);
    }
    Json::Value WriteFile(const std::string& path, const std::string& content) {
        auto result = Client().Put(("/admin/fs/file?user=alice&path=" + path).c_str(), content,
                                   "application/octet-stream");
        return result ? ParseJson(result->body) : Json::Value();
    }
    void Fault(const std::string& endpoint, const std::string& kind, Json::Value body = {}) {
        body["endpoint"] = endpoint;
        body["kind"] = kind;
        ASSERT_EQ(Admin("/admin/faults", body)["code"], "0");
    }
    // name -> (fid, fpid, storecode) of the listing the client sees.
    std::map<std::string, std::tuple<std::int64_t, std::int64_t, std::string>> Seen() {
        std::map<std::string, std::tuple<std::int64_t, std::int64_t, std::string>> seen;
        Json::Value listing = Listing(m_alice);
        for (const Json::Value& entry : listing["files"]) {
            seen[entry["fname"].asString()] = {entry["fid"].asInt64(), entry["fpid"].asInt64(),
                                               entry["storecode"].asString()};
        }
        return seen;
    }

    TSession m_alice;
};

TEST_F(AdminApiTest, AnotherDeviceCreatesModifiesRenamesMovesAndDeletes) {
    Json::Value folder = Device("mkdir", [] {
        Json::Value body;
        body["path"] = "A/B";
        return body;
    }());
    ASSERT_EQ(folder["code"], "0");
    Json::Value created = WriteFile("A/f.txt", "first");
    ASSERT_EQ(created["code"], "0");
    std::int64_t fid = created["fid"].asInt64();
    auto seen = Seen();
    ASSERT_EQ(seen.size(), 3u);
    std::int64_t a = std::get<0>(seen["A"]);
    EXPECT_EQ(std::get<1>(seen["B"]), a);
    EXPECT_EQ(std::get<1>(seen["f.txt"]), a);

    Json::Value modified = WriteFile("A/f.txt", "second");
    EXPECT_EQ(modified["fid"], Json::Int64(fid)) << "modified in place";
    EXPECT_EQ(std::get<2>(Seen()["f.txt"]), Md5Of("second"));
    EXPECT_EQ(Download(m_alice.strUserId, fid, 0).strBody, "second");

    Json::Value rename;
    rename["fid"] = Json::Int64(fid);
    rename["name"] = "g.txt";
    EXPECT_EQ(Device("rename", rename)["code"], "0");
    Json::Value move;
    move["path"] = "A/g.txt";
    move["to"] = "A/B";
    EXPECT_EQ(Device("move", move)["code"], "0");
    seen = Seen();
    EXPECT_EQ(std::get<0>(seen["g.txt"]), fid);
    EXPECT_EQ(std::get<1>(seen["g.txt"]), std::get<0>(seen["B"]));
    EXPECT_EQ(seen.count("f.txt"), 0u);

    Json::Value intoItself;
    intoItself["path"] = "A";
    intoItself["to"] = "A/B";
    EXPECT_EQ(Device("move", intoItself)["code"], "13");

    auto content = Client().Get("/admin/fs/file?user=alice&path=A/B/g.txt");
    ASSERT_TRUE(content);
    EXPECT_EQ(content->body, "second");
    Json::Value tree = AdminGet("/admin/fs/tree?user=alice");
    ASSERT_EQ(tree["entries"].size(), 3u);
    EXPECT_EQ(AdminGet("/admin/fs/count?user=alice")["files"], 1) << "the two folders are no files";

    Json::Value remove;
    remove["path"] = "A";
    Json::Value removed = Device("delete", remove);
    EXPECT_EQ(removed["code"], "0");
    // The versions it took, as the caller cannot know them from a listing made before.
    ASSERT_EQ(removed["removed"].size(), 1u) << "the two folders are no versions";
    EXPECT_EQ(removed["removed"][0], Md5Of("second"));
    EXPECT_TRUE(Seen().empty());
    EXPECT_EQ(Device("delete", remove)["code"], "1") << "no such item";
}

TEST_F(AdminApiTest, FaultsHitTheNextRequestsOfTheirEndpoint) {
    Json::Value status;
    status["status"] = 503;
    status["count"] = 2;
    status["skip"] = 1;
    Fault("/ent/synch/modify", "status", status);
    EXPECT_EQ(Listing(m_alice)["code"], "0") << "skipped";
    for (int i = 0; i < 2; ++i) {
        auto result = Client().Post("/biz/ent/synch/modify", m_alice.Headers(), "",
                                    "application/x-www-form-urlencoded");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 503);
    }
    EXPECT_EQ(Listing(m_alice)["code"], "0") << "spent";

    Json::Value code;
    code["code"] = 12;
    Fault("/biz/ent/file/info", "code", code);
    EXPECT_EQ(Call("/ent/file/info", "&fid=1", m_alice.Headers())["code"], "12");

    std::int64_t fid = Upload(m_alice, 0, "a.txt", "abcdef");
    Fault("/ent/file/download", "code", code);
    EXPECT_EQ(Download(m_alice.strUserId, fid, 0).strCodeHeader, "12");

    Fault("*", "drop");
    EXPECT_FALSE(Client().Post("/biz/ent/user/Info", m_alice.Headers(), "",
                               "application/x-www-form-urlencoded"));
    EXPECT_EQ(Call("/ent/user/Info", "", m_alice.Headers())["code"], "0");

    Json::Value delay;
    delay["delay_ms"] = 300;
    Fault("/ent/user/Info", "delay", delay);
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(Call("/ent/user/Info", "", m_alice.Headers())["code"], "0");
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));

    EXPECT_EQ(AdminGet("/admin/faults")["faults"].size(), 0u);
    Fault("/ent/user/Info", "drop");
    ASSERT_EQ(Admin("/admin/faults/clear", Json::objectValue)["code"], "0");
    EXPECT_EQ(Call("/ent/user/Info", "", m_alice.Headers())["code"], "0");
}

TEST_F(AdminApiTest, ACutTransferKeepsWhatPassedAndResumesFromThere) {
    std::string content(300000, 'c');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>('a' + i % 26);
    }
    Json::Value verify = Verify(m_alice, 0, "cut.bin", 300000, Md5Of(content));
    std::string storageName = verify["s_name"].asString();
    Json::Value cut;
    cut["bytes"] = 100000;
    Fault("/ent/file/upload/put", "cut", cut);
    auto failed = Client().Put("/biz/ent/file/upload/put",
                               {{"s_name", storageName}, {"Range", "bytes=0-300000"}}, content,
                               "application/octet-stream");
    EXPECT_FALSE(failed && failed->status == 200 && !failed->body.empty()) << "no answer";
    Json::Value state = Call("/ent/file/upload/state", "s_name=" + storageName, m_alice.Headers());
    ASSERT_EQ(state["skip"], 100000);
    ASSERT_EQ(Put(storageName, 100000, content)["code"], "0");
    Json::Value commit = Commit(m_alice, 0, storageName, Md5Of(content), "cut.bin");
    ASSERT_EQ(commit["code"], "0");
    std::int64_t fid = commit["fid"].asInt64();

    cut["bytes"] = 70000;
    Fault("/ent/file/download", "cut", cut);
    std::string received;
    auto partial =
        Client().Get(("/biz/ent/file/download?fids[]=" + std::to_string(fid) + "&fskip=0").c_str(),
                     {{"ent_uid", m_alice.strUserId}}, [&](const char* data, std::size_t size) {
                         received.append(data, size);
                         return true;
                     });
    EXPECT_FALSE(partial) << "the transfer broke off";
    ASSERT_EQ(received.size(), 70000u);
    received += Download(m_alice.strUserId, fid, 70000).strBody;
    EXPECT_TRUE(received == content);

    cut["bytes"] = 5;
    Fault("/ent/file/info", "cut", cut);
    EXPECT_FALSE(Client().Post("/biz/ent/file/info", m_alice.Headers(), "&fid=1",
                               "application/x-www-form-urlencoded"));
}

TEST_F(AdminApiTest, RequestsAreRecordedWithTheirExactHeadersAndBody) {
    ASSERT_EQ(Admin("/admin/requests/clear", Json::objectValue)["code"], "0");
    Call("/ent/user/login", "usr_account=alice&usr_pwd=c2VjcmV0", {{"ent_uclient", "4"}});
    std::string storageName =
        Verify(m_alice, 0, "r.bin", 4, Md5Of(std::string("\0\1\2\3", 4)))["s_name"].asString();
    Put(storageName, 0, std::string("\0\1\2\3", 4));

    Json::Value requests = AdminGet("/admin/requests")["requests"];
    ASSERT_EQ(requests.size(), 3u);
    const Json::Value& login = requests[0];
    EXPECT_EQ(login["method"], "POST");
    EXPECT_EQ(login["target"], "/biz/ent/user/login");
    std::string body;
    ASSERT_TRUE(Base64Decode(login["body_base64"].asString(), body));
    EXPECT_EQ(body, "usr_account=alice&usr_pwd=c2VjcmV0");
    bool sawClient = false;
    for (const Json::Value& header : login["headers"]) {
        sawClient = sawClient || (header[0] == "ent_uclient" && header[1] == "4");
        EXPECT_NE(header[0], "REMOTE_ADDR");
    }
    EXPECT_TRUE(sawClient);

    const Json::Value& put = requests[2];
    EXPECT_EQ(put["method"], "PUT");
    ASSERT_TRUE(Base64Decode(put["body_base64"].asString(), body));
    EXPECT_EQ(body, std::string("\0\1\2\3", 4));
    EXPECT_EQ(put["body_size"], 4);
    ASSERT_EQ(Admin("/admin/requests/clear", Json::objectValue)["code"], "0");
    EXPECT_EQ(AdminGet("/admin/requests")["requests"].size(), 0u);
}

TEST_F(AdminApiTest, AccountsAreListedWithTheIdsTheClientSees) {
    Json::Value accounts = AdminGet("/admin/accounts")["accounts"];
    ASSERT_EQ(accounts.size(), 2u);
    EXPECT_EQ(accounts[0]["user"], "alice");
    EXPECT_EQ(accounts[0]["uid"], m_alice.strUserId);
    EXPECT_EQ(accounts[0]["space"], m_alice.strSpace);
    EXPECT_EQ(accounts[0]["quota"], -1);
    EXPECT_EQ(accounts[1]["user"], "bob");
}

TEST_F(AdminApiTest, ControlRequestsThatCannotBeServedAreRefused) {
    auto notJson = Client().Post("/admin/faults", "{", "application/json");
    ASSERT_TRUE(notJson);
    EXPECT_EQ(notJson->status, 400);
    Json::Value unknownKind;
    unknownKind["endpoint"] = "*";
    unknownKind["kind"] = "explode";
    EXPECT_EQ(Admin("/admin/faults", unknownKind)["code"], "1");
    auto noUser = Client().Get("/admin/fs/tree?user=zed");
    ASSERT_TRUE(noUser);
    EXPECT_EQ(noUser->status, 404);
    EXPECT_EQ(WriteFile("missing/f.txt", "x")["code"], "1");
    EXPECT_EQ(WriteFile("..", "x")["code"], "1");
}

TEST(AdminAbsentTest, WithoutTheAdminOptionThereIsNoControlInterface) {
    testing_support::TempHome home;
    TServiceOptions options;
    options.dataDir = home.path() / "service";
    options.iPort = 0;
    CRefService service(options);
    httplib::Client client("127.0.0.1", service.Start());
    auto result =
        client.Post("/admin/faults", R"({"endpoint":"*","kind":"drop"})", "application/json");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 404);
    auto version = client.Post("/biz/ent/version/check", "&version=8&type=4",
                               "application/x-www-form-urlencoded");
    ASSERT_TRUE(version);
    EXPECT_EQ(ParseJson(version->body)["code"], "0");
}

}  // namespace
}  // namespace service_test
