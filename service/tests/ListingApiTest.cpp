// The listings over HTTP: the whole space and one folder.

#include <gtest/gtest.h>

#include <set>

#include "service/tests/ServiceFixture.h"

namespace service_test {
namespace {

class ListingApiTest : public ServiceFixture {
  protected:
    std::int64_t MakeFolder(const TSession& session, std::int64_t pid, const std::string& name) {
        Json::Value answer = Call(
            "/ent/file/mkdir",
            "&spid=" + session.strSpace + "&fpid=" + std::to_string(pid) + "&fname=" + Escape(name),
            session.Headers());
        EXPECT_EQ(answer["code"], "0") << name;
        return std::stoll(answer["msg"].asString());
    }
    Json::Value Find(const Json::Value& listing, std::int64_t fid) {
        for (const Json::Value& entry : listing["files"]) {
            if (entry["fid"].asInt64() == fid) {
                return entry;
            }
        }
        ADD_FAILURE() << "no entry " << fid;
        return Json::Value();
    }
};

TEST_F(ListingApiTest, TheWholeSpaceComesInOneAnswerWithTheMemberTypesTheClientReads) {
    TSession alice = Login("alice", "secret");
    std::int64_t docs = MakeFolder(alice, 0, "文档");
    std::int64_t inner = MakeFolder(alice, docs, "inner");
    std::int64_t file = Upload(alice, inner, "a.txt", "abc");
    Upload(Login("bob", "hunter2"), 0, "bobs.txt", "x");

    Json::Value listing = Listing(alice);
    ASSERT_EQ(listing["code"], "0");
    ASSERT_TRUE(listing["total"].isIntegral());
    ASSERT_EQ(listing["total"], 3);
    ASSERT_EQ(listing["files"].size(), 3u);
    for (const Json::Value& entry : listing["files"]) {
        SCOPED_TRACE(entry.toStyledString());
        EXPECT_TRUE(entry["fid"].isIntegral());
        EXPECT_TRUE(entry["fpid"].isIntegral());
        EXPECT_TRUE(entry["fname"].isString());
        EXPECT_TRUE(entry["fisdir"].isString());
        EXPECT_TRUE(entry["fsize"].isNumeric());
        EXPECT_FALSE(entry["fmodify"].asString().empty());
        EXPECT_TRUE(entry["storecode"].isString());
        EXPECT_NE(entry["fid"], entry["fpid"]);
    }
    EXPECT_EQ(Find(listing, docs)["fname"], "文档");
    EXPECT_EQ(Find(listing, docs)["fisdir"], "0");
    EXPECT_EQ(Find(listing, docs)["fpid"], 0);
    EXPECT_EQ(Find(listing, inner)["fpid"], Json::Int64(docs));
    EXPECT_EQ(Find(listing, file)["fisdir"], "1");
    EXPECT_EQ(Find(listing, file)["fpid"], Json::Int64(inner));
    EXPECT_EQ(Find(listing, file)["fsize"], 3);
    EXPECT_EQ(Find(listing, file)["storecode"], Md5Of("abc"));
}

TEST_F(ListingApiTest, TheModifyStampChangesOnEveryChangeEvenWithinOneSecond) {
    TSession alice = Login("alice", "secret");
    std::int64_t file = Upload(alice, 0, "a.txt", "one");
    std::int64_t other = Upload(alice, 0, "b.txt", "other");
    std::set<std::string> stamps;
    auto stampOf = [&](std::int64_t fid) {
        return Find(Listing(alice), fid)["fmodify"].asString();
    };
    std::string untouched = stampOf(other);
    stamps.insert(stampOf(file));

    for (const char* name : {"a2.txt", "a3.txt"}) {
        ASSERT_EQ(Call("/ent/file/rename",
                       "&fid=" + std::to_string(file) + "&spid=" + alice.strSpace +
                           "&fname=" + Escape(name),
                       alice.Headers())["code"],
                  "0");
        stamps.insert(stampOf(file));
    }
    auto modified = Client().Put("/admin/fs/file?user=alice&path=a3.txt", "two", "text/plain");
    ASSERT_TRUE(modified);
    ASSERT_EQ(ParseJson(modified->body)["fid"], Json::Int64(file)) << "modified in place";
    stamps.insert(stampOf(file));
    EXPECT_EQ(stamps.size(), 4u);
    EXPECT_EQ(stampOf(other), untouched);

    Json::Value info = Call("/ent/file/info", "&fid=" + std::to_string(file), alice.Headers());
    EXPECT_EQ(info["fmodify"], stampOf(file)) << "file info and listing agree";
    EXPECT_EQ(info["fsize"], 3);
    Restart();
    EXPECT_EQ(stampOf(file), info["fmodify"].asString());
}

TEST_F(ListingApiTest, AFolderListingIsOrderedAndPaged) {
    TSession alice = Login("alice", "secret");
    std::int64_t folder = MakeFolder(alice, 0, "F");
    Upload(alice, folder, "b", "22");
    Upload(alice, folder, "c", "1");
    Upload(alice, folder, "a", "333");
    Upload(alice, 0, "outside", "x");
    auto names = [&](const std::string& query) {
        Json::Value answer =
            Call("/ent/file/list", "spid=" + alice.strSpace + query, alice.Headers());
        std::string text;
        for (const Json::Value& entry : answer["files"]) {
            text += entry["fname"].asString();
        }
        EXPECT_EQ(answer["total"].asUInt(), answer["files"].size());
        return text;
    };
    std::string inFolder = "&fpid=" + std::to_string(folder);
    EXPECT_EQ(names("&cursor=0&offset=0&order=name&desc=asc" + inFolder), "abc");
    EXPECT_EQ(names("&cursor=0&offset=0&order=name&desc=desc" + inFolder), "cba");
    EXPECT_EQ(names("&cursor=0&offset=0&order=size&desc=asc" + inFolder), "cba");
    EXPECT_EQ(names("&cursor=1&offset=1&order=name&desc=asc" + inFolder), "b");
    EXPECT_EQ(names("&cursor=5&offset=0&order=name&desc=asc" + inFolder), "");
    EXPECT_EQ(names("&cursor=0&offset=0&order=name&desc=asc&fpid=0"), "Foutside");

    std::string bad = "spid=" + alice.strSpace + "&cursor=0&offset=0&order=colour&desc=asc&fpid=0";
    EXPECT_EQ(Call("/ent/file/list", bad, alice.Headers())["code"], "1");
    std::string missing = "spid=" + alice.strSpace + "&cursor=0&offset=0&order=name&desc=asc";
    EXPECT_EQ(Call("/ent/file/list", missing + "&fpid=999", alice.Headers())["code"], "2");
}

}  // namespace
}  // namespace service_test
