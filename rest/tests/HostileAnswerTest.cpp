// Answers no well-behaved service sends: not JSON, huge, cut short, a garbled "code:" header,
// none at all, or one that stops halfway. A small scripted HTTP server on loopback plays the
// service; every operation must end in a documented result, lose no local data, never end the
// process and never wait for ever. The same server shows that fresh sessions share one
// connection.

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "rest/FileMgr.h"
#include "rest/RestResult.h"
#include "rest/StallGuard.h"
#include "rest/SyncMgr.h"
#include "rest/UserMgr.h"
#include "rest/tests/RestServiceFixture.h"
#include "testing/ManualClock.h"
#include "testing/WaitUntil.h"

namespace rest_test {
namespace {

using namespace std::chrono_literals;
using testing_support::WaitUntil;

// Answers every request under "/biz" with the scripted status, headers and body.
class CScriptedService {
  public:
    // Hold(): nothing of the answer is sent, not even its status line.
    static constexpr long kHoldBeforeAnswer = -1;

    CScriptedService() {
        m_server.Post(R"(/biz/.*)", [this](const auto& rq, auto& rs) { Serve(rq, rs); });
        m_server.Get(R"(/biz/.*)", [this](const auto& rq, auto& rs) { Serve(rq, rs); });
        m_server.Put(R"(/biz/.*)", [this](const auto& rq, auto& rs) { Serve(rq, rs); });
        // The client keeps its connection; the stop must not wait long for it to go idle.
        m_server.set_keep_alive_timeout(1);
        // Listening starts with the bind; connections wait in the backlog until the thread
        // accepts them.
        m_iPort = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~CScriptedService() {
        Release();
        m_server.stop();
        m_thread.join();
    }

    // cutAt >= 0: only that many bytes of the body are sent, then the connection closes.
    void Script(std::string body, std::vector<std::pair<std::string, std::string>> headers = {},
                int status = 200, long cutAt = -1) {
        std::lock_guard lock(m_mutex);
        m_strBody = std::move(body);
        m_headers = std::move(headers);
        m_iStatus = status;
        m_iCutAt = cutAt;
    }
    // The answers to requests from now on stop, with the connection open, until Release():
    // at kHoldBeforeAnswer, or after that many bytes of the body.
    void Hold(long at) {
        std::lock_guard lock(m_mutex);
        m_iHoldAt = at;
    }
    // Held answers go on; later ones are not held.
    void Release() {
        std::lock_guard lock(m_mutex);
        m_iHoldAt = kNoHold;
        ++m_iReleases;
        m_changed.notify_all();
    }
    size_t RequestCount() {
        std::lock_guard lock(m_mutex);
        return m_remotePorts.size();
    }
    // Real-time wait until count requests have arrived in all.
    bool WaitForRequests(size_t count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_remotePorts.size() >= count; });
    }
    std::vector<int> RemotePorts() {
        std::lock_guard lock(m_mutex);
        return m_remotePorts;
    }
    httplib::Headers LastHeaders() {
        std::lock_guard lock(m_mutex);
        return m_requestHeaders.empty() ? httplib::Headers() : m_requestHeaders.back();
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_iPort); }

  private:
    static constexpr long kNoHold = -2;

