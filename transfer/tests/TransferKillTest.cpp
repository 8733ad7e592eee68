// The engine killed during a transfer: a child process of this program runs a transfer
// manager on the same home and account (slowed by a speed limit), is killed with SIGKILL once
// a good part of the content has moved, and this process then reloads the tables as a
// restarted engine does. The task resumes from its break point, and the far side ends up
// byte-identical with one entry.

#include "transfer/tests/TransferFixture.h"

#include <signal.h>

#include "rest/SyncMgr.h"
#include "testing/ChildProcess.h"
#include "transfer/DownLoad.h"

namespace transfer_test {
namespace {

using testing_support::ChildProcess;
using testing_support::ReadWholeFile;

constexpr std::size_t kFileSize = 6 << 20;
constexpr double kMovedBeforeKill = 1 << 20;

// The engine's part: runs the task described by the environment and tells the parent once
// kMovedBeforeKill bytes have moved; then waits to be killed.
TEST(TransferKillChild, DISABLED_RunTask) {
    CDbBase::SetAccount(getenv("TEST_ACCOUNT"));
    ReloadState();
    ResetStatus();
    CHttpCommBase::SetMaxUploadSpeed(1024);
    CHttpCommBase::SetMaxDownloadSpeed(1024);
    CTransferManager manager;
    ASSERT_EQ(manager.Start(), 0);
    manager.SetParentThead(plat::GetCurrentThreadId());

    TComand task;
    task.iType = std::stoi(getenv("TEST_ORIGIN"));
    task.iOper = OPER_ADD;
    task.tSyncFile.iType = 1;
    task.tSyncFile.strName = StringToWstring(getenv("TEST_NAME"));
    task.tSyncFile.strRelativePath = L".\\" + task.tSyncFile.strName;
    task.tSyncFile.iId = std::stoi(getenv("TEST_FID"));
    task.tSyncFile.strMD5 = getenv("TEST_MD5");
    CSyncingTaskArray::Get()->push_back(task);
    CSyncingTaskArray::Get()->Release(1);

    const bool bUpload = task.iType == 1;
    ASSERT_TRUE(WaitUntil([bUpload] {
        double moved = 0;
        if (bUpload) {
            CBaseTransfer::Session().GetUploadSize(moved);
        } else {
            CBaseTransfer::Session().GetDownloadSize(moved);
        }
        return moved >= kMovedBeforeKill;
    }));
    testing_support::TellParentReady();
    plat::MSG msg;
    plat::GetMessage(&msg);
}

class TransferKillTest : public TransferTest {
  protected:
    // Runs the child until it has moved part of the content, then kills it.
    void KillDuring(int origin, const std::string& name, int fid, const std::string& md5) {
        testing_support::WithReadyChild(
            "TransferKillChild.DISABLED_RunTask",
            {"TEST_SERVICE=" + ServiceEnvironment::Address(), "TEST_ACCOUNT=" + account,
             "TEST_ORIGIN=" + std::to_string(origin), "TEST_NAME=" + name,
             "TEST_FID=" + std::to_string(fid), "TEST_MD5=" + md5},
            [](ChildProcess& child, plat::WPARAM) {
                child.Kill(SIGKILL);
                child.Wait();
            });
    }
    // What a restarted engine does: reload the tables, then release the worker.
    void Restart() {
        ReloadState();
        ASSERT_EQ(CSyncingTaskArray::Get()->HasTask(), 1);
        CSyncingTaskArray::Get()->Release(1);
        WaitForMessage(MSG_SYNC_COMPLETE_ALL);
    }
};

TEST_F(TransferKillTest, UploadResumesAfterTheEngineWasKilled) {
    const std::string content = PatternContent(kFileSize, 9);
    WriteLocal("killed.bin", content);
    KillDuring(1, "killed.bin", 0, "");
    Service().ClearRequests();
    Restart();

    for (const SyncFail& fail : Fails()) {
        ADD_FAILURE() << "failed with " << fail.errcode;
    }
    EXPECT_TRUE(Service().ReadFile(account, "killed.bin") == content);
    EXPECT_EQ(CountEntries("killed.bin"), 1);
    int verifies = 0;
    for (const auto& request : Service().Requests()) {
        verifies += request.strTarget.find("/upload/new/verify") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(verifies, 0);
    const std::string range = Service().LastRequest("/ent/file/upload/put").Header("Range");
    ASSERT_EQ(range.rfind("bytes=", 0), 0u);
    EXPECT_GT(std::stoll(range.substr(6)), 0);
    TSyncFile row;
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(L".\\killed.bin", row));
    EXPECT_EQ(row.iId, Entry("killed.bin")["fid"].asInt());
}

TEST_F(TransferKillTest, DownloadResumesAfterTheEngineWasKilled) {
    const std::string content = PatternContent(kFileSize, 10);
    const int fid = static_cast<int>(Service().PutFile(account, "fetched.bin", content));
    const std::string md5 = Entry("fetched.bin")["md5"].asString();
    KillDuring(0, "fetched.bin", fid, md5);
    EXPECT_FALSE(std::filesystem::exists(Local("fetched.bin")));
    Service().ClearRequests();
    Restart();

    // Compared as one truth value: a mismatch must not print megabytes of content.
    EXPECT_TRUE(ReadWholeFile(Local("fetched.bin")) == content);
    TSyncFile file;
    file.iId = fid;
    file.strRelativePath = L".\\fetched.bin";
    EXPECT_FALSE(
        std::filesystem::exists(syncDir / WstringToString(CDownLoad::PartialPath(file)).substr(2)));
    const std::string target = Service().LastRequest("/ent/file/download").strTarget;
    const std::size_t skip = target.find("&fskip=");
    ASSERT_NE(skip, std::string::npos);
    EXPECT_GT(std::stoll(target.substr(skip + 7)), 0);
    EXPECT_TRUE(Fails().empty());
    EXPECT_EQ(CompletedRows().size(), 1u);
}

}  // namespace
}  // namespace transfer_test
