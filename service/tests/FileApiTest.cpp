// Folder creation, deletion, rename and file info over HTTP, with hostile names.

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "service/tests/ServiceFixture.h"

namespace service_test {
namespace {

class FileApiTest : public ServiceFixture {
  protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        m_alice = Login("alice", "secret");
    }
    Json::Value MakeFolder(std::int64_t pid, const std::string& escapedName) {
        return Call(
            "/ent/file/mkdir",
            "&spid=" + m_alice.strSpace + "&fpid=" + std::to_string(pid) + "&fname=" + escapedName,
            m_alice.Headers());
    }
    std::int64_t Folder(std::int64_t pid, const std::string& name) {
        Json::Value answer = MakeFolder(pid, Escape(name));
        EXPECT_EQ(answer["code"], "0") << name;
        EXPECT_TRUE(answer["msg"].isString());
        return std::stoll(answer["msg"].asString());
    }
    Json::Value Rename(std::int64_t fid, const std::string& escapedName) {
        return Call(
            "/ent/file/rename",
            "&fid=" + std::to_string(fid) + "&spid=" + m_alice.strSpace + "&fname=" + escapedName,
            m_alice.Headers());
    }
    Json::Value Remove(const std::vector<std::int64_t>& ids) {
        std::string body;
        for (std::int64_t id : ids) {
            body += "&fids[]=" + std::to_string(id);
        }
        return Call("/ent/file/rm", body, m_alice.Headers());
    }
    std::int64_t Total() { return Listing(m_alice)["total"].asInt64(); }