    void Serve(const httplib::Request& request, httplib::Response& response) {
        std::unique_lock lock(m_mutex);
        m_remotePorts.push_back(request.remote_port);
        m_requestHeaders.push_back(request.headers);
        m_changed.notify_all();
        const long holdAt = m_iHoldAt;
        const int releases = m_iReleases;
        if (holdAt == kHoldBeforeAnswer) {
            WaitForRelease(lock, releases);
        }
        response.status = m_iStatus;
        for (const auto& [name, value] : m_headers) {
            response.set_header(name, value);
        }
        if (m_iCutAt < 0 && holdAt < 0) {
            response.set_content(m_strBody, "application/json");
            return;
        }
        auto body = std::make_shared<const std::string>(m_strBody);
        size_t end = m_iCutAt >= 0 ? std::min(body->size(), size_t(m_iCutAt)) : body->size();
        response.set_content_provider(body->size(), "application/json",
                                      BodyProvider(body, end, holdAt, releases));
    }
    // Sends the body up to end (the connection then closes), stopping at holdAt until the
    // release that follows the request.
    httplib::ContentProvider BodyProvider(std::shared_ptr<const std::string> body, size_t end,
                                          long holdAt, int releases) {
        return [this, body, end, holdAt, releases](size_t offset, size_t length,
                                                   httplib::DataSink& sink) {
            size_t stop = end;
            if (holdAt >= 0 && offset == size_t(holdAt)) {
                std::unique_lock lock(m_mutex);
                WaitForRelease(lock, releases);
            } else if (holdAt >= 0 && offset < size_t(holdAt)) {
                stop = std::min(stop, size_t(holdAt));
            }
            if (offset >= stop) {
                return false;
            }
            return sink.write(body->data() + offset, std::min(length, stop - offset));
        };
    }
    void WaitForRelease(std::unique_lock<std::mutex>& lock, int releases) {
        m_changed.wait(lock, [&] { return m_iReleases != releases; });
    }

    httplib::Server m_server;
    std::thread m_thread;
    int m_iPort = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;                           // a request, a release
    std::string m_strBody;                                       // guarded by m_mutex
    std::vector<std::pair<std::string, std::string>> m_headers;  // guarded by m_mutex
    int m_iStatus = 200;                                         // guarded by m_mutex
    long m_iCutAt = -1;                                          // guarded by m_mutex
    long m_iHoldAt = kNoHold;                                    // guarded by m_mutex
    int m_iReleases = 0;                                         // guarded by m_mutex
    std::vector<int> m_remotePorts;                              // guarded by m_mutex
    std::vector<httplib::Headers> m_requestHeaders;              // guarded by m_mutex
};

class HostileAnswerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CGlobalSetting().SetValue(L"main", L"server", StringToWstring(service.Address()),
                                            L"config.ini"),
                  0);
        std::filesystem::create_directories(syncDir);
        user.strUserId = "1";
        user.strToken = "token";
        user.strUserType = "2";
        user.strPersonalSpace = "7";
    }
    void WriteLocal(const std::string& name, const std::string& content) const {
        testing_support::WriteWholeFile(syncDir / name, content);
    }
    std::string ReadLocal(const std::string& name) const {
        return testing_support::ReadWholeFile(syncDir / name);
    }
    std::wstring SyncDir() const { return StringToWstring(syncDir.string()); }
    static TSyncFile Record(const std::wstring& name) {
        TSyncFile file;
        file.iId = 5;
        file.strName = name;
        file.strRelativePath = L".\\" + name;
        file.iType = 1;
        file.dataExtension.dataBreakPoint.strTempName = "storage";
        return file;
    }

    // Moves the manual clock past the stall limit until the request ends, and returns its
    // result. The guard may start, or see the last bytes of the request leave, only after the
    // move, and rightly take that for a fresh start; a later move ends the request then. A
    // request that does not end is let go (letGo), so the test fails instead of hanging.
    static int EndByStall(std::future<int>& request, const std::function<void()>& letGo) {
        for (int moves = 0; moves < 5; ++moves) {
            plat::Clock::Advance(CStallGuard::STALL_LIMIT + 1s);
            if (request.wait_for(2s) == std::future_status::ready) {
                return request.get();
            }
        }
        ADD_FAILURE() << "the stalled request did not end";
        letGo();
        return request.get();
    }
    size_t StallLines() const {
        return CountOf(LogText(home.path()), "no data for 120 seconds, request ended");
    }
    static size_t CountOf(const std::string& text, const std::string& line) {
        size_t count = 0;
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
            ++count;
        }
        return count;
    }

    testing_support::TempHome home;
    CScriptedService service;
    std::filesystem::path syncDir = home.path() / "sync";
    UserInfo user;
};

