// The sync requests against the reference service: the listing, the four upload steps, the
// download, their exact requests, resumption after a cut transfer, pause and resume, and the
// speed limits.

#include "rest/SyncMgr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "common/Utility.h"
#include "platform/Clock.h"
#include "rest/RestResult.h"
#include "rest/StallGuard.h"
#include "rest/tests/RestServiceFixture.h"
#include "testing/ManualClock.h"

namespace rest_test {
namespace {

using namespace std::chrono_literals;

// The name 新建 a&b.txt as every name is sent: each UTF-8 byte as %XX.
constexpr const char* kEscapedName = "%E6%96%B0%E5%BB%BA%20%61%26%62%2E%74%78%74";
// libcurl hands the data callbacks at most this much at a time.
constexpr double kLargestPiece = 64 * 1024;

class SyncMgrTest : public RestServiceTest {
  protected:
    // Check, state, data and commit of a local file; the result of the first step that fails.
    int Upload(TSyncFile& file) {
        CSyncMgr session(4);
        int result = session.UploadFile1Verify(user, SyncDir(), file);
        std::string offset = "0";
        if (result == 0) {
            result = session.UploadFile2State(user, file, offset);
        }
        if (result == 0) {
            result = session.UploadFile3Put(user, SyncDir(), file, offset);
        }
        return result == 0 ? session.UploadFile4Commit(user, file) : result;
    }

    // Runs a transfer on another thread under the manual clock, advancing the clock a second
    // whenever the transfer waits at its speed limit. Returns the seconds that took.
    template <typename Transfer>
    int RunLimited(CSyncMgr& session, bool upload, int& result, Transfer transfer) {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            result = transfer();
            done = true;
        });
        int seconds = 0;
        while (!done) {
            if (plat::Clock::WaitForTimedWaiters(1, 100ms)) {
                double moved = 0;
                if (upload) {
                    session.GetUploadSize(moved);
                } else {
                    session.GetDownloadSize(moved);
                }
                EXPECT_LE(moved, (seconds + 1) * (kLimitKiB * 1024 + kLargestPiece));
                plat::Clock::Advance(1000ms);
                ++seconds;
            }
        }
        worker.join();
        return seconds;
    }

    static constexpr int kLimitKiB = 64;
};

TEST_F(SyncMgrTest, ListingBringsEveryItemOfTheSpace) {
    std::int64_t folder = service.MakeFolder(kUser, "docs");
    std::int64_t named = service.PutFile(kUser, "docs/新建.txt", "hello");
    std::int64_t big = service.PutFile(kUser, "a.bin", PatternContent(300));
    std::map<std::int64_t, Json::Value> tree;
    for (const Json::Value& entry : service.Tree(kUser)) {
        tree[entry["fid"].asInt64()] = entry;
    }

    std::vector<TSyncFile> files;
    CSyncMgr session(4);
    ASSERT_EQ(session.GetFileListAll(user, files), 0);
    ASSERT_EQ(files.size(), 3u);
    std::map<std::int64_t, TSyncFile> byId;
    for (const TSyncFile& file : files) {
        byId[file.iId] = file;
    }
    EXPECT_EQ(byId[folder].iType, 0);
    EXPECT_EQ(byId[folder].strName, L"docs");
    EXPECT_EQ(byId[named].strName, L"新建.txt");
    EXPECT_EQ(byId[named].iPId, folder);
    EXPECT_EQ(byId[named].iType, 1);
    EXPECT_EQ(byId[named].strFileSize, "5");
    EXPECT_EQ(byId[big].strMD5, tree[big]["md5"].asString());
    EXPECT_EQ(byId[big].strServerTime, tree[big]["fmodify"].asString());

    TRecorded request = service.LastRequest("/ent/synch/modify");
    EXPECT_EQ(request.strMethod, "POST");
    EXPECT_EQ(request.strBody, "");
    EXPECT_EQ(request.Header("ent_uclient"), "4");
    EXPECT_EQ(request.Header("ent_uid"), user.strUserId);
    EXPECT_EQ(request.Header("ent_utoken"), user.strToken);
    EXPECT_EQ(request.Header("ent_utype"), user.strUserType);
}

