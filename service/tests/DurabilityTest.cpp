// What a restart keeps: accounts, sessions, entries with their ids and stamps, content,
// uploads in progress, account flags; and a data folder that cannot be used.

#include <gtest/gtest.h>

#include <fstream>

#include "service/tests/ServiceFixture.h"

namespace service_test {
namespace {

class DurabilityTest : public ServiceFixture {};

TEST_F(DurabilityTest, ARestartKeepsEverything) {
    TSession alice = Login("alice", "secret");
    std::int64_t folder = std::stoll(
        Call("/ent/file/mkdir", "&spid=" + alice.strSpace + "&fpid=0&fname=" + Escape("keep"),
             alice.Headers())["msg"]
            .asString());
    std::int64_t file = Upload(alice, folder, "a.txt", "kept content");
    std::int64_t doomed = Upload(alice, 0, "doomed.txt", "gone");
    ASSERT_EQ(Call("/ent/file/rm", "&fids[]=" + std::to_string(doomed), alice.Headers())["code"],
              "0");
    const std::string pending = "0123456789";
    std::string storageName =
        Verify(alice, 0, "pending.txt", 10, Md5Of(pending))["s_name"].asString();
    auto first =
        Client().Put("/biz/ent/file/upload/put", {{"s_name", storageName}, {"Range", "bytes=0-10"}},
                     "0123", "application/octet-stream");
    ASSERT_TRUE(first);
    Json::Value disable;
    disable["user"] = "bob";
    disable["disabled"] = true;
    ASSERT_EQ(Admin("/admin/account", disable)["code"], "0");
    Json::Value before = Listing(alice);

    Restart();

    EXPECT_EQ(Listing(alice), before) << "the old session, the same ids and stamps";
    EXPECT_EQ(Download(alice.strUserId, file, 0).strBody, "kept content");
    Login("alice", "secret");
    EXPECT_EQ(Call("/ent/user/login", "usr_account=bob&usr_pwd=" + Base64Encode("hunter2"))["code"],
              "2");

    EXPECT_EQ(Call("/ent/file/upload/state", "s_name=" + storageName, alice.Headers())["skip"], 4);
    ASSERT_EQ(Put(storageName, 4, pending)["code"], "0");
    Json::Value commit = Commit(alice, 0, storageName, Md5Of(pending), "pending.txt");
    ASSERT_EQ(commit["code"], "0");
    EXPECT_GT(commit["fid"].asInt64(), doomed) << "ids are never reused";
    EXPECT_EQ(Download(alice.strUserId, commit["fid"].asInt64(), 0).strBody, pending);
}

TEST(DurabilityStartTest, ADataFolderThatCannotBeUsedIsAClearError) {
    testing_support::TempHome home;
    TServiceOptions options;
    options.iPort = 0;

    options.dataDir = home.path() / "a-file";
    std::ofstream(options.dataDir) << "not a folder";
    EXPECT_THROW(CRefService service(options), std::exception);

    options.dataDir = home.path() / "damaged";
    std::filesystem::create_directories(options.dataDir);
    std::ofstream(options.dataDir / "meta.db") << std::string(4096, 'x');
    try {
        CRefService service(options);
        ADD_FAILURE() << "a damaged metadata file was taken";
    } catch (const CStoreError& error) {
        EXPECT_NE(std::string(error.what()).find("metadata store"), std::string::npos);
    }
}

}  // namespace
}  // namespace service_test