TEST_F(HostileAnswerTest, AnswerThatIsNotJsonEndsEveryOperationWithItsOwnResult) {
    service.Script("<html><body>502 Bad Gateway</body></html>");
    WriteLocal("a.txt", "content");
    struct Case {
        const char* why;
        std::function<int()> operation;
    };
    std::string uid = "u", type = "t", token = "k", push = "p", space = "s";
    int number = 0, flag = 0;
    std::wstring notes;
    std::vector<TSyncFile> files;
    TSyncFile file = Record(L"a.txt");
    std::string offset = "0";
    const Case cases[] = {
        {"login", [&] { return CUserMgr(4).UserLogin("u", "p", uid, type, token, push, space); }},
        {"space info", [&] { return CUserMgr(4).GetSpaceInfo("1", "t", "2", uid, type); }},
        {"web token", [&] { return CUserMgr(4).GetWebToken("1", "t", "2", uid); }},
        {"version", [&] { return CUserMgr(4).GetVersion("8", uid, number, flag, notes, type); }},
        {"listing", [&] { return CSyncMgr(4).GetFileListAll(user, files); }},
        {"one level", [&] { return CSyncMgr(4).GetFileList(user, files); }},
        {"upload check", [&] { return CSyncMgr(4).UploadFile1Verify(user, SyncDir(), file); }},
        {"upload state", [&] { return CSyncMgr(4).UploadFile2State(user, file, offset); }},
        {"upload data", [&] { return CSyncMgr(0).UploadFile3Put(user, SyncDir(), file, offset); }},
        {"upload commit", [&] { return CSyncMgr(4).UploadFile4Commit(user, file); }},
        {"sync delete", [&] { return CSyncMgr(4).FileDel(user, file); }},
        {"sync rename", [&] { return CSyncMgr(4).FileRename(user, file); }},
        {"file info", [&] { return CFileMgr(4).GetFileInfo(user, file); }},
        {"folder", [&] { return CFileMgr(4).MkDir(user, file); }},
        {"delete", [&] { return CFileMgr(4).FileDel(user, file); }},
        {"rename", [&] { return CFileMgr(4).FileRename(user, file); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(c.operation(), REST_BAD_ANSWER);
    }
    EXPECT_EQ(uid + type + token + push + space, "utkps");
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(file.iId, 5);
    EXPECT_NE(LogText(home.path()).find("CSyncMgr::GetFileListAll():L"), std::string::npos);
}

TEST_F(HostileAnswerTest, ListingLargerThanAnyFixedBufferIsReadWhole) {
    const int count = 70000;
    std::string answer = R"({"code":"0","total":)" + std::to_string(count) + R"(,"files":[)";
    for (int i = 1; i <= count; ++i) {
        answer += (i > 1 ? "," : "") + std::string(R"({"fid":)") + std::to_string(i) +
                  R"(,"fpid":0,"fname":"file-)" + std::to_string(i) +
                  R"(.txt","fmodify":"2024-01-02 03:04:05","fisdir":"1","fsize":12345,)"
                  R"("storecode":"d41d8cd98f00b204e9800998ecf8427e"})";
    }
    answer += "]}";
    ASSERT_GT(answer.size(), size_t(10) << 20);
    service.Script(answer);
    std::vector<TSyncFile> files;
    ASSERT_EQ(CSyncMgr(4).GetFileListAll(user, files), 0);
    ASSERT_EQ(files.size(), size_t(count));
    EXPECT_EQ(files.back().iId, count);
    EXPECT_EQ(files.back().strName, L"file-70000.txt");
}