TEST_F(SyncMgrTest, OneLevelListingAsksForTheRootByName) {
    service.PutFile(kUser, "b.txt", "b");
    std::vector<TSyncFile> files;
    CSyncMgr session(4);
    ASSERT_EQ(session.GetFileList(user, files), 0);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].strName, L"b.txt");
    EXPECT_EQ(service.LastRequest("/ent/file/list").strBody,
              "spid=" + user.strPersonalSpace + "&cursor=0&offset=0&order=name&desc=asc&fpid=0");
}

TEST_F(SyncMgrTest, UploadSendsTheFourRequestsExactly) {
    const std::string content = PatternContent(1000);
    WriteLocal(L"新建 a&b.txt", content);
    TSyncFile file = LocalRecord(L"新建 a&b.txt");
    ASSERT_EQ(Upload(file), 0);
    EXPECT_GT(file.iId, 0);
    EXPECT_EQ(file.strMD5, GetFileMd5(LocalPath(L"新建 a&b.txt").string()));
    EXPECT_EQ(service.ReadFile(kUser, "新建 a&b.txt"), content);

    const std::string& storage = file.dataExtension.dataBreakPoint.strTempName;
    TRecorded verify = service.LastRequest("/ent/file/upload/new/verify");
    EXPECT_EQ(verify.strBody, "&f_pid=0&f_size=1000&space_id=" + user.strPersonalSpace +
                                  "&f_md5=" + file.strMD5 + "&f_name=" + kEscapedName);
    EXPECT_EQ(verify.Header("ent_utoken"), user.strToken);
    EXPECT_EQ(service.LastRequest("/ent/file/upload/state").strBody, "s_name=" + storage);

    TRecorded put = service.LastRequest("/ent/file/upload/put");
    EXPECT_EQ(put.strMethod, "PUT");
    EXPECT_EQ(put.Header("s_name"), storage);
    EXPECT_EQ(put.Header("Range"), "bytes=0-1000");
    EXPECT_EQ(put.Header("connection"), "Keep-Alive");
    EXPECT_FALSE(put.HasHeader("Expect"));
    EXPECT_FALSE(put.HasHeader("ent_uid"));
    EXPECT_EQ(put.Header("Content-Length"), "1000");
    EXPECT_EQ(put.iBodySize, 1000);

    EXPECT_EQ(service.LastRequest("/ent/file/upload/commit").strBody,
              "&fpid=0&sname=" + storage + "&spaceid=" + user.strPersonalSpace +
                  "&f_md5=" + file.strMD5 + "&fname=" + kEscapedName);
}

TEST_F(SyncMgrTest, UploadCutMidwayResumesFromWhatTheServiceHolds) {
    const std::string content = PatternContent(3 << 20);
    WriteLocal(L"big.bin", content);
    TSyncFile file = LocalRecord(L"big.bin");
    CSyncMgr session(0);
    ASSERT_EQ(session.UploadFile1Verify(user, SyncDir(), file), 0);
    std::string offset;
    ASSERT_EQ(session.UploadFile2State(user, file, offset), 0);
    ASSERT_EQ(offset, "0");

    service.AddFault("/ent/file/upload/put", "cut", JsonObject({{"bytes", 1000000}}));
    int cut = session.UploadFile3Put(user, SyncDir(), file, offset);
    EXPECT_GE(cut, 1);
    EXPECT_LE(cut, 89);

    ASSERT_EQ(session.UploadFile2State(user, file, offset), 0);
    ASSERT_EQ(offset, "1000000");
    ASSERT_EQ(session.UploadFile3Put(user, SyncDir(), file, offset), 0);
    TRecorded put = service.LastRequest("/ent/file/upload/put");
    EXPECT_EQ(put.Header("Range"), "bytes=1000000-3145728");
    EXPECT_EQ(put.iBodySize, 3145728 - 1000000);

    ASSERT_EQ(session.UploadFile4Commit(user, file), 0);
    EXPECT_TRUE(service.ReadFile(kUser, "big.bin") == content);
}

TEST_F(SyncMgrTest, ContentTheServiceAlreadyHoldsIsNotSent) {
    const std::string content = PatternContent(5000);
    std::int64_t held = service.PutFile(kUser, "elsewhere.bin", content);
    WriteLocal(L"copy.bin", content);
    TSyncFile file = LocalRecord(L"copy.bin");
    CSyncMgr session(4);
    EXPECT_EQ(session.UploadFile1Verify(user, SyncDir(), file), REST_ALREADY_STORED);
    EXPECT_GT(file.iId, 0);
    EXPECT_NE(file.iId, held);
    EXPECT_TRUE(file.dataExtension.dataBreakPoint.strTempName.empty());
    EXPECT_EQ(service.ReadFile(kUser, "copy.bin"), content);
}

