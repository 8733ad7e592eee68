// The four upload requests over HTTP: check, state, data, commit.

#include <gtest/gtest.h>

#include "service/tests/ServiceFixture.h"

namespace service_test {
namespace {

class UploadApiTest : public ServiceFixture {
  protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        m_alice = Login("alice", "secret");
    }

    // A data request with the given Range header and body, whatever the held part is.
    Json::Value RawPut(const std::string& storageName, const std::string& range,
                       const std::string& body) const {
        httplib::Headers headers = {{"s_name", storageName}};
        if (!range.empty()) {
            headers.emplace("Range", range);
        }
        auto result =
            Client().Put("/biz/ent/file/upload/put", headers, body, "application/octet-stream");
        return result ? ParseJson(result->body) : Json::Value();
    }
    Json::Value State(const std::string& storageName) const {
        return Call("/ent/file/upload/state", "s_name=" + storageName, m_alice.Headers());
    }
    std::string Register(const std::string& name, const std::string& content) const {
        Json::Value verify =
            Verify(m_alice, 0, name, static_cast<std::int64_t>(content.size()), Md5Of(content));
        EXPECT_EQ(verify["code"], "0");
        return verify["s_name"].asString();
    }

    TSession m_alice;
};

TEST_F(UploadApiTest, AnUploadCreatesTheEntryWithItsContent) {
    const std::string content = "hello, world";
    std::int64_t fid = Upload(m_alice, 0, "新建.txt", content);
    ASSERT_GT(fid, 0);

    Json::Value listing = Listing(m_alice);
    ASSERT_EQ(listing["total"], 1);
    const Json::Value& entry = listing["files"][0];
    EXPECT_EQ(entry["fid"], Json::Int64(fid));
    EXPECT_EQ(entry["fname"], "新建.txt");
    EXPECT_EQ(entry["fisdir"], "1");
    EXPECT_EQ(entry["fsize"], 12);
    EXPECT_EQ(entry["storecode"], Md5Of(content));
    EXPECT_EQ(Download(m_alice.strUserId, fid, 0).strBody, content);
}

TEST_F(UploadApiTest, AnInterruptedUploadContinuesFromWhatTheStateQueryAnswers) {
    const std::string content = "0123456789";
    std::string storageName = Register("ten.txt", content);
    EXPECT_EQ(State(storageName)["skip"], 0);
    EXPECT_TRUE(State(storageName)["skip"].isNumeric());

    ASSERT_EQ(RawPut(storageName, "bytes=0-10", content.substr(0, 4))["code"], "0");
    ASSERT_EQ(State(storageName)["skip"], 4);
    ASSERT_EQ(Put(storageName, 4, content)["code"], "0");
    EXPECT_EQ(State(storageName)["skip"], 10);

    Json::Value commit = Commit(m_alice, 0, storageName, Md5Of(content), "ten.txt");
    ASSERT_EQ(commit["code"], "0");
    EXPECT_TRUE(commit["fid"].isIntegral());
    EXPECT_EQ(Download(m_alice.strUserId, commit["fid"].asInt64(), 0).strBody, content);
}

TEST_F(UploadApiTest, DataThatDoesNotContinueTheHeldPartIsRefusedAndChangesNothing) {
    const std::string content = "0123456789";
    std::string storageName = Register("ten.txt", content);
    ASSERT_EQ(RawPut(storageName, "bytes=0-10", "0123")["code"], "0");

    struct {
        const char* why;
        std::string storageName;
        std::string range;
        std::string body;
        const char* code;
    } cases[] = {
        {"from the start again", storageName, "bytes=0-10", "0123456789", "8"},
        {"past the held part", storageName, "bytes=6-10", "6789", "8"},
        {"no range, so from the start", storageName, "", "0123456789", "8"},
        {"more than the rest", storageName, "bytes=4-10", "456789XYZ", "8"},
        {"a range that ends elsewhere", storageName, "bytes=4-12", "456789", "8"},
        {"an unknown storage name", "0000", "bytes=4-10", "456789", "12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(RawPut(c.storageName, c.range, c.body)["code"], c.code);
        EXPECT_EQ(State(storageName)["skip"], 4);
    }
    // The HTTP server refuses a Range it cannot read before the request reaches the service.
    auto unreadable = Client().Put("/biz/ent/file/upload/put",
                                   {{"s_name", storageName}, {"Range", "bytes=four-10"}}, "456789",
                                   "application/octet-stream");
    ASSERT_TRUE(unreadable);
    EXPECT_EQ(unreadable->status, 416);
    EXPECT_EQ(State(storageName)["skip"], 4);

    ASSERT_EQ(Put(storageName, 4, content)["code"], "0");
    ASSERT_EQ(Commit(m_alice, 0, storageName, Md5Of(content), "ten.txt")["code"], "0");
    EXPECT_EQ(Download(m_alice.strUserId, Listing(m_alice)["files"][0]["fid"].asInt64(), 0).strBody,
              content);
}

TEST_F(UploadApiTest, CommitChecksSizeAndMd5OfWhatWasReceived) {
    const std::string content = "0123456789";
    std::string storageName = Register("ten.txt", content);
    ASSERT_EQ(RawPut(storageName, "bytes=0-10", "01234")["code"], "0");
    EXPECT_EQ(Commit(m_alice, 0, storageName, Md5Of(content), "ten.txt")["code"], "8")
        << "half the data";

    ASSERT_EQ(RawPut(storageName, "bytes=5-10", "5678X")["code"], "0");
    EXPECT_EQ(Commit(m_alice, 0, storageName, Md5Of(content), "ten.txt")["code"], "11")
        << "the data is not what the client announced";
    EXPECT_EQ(State(storageName)["skip"], 0) << "corrupt data is dropped, the client resends";
    EXPECT_EQ(Listing(m_alice)["total"], 0);

    ASSERT_EQ(Put(storageName, 0, content)["code"], "0");
    EXPECT_EQ(Commit(m_alice, 0, storageName, "xyz", "ten.txt")["code"], "1");
    EXPECT_EQ(Commit(m_alice, 0, storageName, Md5Of(content), "ten.txt")["code"], "0");
    EXPECT_EQ(Listing(m_alice)["total"], 1);
}

TEST_F(UploadApiTest, ARepeatedCommitAnswersTheSameEntry) {
    const std::string content = "twice";
    std::string storageName = Register("a.txt", content);
    ASSERT_EQ(Put(storageName, 0, content)["code"], "0");
    Json::Value first = Commit(m_alice, 0, storageName, Md5Of(content), "a.txt");
    Json::Value second = Commit(m_alice, 0, storageName, Md5Of(content), "a.txt");
    EXPECT_EQ(first["code"], "0");
    EXPECT_EQ(second["code"], "0");
    EXPECT_EQ(first["fid"], second["fid"]);
    EXPECT_EQ(Listing(m_alice)["total"], 1);
    // A client that lost the commit's answer resumes: everything is held, nothing to send.
    EXPECT_EQ(State(storageName)["skip"], 5);
    EXPECT_EQ(RawPut(storageName, "bytes=5-5", "")["code"], "0");
}

TEST_F(UploadApiTest, ContentAlreadyHeldIsNotSentAgain) {
    const std::string content = "same bytes";
    std::int64_t first = Upload(m_alice, 0, "a.txt", content);
    std::int64_t size = static_cast<std::int64_t>(content.size());

    Json::Value copy = Verify(m_alice, 0, "b.txt", size, Md5Of(content));
    EXPECT_EQ(copy["code"], "9");
    ASSERT_TRUE(copy["fid"].isIntegral());
    EXPECT_NE(copy["fid"], Json::Int64(first));
    EXPECT_EQ(Download(m_alice.strUserId, copy["fid"].asInt64(), 0).strBody, content);

    Json::Value again = Verify(m_alice, 0, "a.txt", size, Md5Of(content));
    EXPECT_EQ(again["code"], "9") << "the same file under the same name";
    EXPECT_EQ(again["fid"], Json::Int64(first));
    EXPECT_EQ(Verify(m_alice, 0, "a.txt", 3, Md5Of("new"))["code"], "7")
        << "other content under a name in use";
    EXPECT_EQ(Listing(m_alice)["total"], 2);

    TSession bob = Login("bob", "hunter2");
    EXPECT_EQ(Verify(bob, 0, "a.txt", size, Md5Of(content))["code"], "0")
        << "one account's content is not another's";
}

TEST_F(UploadApiTest, TheCheckRefusesFilesOf4GiBAndUploadsBeyondTheQuota) {
    EXPECT_EQ(Verify(m_alice, 0, "big", std::int64_t{1} << 32, Md5Of(""))["code"], "3");
    EXPECT_EQ(Verify(m_alice, 0, "big", (std::int64_t{1} << 32) - 1, Md5Of(""))["code"], "0");
    EXPECT_EQ(Verify(m_alice, 0, "neg", -1, Md5Of(""))["code"], "1");

    Json::Value quota;
    quota["user"] = "alice";
    quota["quota"] = 100;
    ASSERT_EQ(Admin("/admin/account", quota)["code"], "0");
    EXPECT_EQ(Verify(m_alice, 0, "c", 101, Md5Of("x"))["code"], "5");
    std::int64_t sixty = Upload(m_alice, 0, "sixty", std::string(60, 'x'));
    ASSERT_GT(sixty, 0);
    EXPECT_EQ(Verify(m_alice, 0, "d", 50, Md5Of("y"))["code"], "5");
    EXPECT_EQ(Verify(m_alice, 0, "copy", 60, Md5Of(std::string(60, 'x')))["code"], "5")
        << "a copy of held content takes space too";
    EXPECT_EQ(Verify(m_alice, 0, "e", 40, Md5Of(std::string(40, 'e')))["code"], "0");
}

TEST_F(UploadApiTest, TheParentMustBeAFolderOfTheAccount) {
    std::int64_t file = Upload(m_alice, 0, "f.txt", "f");
    EXPECT_EQ(Verify(m_alice, file, "x", 1, Md5Of("x"))["code"], "13");
    EXPECT_EQ(Verify(m_alice, 999, "x", 1, Md5Of("x"))["code"], "2");
    TSession bob = Login("bob", "hunter2");
    std::int64_t bobsFolder =
        std::stoll(Call("/ent/file/mkdir", "&spid=" + bob.strSpace + "&fpid=0&fname=" + Escape("B"),
                        bob.Headers())["msg"]
                       .asString());
    EXPECT_EQ(Verify(m_alice, bobsFolder, "x", 1, Md5Of("x"))["code"], "2");
}

}  // namespace
}  // namespace service_test