TEST_F(HostileAnswerTest, AnswerCutShortIsATransferError) {
    service.Script(R"({"code":"0","fmodify":"2024-01-02 03:04:05","fsize":1})", {}, 200, 10);
    TSyncFile file = Record(L"a.txt");
    int result = CFileMgr(4).GetFileInfo(user, file);
    EXPECT_GE(result, 1);
    EXPECT_LE(result, 89);
    EXPECT_TRUE(file.strServerTime.empty());
}

// The listing is read while it arrives, so its reader may have taken every entry of a complete
// object before the transfer fails: what counts is how the transfer ended.
TEST_F(HostileAnswerTest, ListingCutShortIsATransferErrorEvenAfterACompleteObject) {
    const std::string listing =
        R"({"code":"0","total":2,"files":[{"fid":1,"fname":"a"},{"fid":2,"fname":"b"}]})";
    struct Case {
        const char* why;
        long cutAt;
    };
    const Case cases[] = {
        {"cut inside an entry", 40},
        {"cut after the object, in the blanks that follow it", long(listing.size()) + 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        service.Script(listing + std::string(100, ' '), {}, 200, c.cutAt);
        std::vector<TSyncFile> files(1);
        int result = CSyncMgr(4).GetFileListAll(user, files);
        EXPECT_GE(result, 1);
        EXPECT_LE(result, 89);
        EXPECT_EQ(files.size(), 1u);
    }
    service.Script(listing + std::string(100, ' '));
    std::vector<TSyncFile> files;
    EXPECT_EQ(CSyncMgr(4).GetFileListAll(user, files), 0);
    EXPECT_EQ(files.size(), 2u);
}

TEST_F(HostileAnswerTest, DownloadRefusedInItsHeaderLeavesTheLocalFileAlone) {
    struct Case {
        const char* why;
        const char* code;
        int result;
    };
    const Case cases[] = {
        {"a service code", "12", 8012},
        {"garbage", "oops", REST_BAD_ANSWER},
        {"a code that tries to close the object", "0}, {\"x\":1", REST_BAD_ANSWER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        WriteLocal("d.bin", "first 300 bytes");
        service.Script("an error page, not file data", {{"code", c.code}});
        TSyncFile file = Record(L"d.bin");
        EXPECT_EQ(CSyncMgr(0).FileDownload(user, SyncDir(), file), c.result);
        EXPECT_EQ(ReadLocal("d.bin"), "first 300 bytes");
    }
    service.Script("the rest", {{"code", "0"}});
    TSyncFile file = Record(L"d.bin");
    EXPECT_EQ(CSyncMgr(0).FileDownload(user, SyncDir(), file), 0);
    EXPECT_EQ(ReadLocal("d.bin"), "first 300 bytesthe rest");
}

TEST_F(HostileAnswerTest, LineBreaksInIdentityValuesCannotAddHeaders) {
    service.Script(R"({"code":"0"})");
    user.strToken = "token\r\nX-Injected: 1";
    TSyncFile file = Record(L"a.txt");
    ASSERT_EQ(CFileMgr(4).GetFileInfo(user, file), 0);
    httplib::Headers headers = service.LastHeaders();
    EXPECT_EQ(headers.count("X-Injected"), 0u);
    EXPECT_EQ(headers.find("ent_utoken")->second, "tokenX-Injected: 1");
}

TEST_F(HostileAnswerTest, HttpsRefusesACertificateItCannotVerify) {
    std::filesystem::path key = home.path() / "key.pem";
    std::filesystem::path certificate = home.path() / "cert.pem";
    ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
                           " -keyout '" +
                           key.string() + "' -out '" + certificate.string() + "' 2>/dev/null")
                              .c_str()),
              0);
    httplib::SSLServer tls(certificate.c_str(), key.c_str());
    std::atomic<bool> served{false};
    tls.Post(R"(/biz/.*)", [&](const httplib::Request&, httplib::Response& response) {
        served = true;
        response.set_content(R"({"code":"0"})", "application/json");
    });
    int port = tls.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { tls.listen_after_bind(); });
    ASSERT_EQ(CGlobalSetting().SetValue(
                  L"main", L"server", L"https://127.0.0.1:" + std::to_wstring(port), L"config.ini"),
              0);
    TSyncFile file = Record(L"a.txt");
    EXPECT_EQ(CFileMgr(4).GetFileInfo(user, file), CURLE_PEER_FAILED_VERIFICATION);
    std::vector<TSyncFile> files;
    EXPECT_EQ(CSyncMgr(4).GetFileListAll(user, files), CURLE_PEER_FAILED_VERIFICATION);
    EXPECT_FALSE(served);
    tls.stop();
    thread.join();
}