TEST_F(SyncMgrTest, LocalFileProblemsEndTheUploadBeforeAnyRequest) {
    std::filesystem::create_directories(LocalPath(L"folder"));
    WriteLocal(L"small.txt", "0123456789");
    struct Case {
        const char* why;
        std::wstring name;
        std::string offset;
        int result;
    };
    const Case cases[] = {
        {"check of a missing file", L"missing.txt", "", REST_LOCAL_FILE_MISSING},
        {"check of a folder", L"folder", "", REST_LOCAL_FILE_ERROR},
        {"data of a missing file", L"missing.txt", "0", REST_LOCAL_FILE_MISSING},
        {"data from beyond the end", L"small.txt", "11", REST_BAD_BREAK_POINT},
        {"data from a negative offset", L"small.txt", "-1", REST_BAD_BREAK_POINT},
        {"data from an offset that is not a number", L"small.txt", "4x", REST_BAD_BREAK_POINT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TSyncFile file = LocalRecord(c.name);
        file.dataExtension.dataBreakPoint.strTempName = "storage";
        CSyncMgr session(4);
        EXPECT_EQ(c.offset.empty() ? session.UploadFile1Verify(user, SyncDir(), file)
                                   : session.UploadFile3Put(user, SyncDir(), file, c.offset),
                  c.result);
    }
    EXPECT_TRUE(service.Requests().empty());
}

TEST_F(SyncMgrTest, UploadCheckRefusedByTheServiceIsLogged) {
    WriteLocal(L"a.txt", "a");
    service.AddFault("/ent/file/upload/new/verify", "code", JsonObject({{"code", 5}}));
    TSyncFile file = LocalRecord(L"a.txt");
    CSyncMgr session(4);
    EXPECT_EQ(session.UploadFile1Verify(user, SyncDir(), file), 9005);
    std::string log = LogText(home.path());
    EXPECT_NE(log.find("SyncMgr.cpp"), std::string::npos);
    EXPECT_NE(log.find("CSyncMgr::UploadFile1Verify():"), std::string::npos);
    EXPECT_NE(log.find("接口返回非0:{"), std::string::npos);
}

TEST_F(SyncMgrTest, DownloadAppendsFromTheLocalSize) {
    const std::string content = PatternContent(200 * 1024);
    std::int64_t fid = service.PutFile(kUser, "d.bin", content);
    struct Case {
        const char* why;
        size_t localBytes;
    };
    const Case cases[] = {{"a new file", 0}, {"300 bytes already here", 300}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        WriteLocal(L"d.bin", content.substr(0, c.localBytes));
        TSyncFile file = LocalRecord(L"d.bin");
        file.iId = int(fid);
        CSyncMgr session(0);
        ASSERT_EQ(session.FileDownload(user, SyncDir(), file), 0);
        EXPECT_TRUE(ReadLocal(L"d.bin") == content);

        TRecorded request = service.LastRequest("/ent/file/download");
        EXPECT_EQ(request.strMethod, "GET");
        EXPECT_EQ(request.strTarget, "/biz/ent/file/download?fids[]=" + std::to_string(fid) +
                                         "&fskip=" + std::to_string(c.localBytes));
        EXPECT_EQ(request.Header("ent_uid"), user.strUserId);
        EXPECT_FALSE(request.HasHeader("ent_utoken"));
        EXPECT_EQ(request.Header("User-Agent"), "Mozilla/5.0 (Windows NT 6.3; WOW64)");
    }
}

// A link in the sync directory, on the way to the file or as the file, is never followed: the
// transfer neither reads nor writes what lies outside, and sends nothing.
TEST_F(SyncMgrTest, LocalFilesAreNeverReachedThroughALink) {
    const std::filesystem::path outside = home.path() / "Documents";
    std::filesystem::create_directories(outside);
    testing_support::WriteWholeFile(outside / "x.txt", "outside");
    std::filesystem::create_symlink(outside, syncDir / "docs");
    std::filesystem::create_symlink(outside / "x.txt", syncDir / "l.txt");
    const int fid = int(service.PutFile(kUser, "d.bin", "service content"));
    using Transfer = int (*)(CSyncMgr&, const UserInfo&, const std::wstring&, TSyncFile&);
    struct Case {
        const char* why;
        std::wstring path;
        Transfer transfer;
    };
    const Transfer verify = [](CSyncMgr& s, const UserInfo& u, const std::wstring& d,
                               TSyncFile& f) { return s.UploadFile1Verify(u, d, f); };
    const Transfer put = [](CSyncMgr& s, const UserInfo& u, const std::wstring& d, TSyncFile& f) {
        f.dataExtension.dataBreakPoint.strTempName = "s";
        return s.UploadFile3Put(u, d, f, "0");
    };
    const Transfer download = [](CSyncMgr& s, const UserInfo& u, const std::wstring& d,
                                 TSyncFile& f) { return s.FileDownload(u, d, f); };
    const Case cases[] = {
        {"upload check through a linked folder", L".\\docs\\x.txt", verify},
        {"upload data through a linked folder", L".\\docs\\x.txt", put},
        {"download into a linked folder", L".\\docs\\d.bin", download},
        {"upload check of a link", L".\\l.txt", verify},
        {"upload data of a link", L".\\l.txt", put},
        {"download onto a link", L".\\l.txt", download},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TSyncFile file = LocalRecord(L"x.txt");
        file.strRelativePath = c.path;
        file.iId = fid;
        CSyncMgr session(0);
        EXPECT_EQ(c.transfer(session, user, SyncDir(), file), REST_LOCAL_FILE_ERROR);
    }
    EXPECT_TRUE(service.Requests().empty());
    EXPECT_EQ(testing_support::ReadWholeFile(outside / "x.txt"), "outside");
    EXPECT_FALSE(std::filesystem::exists(outside / "d.bin"));
    EXPECT_NE(LogText(home.path()).find("local path refused = (.\\docs\\x.txt)"),
              std::string::npos);
}

TEST_F(SyncMgrTest, DownloadCutMidwayKeepsWhatArrivedAndResumes) {
    const std::string content = PatternContent(1 << 20);
    std::int64_t fid = service.PutFile(kUser, "d.bin", content);
    TSyncFile file = LocalRecord(L"d.bin");
    file.iId = int(fid);
    service.AddFault("/ent/file/download", "cut", JsonObject({{"bytes", 300000}}));
    CSyncMgr session(0);
    int cut = session.FileDownload(user, SyncDir(), file);
    EXPECT_GE(cut, 1);
    EXPECT_LE(cut, 89);
    EXPECT_TRUE(ReadLocal(L"d.bin") == content.substr(0, 300000));

    ASSERT_EQ(session.FileDownload(user, SyncDir(), file), 0);
    EXPECT_NE(service.LastRequest("/ent/file/download").strTarget.find("&fskip=300000"),
              std::string::npos);
    EXPECT_TRUE(ReadLocal(L"d.bin") == content);
}

TEST_F(SyncMgrTest, DownloadErrorHeaderGivesTheServiceCodeAndWritesNothing) {
    service.PutFile(kUser, "d.bin", "data");
    service.AddFault("/ent/file/download", "code", JsonObject({{"code", 12}}));
    TSyncFile file = LocalRecord(L"d.bin");
    file.iId = 1;
    CSyncMgr session(0);
    EXPECT_EQ(session.FileDownload(user, SyncDir(), file), 8012);
    EXPECT_EQ(ReadLocal(L"d.bin"), "");
    EXPECT_NE(LogText(home.path()).find("接口返回非0:"), std::string::npos);

    file.iId = 999999;
    int unknown = session.FileDownload(user, SyncDir(), file);
    EXPECT_GT(unknown, REST_SERVICE_BASE);
    EXPECT_LT(unknown, REST_VERIFY_BASE);
    EXPECT_EQ(ReadLocal(L"d.bin"), "");
}

TEST_F(SyncMgrTest, TransfersStayWithinTheSpeedLimit) {
    testing_support::ManualClock clock;
    const std::string content = PatternContent(1 << 20);
    const int fid = int(service.PutFile(kUser, "down.bin", content));
    // Other content, or the check would find it held already.
    WriteLocal(L"up.bin", content.substr(1) + "!");
    const double bytes = double(content.size());
    for (bool upload : {false, true}) {
        SCOPED_TRACE(upload ? "upload" : "download");
        CSyncMgr session(0);
        // Switching a limit off clears the window both directions share, so that goes first.
        upload ? CSyncMgr::SetMaxDownloadSpeed(0) : CSyncMgr::SetMaxUploadSpeed(0);
        upload ? CSyncMgr::SetMaxUploadSpeed(kLimitKiB) : CSyncMgr::SetMaxDownloadSpeed(kLimitKiB);
        TSyncFile file = LocalRecord(upload ? L"up.bin" : L"down.bin");
        file.iId = fid;
        std::string offset = "0";
        if (upload) {
            ASSERT_EQ(session.UploadFile1Verify(user, SyncDir(), file), 0);
        }
        int result = -1;
        int seconds = RunLimited(session, upload, result, [&] {
            return upload ? session.UploadFile3Put(user, SyncDir(), file, offset)
                          : session.FileDownload(user, SyncDir(), file);
        });
        CSyncMgr::SetMaxUploadSpeed(0);
        CSyncMgr::SetMaxDownloadSpeed(0);
        EXPECT_EQ(result, 0);
        EXPECT_LE(bytes, (seconds + 1) * (kLimitKiB * 1024 + kLargestPiece));
        EXPECT_LE(seconds, bytes / (kLimitKiB * 1024) + 1);
    }
    EXPECT_TRUE(ReadLocal(L"down.bin") == content);
}

TEST_F(SyncMgrTest, SwitchedOffLimitNeverDelaysAPiece) {
    testing_support::ManualClock clock;
    const std::string content = PatternContent(1 << 20);
    TSyncFile file = LocalRecord(L"d.bin");
    file.iId = int(service.PutFile(kUser, "d.bin", content));
    CSyncMgr session(0);
    session.SetMaxDownloadSpeed(kLimitKiB);
    session.SetMaxDownloadSpeed(0);
    EXPECT_EQ(session.FileDownload(user, SyncDir(), file), 0);
    EXPECT_TRUE(ReadLocal(L"d.bin") == content);
}

TEST_F(SyncMgrTest, SlowTransferUnderTheLimitOutlastsTheStallLimit) {
    testing_support::ManualClock clock;
    // At 1 KiB per second every piece waits out its second: far more seconds than the stall
    // limit, with bytes moving in each.
    const std::string down = PatternContent(3 << 20);
    const std::string up = PatternContent(10 << 20).substr(1) + "!";
    const int fid = int(service.PutFile(kUser, "down.bin", down));
    WriteLocal(L"up.bin", up);
    for (bool upload : {false, true}) {
        SCOPED_TRACE(upload ? "upload" : "download");
        CSyncMgr session(0);
        TSyncFile file = LocalRecord(upload ? L"up.bin" : L"down.bin");
        file.iId = fid;
        if (upload) {
            ASSERT_EQ(session.UploadFile1Verify(user, SyncDir(), file), 0);
        }
        upload ? CSyncMgr::SetMaxUploadSpeed(1) : CSyncMgr::SetMaxDownloadSpeed(1);
        int result = -1;
        int seconds = RunLimited(session, upload, result, [&] {
            return upload ? session.UploadFile3Put(user, SyncDir(), file, "0")
                          : session.FileDownload(user, SyncDir(), file);
        });
        CSyncMgr::SetMaxUploadSpeed(0);
        CSyncMgr::SetMaxDownloadSpeed(0);
        EXPECT_EQ(result, 0);
        EXPECT_GT(seconds, CStallGuard::STALL_LIMIT / 1s);
        if (upload) {
            EXPECT_EQ(session.UploadFile4Commit(user, file), 0);
        }
    }
    EXPECT_TRUE(ReadLocal(L"down.bin") == down);
    EXPECT_TRUE(service.ReadFile(kUser, "up.bin") == up);
}

TEST_F(SyncMgrTest, PauseHoldsARunningDownloadUntilResume) {
    testing_support::ManualClock clock;
    const std::string content = PatternContent(1 << 20);
    TSyncFile file = LocalRecord(L"d.bin");
    file.iId = int(service.PutFile(kUser, "d.bin", content));
    CSyncMgr session(0);
    session.SetMaxDownloadSpeed(kLimitKiB);
    int result = -1;
    std::thread worker([&] { result = session.FileDownload(user, SyncDir(), file); });

    // The download waits at its limit; paused, it stops at its next piece.
    ASSERT_TRUE(plat::Clock::WaitForTimedWaiters(1));
    EXPECT_EQ(session.SessionPause(), 0);
    plat::Clock::Advance(1000ms);
    EXPECT_FALSE(plat::Clock::WaitForTimedWaiters(1, 200ms)) << "data moved while paused";
    double before = 0;
    session.GetDownloadSize(before);
    for (int second = 0; second < 3; ++second) {
        EXPECT_FALSE(plat::Clock::WaitForTimedWaiters(1, 200ms)) << "data moved while paused";
        plat::Clock::Advance(1000ms);
    }
    double after = 0;
    session.GetDownloadSize(after);
    EXPECT_EQ(after, before);
    EXPECT_LT(after, double(content.size()));

    EXPECT_EQ(session.SessionResume(), 0);
    std::atomic<bool> done{false};
    std::thread advancer([&] {
        while (!done) {
            if (plat::Clock::WaitForTimedWaiters(1, 50ms)) {
                plat::Clock::Advance(1000ms);
            }
        }
    });
    worker.join();
    done = true;
    advancer.join();
    session.SetMaxDownloadSpeed(0);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(ReadLocal(L"d.bin") == content);
}

TEST_F(SyncMgrTest, PauseBetweenTransfersDoesNotHoldTheNextOne) {
    TSyncFile file = LocalRecord(L"d.bin");
    file.iId = int(service.PutFile(kUser, "d.bin", "content"));
    CSyncMgr session(0);
    EXPECT_EQ(session.SessionPause(), 0);
    EXPECT_EQ(session.FileDownload(user, SyncDir(), file), 0);
    EXPECT_EQ(ReadLocal(L"d.bin"), "content");
}

TEST_F(SyncMgrTest, DeleteAndRenameOfTheSyncSession) {
    TSyncFile file;
    file.iId = int(service.PutFile(kUser, "old.txt", "x"));
    file.strName = L"新建 a&b.txt";
    CSyncMgr session(4);
    ASSERT_EQ(session.FileRename(user, file), 0);
    EXPECT_EQ(service.LastRequest("/ent/file/rename").strBody,
              "&fid=" + std::to_string(file.iId) + "&spid=" + user.strPersonalSpace +
                  "&fname=" + kEscapedName);
    ASSERT_EQ(session.FileDel(user, file), 0);
    EXPECT_EQ(service.LastRequest("/ent/file/rm").strBody, "&fids[]=" + std::to_string(file.iId));
    EXPECT_EQ(service.Tree(kUser).size(), 0u);
}

TEST_F(SyncMgrTest, FailuresReturnLibcurlsCodeOrTheServiceCodeAndAreLogged) {
    std::vector<TSyncFile> files;
    service.AddFault("/ent/synch/modify", "status", JsonObject({{"status", 404}}));
    CSyncMgr notFound(4);
    EXPECT_EQ(notFound.GetFileListAll(user, files), 22);

    service.AddFault("/ent/synch/modify", "code", JsonObject({{"code", 12}}));
    CSyncMgr refused(4);
    EXPECT_EQ(refused.GetFileListAll(user, files), 8012);
    EXPECT_TRUE(files.empty());

    ASSERT_EQ(CGlobalSetting().SetValue(L"main", L"server", L"127.0.0.1:1", L"config.ini"), 0);
    CSyncMgr unreachable(4);
    EXPECT_EQ(unreachable.GetFileListAll(user, files), 7);

    std::string log = LogText(home.path());
    EXPECT_NE(log.find("SyncMgr.cpp"), std::string::npos);
    EXPECT_NE(log.find("CSyncMgr::GetFileListAll():"), std::string::npos);
    EXPECT_NE(log.find(">> net work error = (22)"), std::string::npos);
    EXPECT_NE(log.find(">> net work error = (7)"), std::string::npos);
    EXPECT_NE(log.find(">> 接口返回非0:{"), std::string::npos);
}

}  // namespace
}  // namespace rest_test
