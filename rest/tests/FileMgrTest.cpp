// The single-item requests against the reference service: file details, folder creation,
// delete and rename, their exact bodies, and the record left alone on a refusal.

#include "rest/FileMgr.h"

#include <gtest/gtest.h>

#include "rest/RestResult.h"
#include "rest/tests/RestServiceFixture.h"

namespace rest_test {
namespace {

class FileMgrTest : public RestServiceTest {
  protected:
    // The tree entry with that id (null when there is none).
    Json::Value Entry(std::int64_t fid) {
        for (const Json::Value& entry : service.Tree(kUser)) {
            if (entry["fid"].asInt64() == fid) {
                return entry;
            }
        }
        return Json::Value();
    }
};

TEST_F(FileMgrTest, FileInfoTakesTheServicesTimeAndSize) {
    TSyncFile file;
    file.iId = int(service.PutFile(kUser, "a.bin", PatternContent(4321)));
    CFileMgr session(4);
    ASSERT_EQ(session.GetFileInfo(user, file), 0);
    EXPECT_EQ(file.strFileSize, "4321");
    EXPECT_EQ(file.strServerTime, Entry(file.iId)["fmodify"].asString());

    TRecorded request = service.LastRequest("/ent/file/info");
    EXPECT_EQ(request.strTarget, "/biz/ent/file/info");
    EXPECT_EQ(request.strBody, "&fid=" + std::to_string(file.iId));
    EXPECT_EQ(request.Header("ent_uid"), user.strUserId);
    EXPECT_EQ(request.Header("Host"), service.Address());
}

TEST_F(FileMgrTest, MkDirSendsTheEscapedNameAndTakesTheNewId) {
    TSyncFile folder;
    folder.iPId = int(service.MakeFolder(kUser, "parent"));
    folder.strName = L"新建";
    folder.iType = 0;
    CFileMgr session(4);
    ASSERT_EQ(session.MkDir(user, folder), 0);
    EXPECT_GT(folder.iId, folder.iPId);
    EXPECT_EQ(Entry(folder.iId)["path"].asString(), "parent/新建");
    EXPECT_EQ(service.LastRequest("/ent/file/mkdir").strBody,
              "&spid=" + user.strPersonalSpace + "&fpid=" + std::to_string(folder.iPId) +
                  "&fname=%E6%96%B0%E5%BB%BA");
}

TEST_F(FileMgrTest, DeleteAndRename) {
    TSyncFile file;
    file.iId = int(service.PutFile(kUser, "old.txt", "x"));
    file.strName = L"old.txt";
    file.dataExtension.dataReName.wstrNewName = L"新.txt";
    CFileMgr rename(4);
    ASSERT_EQ(rename.FileRename(user, file), 0);
    EXPECT_EQ(service.LastRequest("/ent/file/rename").strBody,
              "&fid=" + std::to_string(file.iId) + "&spid=" + user.strPersonalSpace +
                  "&fname=%E6%96%B0%2E%74%78%74");
    EXPECT_EQ(Entry(file.iId)["name"].asString(), "新.txt");

    CFileMgr remove(4);
    ASSERT_EQ(remove.FileDel(user, file), 0);
    EXPECT_EQ(service.LastRequest("/ent/file/rm").strBody, "&fids[]=" + std::to_string(file.iId));
    EXPECT_TRUE(Entry(file.iId).isNull());
}

TEST_F(FileMgrTest, RefusalsLeaveTheRecordAlone) {
    TSyncFile file;
    file.iId = int(service.PutFile(kUser, "a.txt", "x"));
    file.strServerTime = "before";
    service.AddFault("/ent/file/info", "code", JsonObject({{"code", 4}}));
    service.AddFault("/ent/file/rm", "code", JsonObject({{"code", 4}}));
    CFileMgr info(4);
    EXPECT_EQ(info.GetFileInfo(user, file), 8004);
    EXPECT_EQ(file.strServerTime, "before");
    CFileMgr remove(4);
    EXPECT_EQ(remove.FileDel(user, file), 8004);
    EXPECT_FALSE(Entry(file.iId).isNull());
}

TEST_F(FileMgrTest, NetworkErrorsAreLoggedWithTheOperation) {
    ASSERT_EQ(CGlobalSetting().SetValue(L"main", L"server", L"127.0.0.1:1", L"config.ini"), 0);
    TSyncFile file;
    file.iId = 3;
    CFileMgr session(4);
    EXPECT_EQ(session.GetFileInfo(user, file), 7);
    std::string log = LogText(home.path());
    EXPECT_NE(log.find("FileMgr.cpp"), std::string::npos);
    EXPECT_NE(log.find("CFileMgr::GetFileInfo():"), std::string::npos);
    EXPECT_NE(log.find(">> net work error = (7)"), std::string::npos);
}

}  // namespace
}  // namespace rest_test