TEST_F(HostileAnswerTest, FreshSessionsShareOneConnection) {
    service.Script(R"({"code":"0","fmodify":"t","fsize":1})");
    for (bool sharing : {true, false}) {
        SCOPED_TRACE(sharing ? "sharing" : "not sharing");
        CHttpCommBase::SetConnectionSharing(sharing);
        size_t before = service.RemotePorts().size();
        for (int i = 0; i < 3; ++i) {
            TSyncFile file = Record(L"a.txt");
            ASSERT_EQ(CFileMgr(4).GetFileInfo(user, file), 0);
        }
        std::vector<int> ports = service.RemotePorts();
        std::set<int> distinct(ports.begin() + long(before), ports.end());
        EXPECT_EQ(distinct.size(), sharing ? 1u : 3u);
    }
    CHttpCommBase::SetConnectionSharing(true);
}

TEST_F(HostileAnswerTest, RequestOnWhichNothingMovesEndsWithTheTimeOutResult) {
    testing_support::ManualClock clock;
    const std::string content = PatternContent(300000);
    service.Script(content);
    WriteLocal("u.bin", content);
    CSyncMgr upload(0);
    CSyncMgr download(0);
    auto moved = [](const CSyncMgr& session, bool up, double bytes) {
        return [&session, up, bytes] {
            double sofar = 0;
            up ? session.GetUploadSize(sofar) : session.GetDownloadSize(sofar);
            return sofar >= bytes;
        };
    };
    struct Case {
        const char* why;
        long holdAt;
        std::function<int()> operation;
        // For a file transfer: true once its counters, and so the guard, have seen every byte
        // that moves before the stall.
        std::function<bool()> seenAll;
    };
    TSyncFile sent = Record(L"u.bin");
    TSyncFile fetched = Record(L"d.bin");
    std::string uid;
    std::vector<TSyncFile> files;
    const Case cases[] = {
        {"a form post never answered", CScriptedService::kHoldBeforeAnswer,
         [&] { return CFileMgr(4).GetFileInfo(user, sent); }, nullptr},
        {"an account request never answered", CScriptedService::kHoldBeforeAnswer,
         [&] { return CUserMgr(4).GetWebToken("1", "t", "2", uid); }, nullptr},
        {"an upload commit, which has its own far longer time-out",
         CScriptedService::kHoldBeforeAnswer,
         [&] { return CSyncMgr(4).UploadFile4Commit(user, sent); }, nullptr},
        {"file data sent whole, never answered", CScriptedService::kHoldBeforeAnswer,
         [&] { return upload.UploadFile3Put(user, SyncDir(), sent, "0"); },
         moved(upload, true, double(content.size()))},
        {"a download that stops halfway", 100000,
         [&] { return download.FileDownload(user, SyncDir(), fetched); },
         moved(download, false, 100000)},
        {"a listing that stops halfway, read while it arrives", 100000,
         [&] { return CSyncMgr(4).GetFileListAll(user, files); }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const size_t requests = service.RequestCount();
        const size_t stallLines = StallLines();
        service.Hold(c.holdAt);
        std::future<int> request = std::async(std::launch::async, c.operation);
        EXPECT_TRUE(service.WaitForRequests(requests + 1));
        if (c.seenAll) {
            EXPECT_TRUE(WaitUntil(c.seenAll, 10s));
        }
        EXPECT_NE(request.wait_for(0s), std::future_status::ready);
        EXPECT_EQ(EndByStall(request, [this] { service.Release(); }), CURLE_OPERATION_TIMEDOUT);
        EXPECT_EQ(StallLines(), stallLines + 1);
        service.Release();
    }
    EXPECT_TRUE(ReadLocal("d.bin") == content.substr(0, 100000));
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(CountOf(LogText(home.path()), "net work error = (28)"), 5u);
}

TEST_F(HostileAnswerTest, ConnectThatNeverCompletesEndsWithTheTimeOutResult) {
    // A listener nobody accepts from: once its backlog is full, the kernel drops further
    // connection attempts, so a connect hangs as it would towards a host that went away.
    httplib::Server silent;
    const int port = silent.bind_to_any_port("127.0.0.1");
    const std::string address = "http://127.0.0.1:" + std::to_string(port) + "/";
    std::vector<CURL*> fillers;
    CURLcode filled = CURLE_OK;
    while (filled == CURLE_OK && fillers.size() < 64) {
        CURL* filler = curl_easy_init();
        curl_easy_setopt(filler, CURLOPT_URL, address.c_str());
        curl_easy_setopt(filler, CURLOPT_CONNECT_ONLY, 1L);
        curl_easy_setopt(filler, CURLOPT_CONNECTTIMEOUT_MS, 300L);
        filled = curl_easy_perform(filler);
        fillers.push_back(filler);
    }
    ASSERT_EQ(filled, CURLE_OPERATION_TIMEDOUT) << "the backlog never filled";
    ASSERT_EQ(
        CGlobalSetting().SetValue(L"main", L"server", StringToWstring(address), L"config.ini"), 0);

    // Accepting, then stopping, is what closes the listener.
    std::thread listening;
    auto accept = [&] {
        if (!listening.joinable()) {
            listening = std::thread([&] { silent.listen_after_bind(); });
        }
    };

    testing_support::ManualClock clock;
    TSyncFile file = Record(L"a.txt");
    std::future<int> request =
        std::async(std::launch::async, [&] { return CFileMgr(4).GetFileInfo(user, file); });
    EXPECT_EQ(EndByStall(request, accept), CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(StallLines(), 1u);

    for (CURL* filler : fillers) {
        curl_easy_cleanup(filler);
    }
    accept();
    EXPECT_TRUE(WaitUntil([&] { return silent.is_running(); }, 10s));
    silent.stop();
    listening.join();
}

TEST_F(HostileAnswerTest, PausedDownloadIsNeverEndedAndCompletesAfterTheResume) {
    testing_support::ManualClock clock;
    const std::string content = PatternContent(300000);
    service.Script(content);
    service.Hold(100000);
    CSyncMgr session(0);
    TSyncFile file = Record(L"p.bin");
    std::future<int> download =
        std::async(std::launch::async, [&] { return session.FileDownload(user, SyncDir(), file); });
    EXPECT_TRUE(WaitUntil(
        [&] {
            double bytes = 0;
            session.GetDownloadSize(bytes);
            return bytes >= 100000;
        },
        10s));

    // Held from here on: the guard's clock stands while the manual clock runs far ahead.
    EXPECT_EQ(session.SessionPause(), 0);
    EXPECT_TRUE(WaitUntil(
        [&] { return LogText(home.path()).find("transfer paused") != std::string::npos; }, 10s));
    plat::Clock::Advance(CStallGuard::STALL_LIMIT * 10);
    EXPECT_NE(download.wait_for(0s), std::future_status::ready);

    EXPECT_EQ(session.SessionResume(), 0);
    service.Release();
    EXPECT_EQ(download.get(), 0);
    EXPECT_TRUE(ReadLocal("p.bin") == content);
    EXPECT_EQ(StallLines(), 0u);
}

}  // namespace
}  // namespace rest_test
