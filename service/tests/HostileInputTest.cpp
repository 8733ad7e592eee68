// Bad input from a client: random and malformed bodies, oversized requests, names that try to
// break the answers, and competing transfers to one storage name.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "service/tests/ServiceFixture.h"

namespace service_test {
namespace {

class HostileInputTest : public ServiceFixture {
  protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        m_alice = Login("alice", "secret");
    }
    TSession m_alice;
};

// Every entry's parent is the root or a folder of the listing: the space is still whole.
void ExpectWholeSpace(const Json::Value& listing) {
    std::map<std::int64_t, bool> folders{{0, true}};
    for (const Json::Value& entry : listing["files"]) {
        folders[entry["fid"].asInt64()] = entry["fisdir"] == "0";
    }
    for (const Json::Value& entry : listing["files"]) {
        EXPECT_TRUE(folders[entry["fpid"].asInt64()]) << entry.toStyledString();
    }
}

TEST_F(HostileInputTest, RandomBodiesGetACodeAndLeaveTheSpaceWhole) {
    Upload(m_alice, 0, "a.txt", "a");
    const char* endpoints[] = {
        "/ent/user/login",        "/ent/user/Info",         "/ent/user/getwebtoken",
        "/ent/version/check",     "/ent/file/list",         "/ent/synch/modify",
        "/ent/file/info",         "/ent/file/rm",           "/ent/file/rename",
        "/ent/file/mkdir",        "/ent/file/upload/state", "/ent/file/upload/new/verify",
        "/ent/file/upload/commit"};
    const std::string pieces[] = {"&",
                                  "=",
                                  "%",
                                  "%4",
                                  "%E6%96",
                                  "fid",
                                  "fids[]",
                                  "fpid",
                                  "fname",
                                  "spid",
                                  "f_size",
                                  "-1",
                                  "0",
                                  "1",
                                  "9999999999999999999999",
                                  "%00",
                                  m_alice.strSpace,
                                  "s_name",
                                  "\xff\xfe",
                                  "\"}"};
    const unsigned seed = 20240611;
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    for (int i = 0; i < 400; ++i) {
        std::string body;
        for (int n = random() % 12; n > 0; --n) {
            body += pieces[random() % std::size(pieces)];
        }
        const char* endpoint = endpoints[random() % std::size(endpoints)];
        SCOPED_TRACE(std::string(endpoint) + " " + body);
        Json::Value answer = Call(endpoint, body, m_alice.Headers());
        ASSERT_TRUE(answer["code"].isString());
    }
    Json::Value listing = Listing(m_alice);
    ASSERT_EQ(listing["code"], "0");
    ExpectWholeSpace(listing);
    EXPECT_EQ(Download(m_alice.strUserId, listing["files"][0]["fid"].asInt64(), 0).strBody, "a");
}

TEST_F(HostileInputTest, MalformedAndOversizedRequestsAreRefused) {
    struct {
        const char* why;
        const char* endpoint;
        std::string body;
    } cases[] = {
        {"a body over a MiB", "/ent/file/info", "&fid=1&pad=" + std::string(2 << 20, 'p')},
        {"an id beyond 64 bits", "/ent/file/info", "&fid=99999999999999999999"},
        {"an id in exponent form", "/ent/file/info", "&fid=1e3"},
        {"an id with a plus", "/ent/file/info", "&fid=+1"},
        {"an id with blanks", "/ent/file/info", "&fid= 1"},
        {"a size that is not a number", "/ent/file/upload/new/verify",
         "&f_pid=0&f_size=ten&space_id=" + m_alice.strSpace + "&f_md5=" + Md5Of("") + "&f_name=x"},
        {"an MD5 that is not one", "/ent/file/upload/new/verify",
         "&f_pid=0&f_size=1&space_id=" + m_alice.strSpace + "&f_md5=xyz&f_name=x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(Call(c.endpoint, c.body, m_alice.Headers())["code"], "1");
    }
    EXPECT_EQ(Listing(m_alice)["total"], 0);
}

TEST_F(HostileInputTest, NamesThatLookLikeJsonOrMarkupStayPlainText) {
    const std::string names[] = {"quote\"brace}", "],[{:", "new\nline\ttab\x01", "<p>&amp;",
                                 "emoji 😀"};
    for (const std::string& name : names) {
        Upload(m_alice, 0, name, name);
    }
    Json::Value listing = Listing(m_alice);
    ASSERT_EQ(listing["total"], 5);
    std::set<std::string> seen;
    for (const Json::Value& entry : listing["files"]) {
        seen.insert(entry["fname"].asString());
    }
    EXPECT_EQ(seen, std::set<std::string>(std::begin(names), std::end(names)));
}

TEST_F(HostileInputTest, OneTransferAtATimePerStorageName) {
    const std::string content = "0123456789";
    std::string storageName =
        Verify(m_alice, 0, "busy.txt", 10, Md5Of(content))["s_name"].asString();
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::thread slow([&] {
        auto client = Client();
        client.Put(
            "/biz/ent/file/upload/put", {{"s_name", storageName}, {"Range", "bytes=0-10"}}, 10,
            [&](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset == 0) {
                    sink.write(content.data(), 3);
                    started.set_value();
                    released.wait();
                    return true;
                }
                sink.write(content.data() + offset, content.size() - offset);
                return true;
            },
            "application/octet-stream");
    });
    started.get_future().wait();
    // The first request holds the storage name once its first bytes reached the service.
    auto received = [this] {
        Json::Value requests = AdminGet("/admin/requests")["requests"];
        for (const Json::Value& request : requests) {
            if (request["method"] == "PUT") {
                return request["body_size"].asInt();
            }
        }
        return 0;
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (received() < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_EQ(Put(storageName, 0, content)["code"], "14");
    EXPECT_EQ(Commit(m_alice, 0, storageName, Md5Of(content), "busy.txt")["code"], "14");
    release.set_value();
    slow.join();
    EXPECT_EQ(Call("/ent/file/upload/state", "s_name=" + storageName, m_alice.Headers())["skip"],
              10);
    EXPECT_EQ(Commit(m_alice, 0, storageName, Md5Of(content), "busy.txt")["code"], "0");
}

}  // namespace
}  // namespace service_test
