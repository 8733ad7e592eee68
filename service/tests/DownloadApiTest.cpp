// The download over HTTP: content from "fskip" on, refusals in a "code" header.

#include <gtest/gtest.h>

#include "service/tests/ServiceFixture.h"

namespace service_test {
namespace {

class DownloadApiTest : public ServiceFixture {};

TEST_F(DownloadApiTest, TheContentComesFromTheSkippedOffsetOn) {
    TSession alice = Login("alice", "secret");
    std::string content;
    for (int i = 0; content.size() < (3u << 20); ++i) {
        content += std::to_string(i) + ",";
    }
    std::int64_t fid = Upload(alice, 0, "numbers.txt", content);
    for (std::int64_t skip :
         {std::int64_t{0}, std::int64_t{300}, static_cast<std::int64_t>(content.size())}) {
        SCOPED_TRACE(skip);
        TDownload download = Download(alice.strUserId, fid, skip);
        ASSERT_TRUE(download.bAnswered);
        EXPECT_EQ(download.strCodeHeader, "");
        EXPECT_TRUE(download.strBody == content.substr(static_cast<std::size_t>(skip)));
    }
}

TEST_F(DownloadApiTest, RefusalsTravelInACodeHeader) {
    TSession alice = Login("alice", "secret");
    TSession bob = Login("bob", "hunter2");
    std::int64_t fid = Upload(alice, 0, "a.txt", "abc");
    std::int64_t folder = std::stoll(
        Call("/ent/file/mkdir", "&spid=" + alice.strSpace + "&fpid=0&fname=" + Escape("F"),
             alice.Headers())["msg"]
            .asString());
    std::string id = std::to_string(fid);
    struct {
        const char* why;
        std::string userId;
        std::string query;
        const char* code;
    } cases[] = {
        {"unknown id", alice.strUserId, "fids[]=999&fskip=0", "2"},
        {"another account's file", bob.strUserId, "fids[]=" + id + "&fskip=0", "2"},
        {"a folder", alice.strUserId, "fids[]=" + std::to_string(folder) + "&fskip=0", "13"},
        {"a local part longer than the file", alice.strUserId, "fids[]=" + id + "&fskip=4", "2"},
        {"no skip", alice.strUserId, "fids[]=" + id, "1"},
        {"a negative skip", alice.strUserId, "fids[]=" + id + "&fskip=-1", "1"},
        {"two ids", alice.strUserId, "fids[]=" + id + "&fids[]=" + id + "&fskip=0", "1"},
        {"an unknown user", "777", "fids[]=" + id + "&fskip=0", "4"},
        {"no user", "", "fids[]=" + id + "&fskip=0", "4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        httplib::Headers headers;
        if (!c.userId.empty()) {
            headers.emplace("ent_uid", c.userId);
        }
        auto result = Client().Get(("/biz/ent/file/download?" + c.query).c_str(), headers);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 200) << "the client reads no answer of a failed status";
        EXPECT_EQ(result->get_header_value("code"), c.code);
        EXPECT_EQ(result->body, "");
    }
}

}  // namespace
}  // namespace service_test