    TSession m_alice;
};

TEST_F(FileApiTest, MkdirAnswersTheNewIdAndARepeatedMkdirTheSameOne) {
    std::int64_t docs = Folder(0, "Docs");
    EXPECT_GT(docs, 0);
    EXPECT_EQ(Folder(0, "Docs"), docs);
    std::int64_t inner = Folder(docs, "Docs");
    EXPECT_NE(inner, docs) << "the same name in another folder is another folder";
    EXPECT_EQ(Total(), 2);

    std::int64_t file = Upload(m_alice, 0, "taken", "x");
    EXPECT_EQ(MakeFolder(0, Escape("taken"))["code"], "7") << "a file holds the name";
    EXPECT_EQ(MakeFolder(file, Escape("sub"))["code"], "13") << "the parent is a file";
    EXPECT_EQ(MakeFolder(999, Escape("sub"))["code"], "2") << "no such parent";
    EXPECT_EQ(Total(), 3);
}

TEST_F(FileApiTest, RmDeletesFoldersWithTheirContentAndNothingWhenAnIdIsUnknown) {
    std::int64_t top = Folder(0, "top");
    std::int64_t mid = Folder(top, "mid");
    Upload(m_alice, mid, "deep.txt", std::string(1000, 'd'));
    Upload(m_alice, top, "shallow.txt", "s");
    std::int64_t keep = Upload(m_alice, 0, "keep.txt", "k");
    // A folder whose name starts like the doomed one's is no child of it.
    std::int64_t topx = Folder(0, "topx");
    ASSERT_EQ(Total(), 6);

    EXPECT_EQ(Remove({top, 999})["code"], "2");
    EXPECT_EQ(Total(), 6);
    EXPECT_EQ(Remove({})["code"], "1");
    EXPECT_EQ(Call("/ent/file/rm", "&fids[]=abc", m_alice.Headers())["code"], "1");

    EXPECT_EQ(Remove({top})["code"], "0");
    Json::Value listing = Listing(m_alice);
    ASSERT_EQ(listing["total"], 2);
    std::set<std::int64_t> left;
    for (const Json::Value& entry : listing["files"]) {
        left.insert(entry["fid"].asInt64());
    }
    EXPECT_EQ(left, (std::set<std::int64_t>{keep, topx}));
    EXPECT_EQ(Call("/ent/user/Info", "", m_alice.Headers())["usrusedsize"], 1);
    EXPECT_EQ(Remove({top})["code"], "2") << "already gone";
}

TEST_F(FileApiTest, RenameRenamesInPlaceAndRefusesANameInUse) {
    std::int64_t folder = Folder(0, "F");
    std::int64_t file = Upload(m_alice, folder, "a.txt", "a");
    Upload(m_alice, folder, "b.txt", "b");
    Upload(m_alice, 0, "c.txt", "c");

    EXPECT_EQ(Rename(file, Escape("b.txt"))["code"], "7");
    EXPECT_EQ(Rename(file, Escape("a.txt"))["code"], "0") << "its own name";
    EXPECT_EQ(Rename(file, Escape("c.txt"))["code"], "0") << "c.txt is in another folder";
    EXPECT_EQ(Rename(999, Escape("x"))["code"], "2");
    Json::Value info = Call("/ent/file/info", "&fid=" + std::to_string(file), m_alice.Headers());
    EXPECT_EQ(info["fname"], "c.txt");
    EXPECT_EQ(info["fpid"], Json::Int64(folder));
    EXPECT_EQ(Download(m_alice.strUserId, file, 0).strBody, "a");

    EXPECT_EQ(Rename(folder, Escape("G"))["code"], "0");
    EXPECT_EQ(Download(m_alice.strUserId, file, 0).strBody, "a") << "content stays with the id";
}

TEST_F(FileApiTest, HostileNamesAreRefusedAndCreateNothing) {
    std::int64_t file = Upload(m_alice, 0, "ok.txt", "o");
    struct {
        const char* why;
        std::string escaped;
        const char* code;
    } cases[] = {
        {"empty", "", "6"},
        {"dot", Escape("."), "6"},
        {"dot dot", Escape(".."), "6"},
        {"slash", Escape("a/b"), "6"},
        {"backslash", Escape("a\\b"), "6"},
        {"NUL", "a%00b", "6"},
        {"not UTF-8", "a%FFb", "6"},
        {"an overlong UTF-8 slash", "%C0%AF", "6"},
        {"256 bytes", Escape(std::string(256, 'n')), "6"},
        {"an escape cut short", "abc%4", "1"},
        {"an escape that is not hex", "%ZZ", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(MakeFolder(0, c.escaped)["code"], c.code);
        EXPECT_EQ(Rename(file, c.escaped)["code"], c.code);
        EXPECT_EQ(Call("/ent/file/upload/new/verify",
                       "&f_pid=0&f_size=1&space_id=" + m_alice.strSpace + "&f_md5=" + Md5Of("x") +
                           "&f_name=" + c.escaped,
                       m_alice.Headers())["code"],
                  c.code);
    }
    EXPECT_EQ(Folder(0, std::string(255, 'n')), Folder(0, std::string(255, 'n')));
    EXPECT_GT(Folder(0, "...") + Folder(0, ".hidden") + Folder(0, "a b+c%"), 0);
    EXPECT_EQ(Total(), 5);
    EXPECT_EQ(Call("/ent/file/info", "&fid=" + std::to_string(file), m_alice.Headers())["fname"],
              "ok.txt");
}

TEST_F(FileApiTest, InfoAnswersTheStampAndTheSizeAsANumber) {
    std::int64_t file = Upload(m_alice, 0, "a.txt", "12345");
    Json::Value info = Call("/ent/file/info", "&fid=" + std::to_string(file), m_alice.Headers());
    EXPECT_EQ(info["code"], "0");
    EXPECT_TRUE(info["fmodify"].isString());
    EXPECT_EQ(info["fsize"], 5);
    EXPECT_TRUE(info["fsize"].isNumeric());
    EXPECT_EQ(Call("/ent/file/info", "&fid=999", m_alice.Headers())["code"], "2");
    EXPECT_EQ(Call("/ent/file/info", "&fid=", m_alice.Headers())["code"], "1");
    TSession bob = Login("bob", "hunter2");
    EXPECT_EQ(Call("/ent/file/info", "&fid=" + std::to_string(file), bob.Headers())["code"], "2");
}

}  // namespace
}  // namespace service_test
