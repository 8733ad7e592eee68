// The engine's threads in one process: a control object with its task builder, task manager
// and transfer manager against a real sync directory, real tables and the reference service,
// driven by a stand-in for the client's message thread. The clock is manual: the tests move
// it for the 30-second tick, the 200 ms queue polls and the disk monitor's batching.

#include <dirent.h>

#include <chrono>
#include <thread>

#include "engine/SyncControl.h"
#include "engine/tests/EngineRig.h"
#include "store/SyncCodes.h"
#include "store/SyncFailArray.h"
#include "store/SyncTemporary.h"
#include "store/SyncingTaskArray.h"
#include "store/SystemInfoLD.h"
#include "store/UserInfoLD.h"
#include "store/tablestore/SystemInfo.h"
#include "store/tablestore/UserInfo.h"
#include "testing/LogText.h"
#include "testing/ManualClock.h"

namespace engine_test {
namespace {

using namespace std::chrono_literals;

std::size_t ThreadCount() {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++count;
    }
    return count;
}

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The disk monitor's tasks as the task builder logged them.
std::string DiskTasks(const std::string& log) {
    std::string tasks;
    std::size_t at = 0;
    while ((at = log.find("ONDirectionChangeArray():", at)) != std::string::npos) {
        const std::size_t end = log.find('\n', at);
        tasks += log.substr(at, std::min<std::size_t>(end - at, 400)) + "\n";
        at = end;
    }
    return tasks;
}

class EngineThreadsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(home.prepared, "");
        ResetStatus();
        CSyncTemporary::Get()->Clear();
        Service().ClearRequests();
    }
    void TearDown() override {
        // Waits of the ending threads (the resume's head start, the queue polls) on real time.
        plat::Clock::SetManual(false);
        control.reset();
        Service().Control("/admin/faults/clear", Json::objectValue);
    }

    // A status as a fresh process has it: idle, no flag set.
    static void ResetStatus() {
        CSyncStatus* status = CSyncStatus::Get();
        status->SetFlag(MSYNC_FLAG_PAUSE, false);
        for (SYNC_FLAG flag : {MSYNC_FLAG_NETSERVICE, MSYNC_FLAG_DISKCAUSE_SYNC,
                               MSYNC_FLAG_WAIT30S_SYNC, MSYNC_FLAG_SPACE_FULL, MSYNC_FLAG_FILE4G}) {
            status->SetFlag(flag, false);
        }
        status->SetStatus(MSYNC_STATE_IDLE, 1, OPEA_FLAG_QUIET);
        plat::WaitForSingleObject(status->GetSyncHandle(), 0);
    }

    void StartEngine() {
        control = std::make_unique<CSyncControl>();
        ASSERT_EQ(control->GetInitResult(), 0);
        control->SetUIThread(client.ThreadId());
        CSyncStatus::Get()->SetUIThread(client.ThreadId());
        ASSERT_EQ(control->Start(), 0);
        Post(MSG_THREAD_START);
    }
    void Post(plat::UINT message, plat::WPARAM wParam = 0, plat::LPARAM lParam = 0) {
        ASSERT_TRUE(plat::PostThreadMessage(control->GetThreadId(), message, wParam, lParam));
    }

    // Moves the clock in small steps until the condition holds (false after realTimeout).
    template <typename Condition>
    static bool Pump(Condition condition, std::chrono::milliseconds realTimeout = 60s) {
        return WaitUntil(
            [&condition] {
                if (condition()) {
                    return true;
                }
                plat::Clock::Advance(50ms);
                return false;
            },
            realTimeout);
    }
    // Nothing left to do and the three views agree.
    bool Settled() const {
        const SYNC_STATUS status = CSyncStatus::Get()->GetStatus();
        return CSyncingTaskArray::Get()->HasTask() == 0 && status != MSYNC_STATE_FIND &&
               status != MSYNC_STATE_SYNCING &&
               CSyncStatus::Get()->GetFlag(MSYNC_FLAG_DISKCAUSE_SYNC) == 0 && home.ViewsAgree();
    }
    void ExpectSettled() {
        EXPECT_TRUE(Pump([this] { return Settled(); })) << home.ViewsText();
    }
    std::string Log() const { return testing_support::LogText(home.home.path()); }

    CTaskBuilder& Builder() const { return control->TaskBuilderManager()->TaskBuilder(); }
    // Lets one 30-second tick compare, so that the next one is that far away.
    void AfterATick() {
        const unsigned ended = Builder().ComparisonsEnded();
        ASSERT_TRUE(Pump([&] { return Builder().ComparisonsEnded() > ended; }));
    }
    // A front end's MSG_SYNC_NOW; its request id.
    plat::LPARAM AskSyncNow() {
        const plat::LPARAM id = ++lastRequest;
        Post(MSG_SYNC_NOW, client.ThreadId(), id);
        return id;
    }
    // The result that MSG_SYNC_DONE gave for that request so far; -1 while none came.
    plat::LPARAM AnswerTo(plat::LPARAM id) {
        for (const plat::MSG& msg : client.Messages()) {
            if (msg.message == MSG_SYNC_DONE && msg.wParam == static_cast<plat::WPARAM>(id)) {
                return msg.lParam;
            }
        }
        return -1;
    }
    // The result that MSG_SYNC_DONE gives for that request (the clock moves until it comes);
    // -1 when none came.
    plat::LPARAM SyncDone(plat::LPARAM id) {
        plat::LPARAM result = -1;
        Pump([&] { return (result = AnswerTo(id)) != -1; });
        return result;
    }

    // Another device adds a folder with five files...
    void PutSharedFolder() const {
        Service().MakeFolder(home.account, "shared");
        for (int i = 0; i < 5; ++i) {
            Service().PutFile(home.account, "shared/f" + std::to_string(i) + ".txt",
                              PatternContent(3000 + i, 10 + i));
        }
    }
    // ...then edits the first, renames the second and deletes the third.
    void ChangeSharedFolder() const {
        Service().PutFile(home.account, "shared/f0.txt", PatternContent(9000, 20));
        Service().Control(
            "/admin/fs/rename",
            JsonObject({{"user", home.account}, {"path", "shared/f1.txt"}, {"name", "g1.txt"}}));
        Service().Control("/admin/fs/delete",
                          JsonObject({{"user", home.account}, {"path", "shared/f2.txt"}}));
    }

    testing_support::ManualClock clock;
    EngineHome home;
    CClientStandIn client;
    std::unique_ptr<CSyncControl> control;
    plat::LPARAM lastRequest = 0;
};

TEST_F(EngineThreadsTest, BootComparisonSyncsBothSidesAndTakesTheServiceAsReachable) {
    home.WriteLocal("local.txt", PatternContent(3000, 1));
    home.WriteLocal("docs/inner.txt", PatternContent(5000, 2));
    Service().MakeFolder(home.account, "remote");
    Service().PutFile(home.account, "remote/r.txt", PatternContent(7000, 3));
    Service().PutFile(home.account, "top.txt", "top");

    StartEngine();
    EXPECT_EQ(CSyncStatus::Get()->GetFlag(MSYNC_FLAG_NETSERVICE), 1) << "NetState is missing";
    ExpectSettled();
    EXPECT_EQ(testing_support::ReadWholeFile(home.Local("remote/r.txt")), PatternContent(7000, 3));
    EXPECT_NE(Log().find("Boot Cause offline task begin"), std::string::npos);
    EXPECT_GE(client.Count(MSG_SYNC_STATUS), 1u);
}

// A file table that cannot be read would make every synced item look new or deleted.
TEST_F(EngineThreadsTest, ADamagedFileTableKeepsTheEngineFromStarting) {
    home.WriteLocal("local.txt", "never compared against an empty table");
    const std::filesystem::path table =
        home.home.path() / "data" / "user" / home.account / "syncFile.db";
    std::error_code ec;
    for (const char* suffix : {"-wal", "-shm"}) {
        std::filesystem::remove(table.string() + suffix, ec);
    }
    testing_support::WriteWholeFile(table, std::string(8192, '\x5a'));
    control = std::make_unique<CSyncControl>();
    EXPECT_NE(control->GetInitResult(), 0);
    EXPECT_EQ(control->TaskBuilderManager(), nullptr) << "no thread was started";
    EXPECT_NE(Log().find("the engine does not start"), std::string::npos);
    EXPECT_TRUE(ListingView(home.account).empty());
}

TEST_F(EngineThreadsTest, NetStateZeroHoldsEverythingUntilTheServiceIsReported) {
    EngineHome::SetNetState(L"0");
    home.WriteLocal("waiting.txt", "waits for the service");
    StartEngine();
    EXPECT_EQ(CSyncStatus::Get()->GetFlag(MSYNC_FLAG_NETSERVICE), 0);
    // Two 30-second ticks pass without a comparison.
    for (int i = 0; i < 2; ++i) {
        testing_support::ManualClock::AdvanceWhenWaiting(1, 31s);
    }
    Pump([] { return false; }, 300ms);
    EXPECT_TRUE(ListingView(home.account).empty());

    Post(MSG_NET_SERVER, 0, 1);
    EXPECT_TRUE(Pump([this] { return ListingView(home.account).count("waiting.txt") == 1; }));
    EXPECT_EQ(CSyncStatus::Get()->GetFlag(MSYNC_FLAG_NETSERVICE), 1);
    ExpectSettled();
}

TEST_F(EngineThreadsTest, LocalChangesReachTheServiceWithoutTheTick) {
    StartEngine();
    ExpectSettled();
    struct Step {
        const char* why;
        std::function<void()> change;
    };
    const Step steps[] = {
        {"a new file", [&] { home.WriteLocal("new.txt", PatternContent(4096, 4)); }},
        {"a new folder with content",
         [&] { home.WriteLocal("folder/deep/f.txt", PatternContent(2000, 5)); }},
        {"an in-place edit",
         [&] { testing_support::WriteWholeFile(home.Local("new.txt"), PatternContent(5000, 6)); }},
        {"a rename",
         [&] { std::filesystem::rename(home.Local("new.txt"), home.Local("renamed.txt")); }},
        {"a move between folders",
         [&] {
             std::filesystem::rename(home.Local("folder/deep/f.txt"), home.Local("folder/f.txt"));
         }},
        {"a deletion", [&] { std::filesystem::remove(home.Local("renamed.txt")); }},
        {"a folder deletion", [&] { std::filesystem::remove_all(home.Local("folder")); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.why);
        step.change();
        ExpectSettled();
    }
    EXPECT_TRUE(ListingView(home.account).empty()) << home.ViewsText();
    // The clock passes some ticks meanwhile, but the changes went the disk monitor's way.
    EXPECT_GE(CountOf(Log(), "Get Disk task begin"), 4u);
}

TEST_F(EngineThreadsTest, ServiceChangesArriveOnTheTick) {
    StartEngine();
    ExpectSettled();
    PutSharedFolder();
    Service().ClearRequests();
    // Only the 30-second tick looks at the service (ServerWatchTest shows when it comes).
    const std::size_t ticks = CountOf(Log(), "30S offline task begin");
    ExpectSettled();
    EXPECT_GT(CountOf(Log(), "30S offline task begin"), ticks);

    // Changes on the service of what is synced: edit, rename, delete.
    ChangeSharedFolder();
    Service().ClearRequests();
    ExpectSettled();
    EXPECT_EQ(testing_support::ReadWholeFile(home.Local("shared/f0.txt")),
              PatternContent(9000, 20));
    EXPECT_TRUE(std::filesystem::exists(home.Local("shared/g1.txt")));
    EXPECT_FALSE(std::filesystem::exists(home.Local("shared/f2.txt")));
}

// The engine's own downloads, renames and deletions must not come back as uploads, renames or
// deletions, even once the queue has drained and the server temporary set was emptied before
// the watcher's notifications passed the filter chain.
TEST_F(EngineThreadsTest, NoEchoOfServiceChangesGoesBack) {
    StartEngine();
    ExpectSettled();
    PutSharedFolder();
    ExpectSettled();
    ChangeSharedFolder();
    Service().ClearRequests();
    ExpectSettled();
    // Let the watcher's notifications of the engine's own changes pass, with a tick or two.
    Pump([] { return false; }, 2s);
    ExpectSettled();
    for (const char* endpoint : {"/upload/", "/file/rename", "/file/rm", "/file/mkdir"}) {
        EXPECT_EQ(CountRequests(endpoint), 0) << endpoint << " echoed back\n" << DiskTasks(Log());
    }
}

TEST_F(EngineThreadsTest, PauseHoldsLocalChangesUntilResume) {
    StartEngine();
    ExpectSettled();
    Post(MSG_SETTING_PAUSESYNC);
    ASSERT_TRUE(Pump([] { return CSyncStatus::Get()->GetFlag(MSYNC_FLAG_PAUSE) == 1; }));
    // The pause reaches the task builder after the control thread: wait for its log line.
    home.WriteLocal("paused.txt", "written while paused");
    testing_support::ManualClock::AdvanceWhenWaiting(1, 31s);
    Pump([] { return false; }, 1s);
    EXPECT_EQ(ListingView(home.account).count("paused.txt"), 0u);

    Post(MSG_SETTING_RESUMESYNC);
    EXPECT_TRUE(Pump([this] { return ListingView(home.account).count("paused.txt") == 1; }));
    EXPECT_TRUE(
        Pump([this] { return Log().find("CTaskBuilder::Resume() end") != std::string::npos; }));
    ExpectSettled();
    EXPECT_NE(Log().find("CSyncControl::Resume() MSG_SETTING_RESUMESYNC"), std::string::npos);
}

TEST_F(EngineThreadsTest, EachControlMessageHasItsEffect) {
    StartEngine();
    ExpectSettled();

    Post(MSG_SETTING_MAXSPEED, 100, 200);
    EXPECT_TRUE(Pump([] {
        const SystemInfo info = CSystemInfoLD::Get()->GetSystemInfo();
        return info.strUSpeed == "100" && info.strDSpeed == "200";
    }));

    struct Reply {
        const char* why;
        plat::UINT request;
        plat::WPARAM wParam;
        plat::UINT reply;
    };
    const Reply replies[] = {
        {"speeds", MSG_GET_SPEED, 0, MSG_SPEED},
        {"mean speeds", MSG_GET_MEANSPEED, 0, MSG_MEANSPEED},
        {"priority of a task not queued", MSG_ADJUST_PRIORITY, 7, MSG_ADJUST_PRIORITY_RESULT},
        {"a path too long goes on to the client", MSG_ERR_FILEPATH_TOOLONG, 3,
         MSG_ERR_FILEPATH_TOOLONG},
        {"space full goes on to the client", MSG_ERR_SPACE_FULL, 0, MSG_ERR_SPACE_FULL},
        {"a file over 4 GB goes on to the client", MSG_ERR_FILE4G, 0, MSG_ERR_FILE4G},
    };
    for (const Reply& row : replies) {
        SCOPED_TRACE(row.why);
        const std::size_t before = client.Count(row.reply);
        Post(row.request, row.wParam, 0);
        EXPECT_TRUE(Pump([&] { return client.Count(row.reply) > before; }));
        EXPECT_EQ(client.Last(row.reply).wParam,
                  row.wParam == 0 ? client.Last(row.reply).wParam : row.wParam);
    }
    EXPECT_EQ(client.Last(MSG_ADJUST_PRIORITY_RESULT).lParam, 0) << "no task is queued";

    struct Net {
        plat::LPARAM lParam;
        int reachable;
    };
    for (const Net& row : {Net{0, 0}, Net{2, 0}, Net{1, 1}}) {
        SCOPED_TRACE(row.lParam);
        Post(MSG_NET_SERVER, 5, row.lParam);
        EXPECT_TRUE(Pump(
            [&] { return CSyncStatus::Get()->GetFlag(MSYNC_FLAG_NETSERVICE) == row.reachable; }));
    }

    // Reloads: the system table's sync directory and the stored account are read again.
    {
        CSystemInfo config;
        ASSERT_EQ(config.ConnectDB(), 0);
        ASSERT_EQ(config.SetConfig("USpeed", L"55"), 0);
        config.Disconnect();
    }
    Post(MSG_SETTING_SYSTEM);
    EXPECT_TRUE(Pump([] { return CSystemInfoLD::Get()->GetSystemInfo().strUSpeed == "55"; }));

    // A changed folder choice runs a comparison at once.
    const std::size_t comparisons = CountOf(Log(), "Disk Cause offline task begin");
    Service().PutFile(home.account, "after-folders.txt", "x");
    Post(MSG_SETTING_SYNCFOLDER);
    EXPECT_TRUE(
        Pump([&] { return CountOf(Log(), "Disk Cause offline task begin") > comparisons; }));
    ExpectSettled();
}

// The client changed a setting or the account and stored it; the message makes the engine read
// it again.
TEST_F(EngineThreadsTest, ReloadMessagesReadTheStoredSettingsAgain) {
    StartEngine();
    ExpectSettled();
    auto storeConfig = [](const char* key, const std::wstring& value) {
        CSystemInfo config;
        ASSERT_EQ(config.ConnectDB(), 0);
        ASSERT_EQ(config.SetConfig(key, value), 0);
        config.Disconnect();
    };
    auto storeWebToken = [](const std::string& token) {
        CUserInfo table;
        UserInfo user;
        ASSERT_EQ(table.ConnectDB(), 0);
        ASSERT_EQ(table.GetUserInfo(user), 0);
        user.strWebToken = token;
        ASSERT_EQ(table.SetUserInfo(user), 0);
        table.Disconnect();
    };
    struct Row {
        const char* why;
        plat::UINT message;
        std::function<void()> store;
        std::function<bool()> taken;
    };
    const Row rows[] = {
        {"system settings, second form", MSG_SETTING_SYSTEM2, [&] { storeConfig("DSpeed", L"77"); },
         [] { return CSystemInfoLD::Get()->GetSystemInfo().strDSpeed == "77"; }},
        {"the account", MSG_SETTING_USER, [&] { storeWebToken("first web token"); },
         [] { return CUserInfoLD::Get()->GetUserInfo().strWebToken == "first web token"; }},
        {"the account, second form", MSG_SETTING_USER2, [&] { storeWebToken("second web token"); },
         [] { return CUserInfoLD::Get()->GetUserInfo().strWebToken == "second web token"; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        row.store();
        EXPECT_FALSE(row.taken()) << "read before the message";
        Post(row.message);
        EXPECT_TRUE(Pump(row.taken));
    }
    // The account read again still syncs.
    home.WriteLocal("after-reload.txt", "still syncing");
    ExpectSettled();
}

// The client keeps the user's pause in the system table; an engine started meanwhile (after a
// crash, by the client's watchdog) must not sync until the user resumes.
TEST_F(EngineThreadsTest, AStoredPauseHoldsTheEngineFromItsStart) {
    {
        CSystemInfo config;
        ASSERT_EQ(config.ConnectDB(), 0);
        ASSERT_EQ(config.SetConfig("Stop", L"1"), 0);
        config.Disconnect();
    }
    home.WriteLocal("waits.txt", "for the resume");
    Service().PutFile(home.account, "remote.txt", "waits too");
    StartEngine();
    EXPECT_EQ(CSyncStatus::Get()->GetFlag(MSYNC_FLAG_PAUSE), 1);
    EXPECT_TRUE(Pump(
        [this] { return Log().find("init return for MSYNC_FLAG_PAUSE") != std::string::npos; }));
    // Two 30-second periods pass (no server watch waits on them: it starts with the resume).
    for (int i = 0; i < 2; ++i) {
        plat::Clock::Advance(31s);
        Pump([] { return false; }, 300ms);
    }
    EXPECT_TRUE(ListingView(home.account).count("waits.txt") == 0) << home.ViewsText();
    EXPECT_FALSE(std::filesystem::exists(home.Local("remote.txt")));

    Post(MSG_SETTING_RESUMESYNC);
    EXPECT_TRUE(Pump([this] { return ListingView(home.account).count("waits.txt") == 1; }));
    ExpectSettled();
    EXPECT_TRUE(std::filesystem::exists(home.Local("remote.txt")));
}

// The worker reports a drained queue; before the control thread reads the report, new tasks
// are being transferred and an in-place edit has asked for a disk-caused comparison. The late
// report must not drop that request: the comparison follows the new tasks' own report.
TEST_F(EngineThreadsTest, ALateDrainReportKeepsTheDiskCausedComparison) {
    home.WriteLocal("edited.txt", "as synced");
    StartEngine();
    ExpectSettled();
    // The upload of a new file is held at the service while the rest happens.
    Service().AddFault("/ent/file/upload/put", "delay", JsonObject({{"delay_ms", 5000}}));
    home.WriteLocal("new.txt", "being uploaded");
    ASSERT_TRUE(Pump([] {
        return CSyncingTaskArray::Get()->HasTask() != 0 &&
               CSyncStatus::Get()->GetStatus() == MSYNC_STATE_SYNCING;
    }));
    testing_support::WriteWholeFile(home.Local("edited.txt"), "edited in place");
    ASSERT_TRUE(Pump([] { return CSyncStatus::Get()->GetFlag(MSYNC_FLAG_DISKCAUSE_SYNC) == 1; }));
    const std::size_t reports = CountOf(Log(), "MSG_SYNC_COMPLETE_ALL");
    const std::size_t comparisons = CountOf(Log(), "Disk Cause offline task begin");
    ASSERT_NE(CSyncingTaskArray::Get()->HasTask(), 0) << "the upload ended too soon";
    Post(MSG_SYNC_COMPLETE_ALL);
    ASSERT_TRUE(WaitUntil([&] { return CountOf(Log(), "MSG_SYNC_COMPLETE_ALL") > reports; }));
    EXPECT_EQ(CSyncStatus::Get()->GetFlag(MSYNC_FLAG_DISKCAUSE_SYNC), 1) << "request dropped";
    // Without moving the clock (no 30-second tick): the comparison follows the upload.
    EXPECT_TRUE(WaitUntil(
        [&] { return CountOf(Log(), "Disk Cause offline task begin") > comparisons; }, 20s));
    ExpectSettled();
    EXPECT_EQ(Service().ReadFile(home.account, "edited.txt"), "edited in place");
}

// A comparison asked for is done once every task it queued has run. The control messages
// that clear the queue (the folder choice changed, the service was reported back) drop the
// tasks waiting behind a running download: the queue is empty, but they did not run.
TEST_F(EngineThreadsTest, ASyncRequestIsDoneOnlyOnceItsTasksRan) {
    StartEngine();
    ExpectSettled();
    PutSharedFolder();
    EXPECT_EQ(SyncDone(AskSyncNow()), SYNC_DONE_OK);
    EXPECT_TRUE(home.ViewsAgree()) << home.ViewsText();

    struct Clearing {
        const char* why;
        plat::UINT message;
        plat::LPARAM lParam;
    };
    const Clearing rows[] = {
        {"the folder choice changed", MSG_SETTING_SYNCFOLDER, 0},
        {"the service was reported back", MSG_NET_SERVER, 1},
    };
    int round = 0;
    for (const Clearing& row : rows) {
        SCOPED_TRACE(row.why);
        AfterATick();
        const std::string folder = "round" + std::to_string(++round);
        Service().MakeFolder(home.account, folder);
        for (int i = 0; i < 3; ++i) {
            Service().PutFile(home.account, folder + "/f" + std::to_string(i) + ".txt",
                              PatternContent(2000 + i, round));
        }
        // The first download is held at the service; the others wait behind it.
        Service().AddFault("/ent/file/download", "delay", JsonObject({{"delay_ms", 3000}}));
        const int downloads = CountRequests("/file/download");
        const plat::LPARAM id = AskSyncNow();
        ASSERT_TRUE(Pump([&] { return CountRequests("/file/download") > downloads; }));
        Post(row.message, 5, row.lParam);
        EXPECT_EQ(SyncDone(id), SYNC_DONE_DROPPED);
        ExpectSettled();
    }
}

// A comparison asked for while the service is taken as unreachable is answered from the
// client's next report, not from the one before it: the service may have come back since.
TEST_F(EngineThreadsTest, ASyncRequestWithoutTheServiceWaitsForTheNextReport) {
    EngineHome::SetNetState(L"0");
    StartEngine();
    struct Row {
        const char* why;
        int report;  // the next MSG_NET_SERVER's lParam; -1: none comes
        plat::LPARAM result;
    };
    const Row rows[] = {
        {"the next poll fails too", 0, SYNC_DONE_OFFLINE},
        {"no report comes", -1, SYNC_DONE_OFFLINE},
        {"the service answers again", 1, SYNC_DONE_OK},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        home.WriteLocal(std::string(row.why) + ".txt", row.why);
        const auto asked = plat::Clock::Now();
        const plat::LPARAM id = AskSyncNow();
        ASSERT_TRUE(Pump([&] { return plat::Clock::Now() - asked >= 5s; }));
        EXPECT_EQ(AnswerTo(id), -1) << "answered from the report before the request";
        if (row.report >= 0) {
            Post(MSG_NET_SERVER, 0, row.report);
        }
        EXPECT_EQ(SyncDone(id), row.result);
        if (row.report < 0) {
            EXPECT_GE(plat::Clock::Now() - asked,
                      plat::Clock::Duration(CSyncControl::kOfflineReportWaitMs));
        }
    }
    EXPECT_EQ(ListingView(home.account).size(), 3u) << home.ViewsText();
    ExpectSettled();
}

// Space full: the upload that met it has its fail entry, and the uploads queued behind it are
// dropped until the 30-second sync. The request's comparison is held at the service while
// the new files' uploads meet the full space.
TEST_F(EngineThreadsTest, ASyncRequestWhoseUploadsMeetAFullSpaceIsNotDone) {
    StartEngine();
    ExpectSettled();
    Service().Control("/admin/account", JsonObject({{"user", home.account}, {"quota", 1000}}));
    AfterATick();
    Service().AddFault("/ent/synch/modify", "delay", JsonObject({{"delay_ms", 3000}}));
    const int listings = CountRequests("/synch/modify");
    const unsigned begun = Builder().ComparisonsBegun();
    const plat::LPARAM id = AskSyncNow();
    ASSERT_TRUE(Pump([&] { return Builder().ComparisonsBegun() > begun; }));
    ASSERT_TRUE(WaitUntil([&] { return CountRequests("/synch/modify") > listings; }));
    for (int i = 0; i < 3; ++i) {
        home.WriteLocal("big" + std::to_string(i) + ".bin", PatternContent(5000, i));
    }
    EXPECT_EQ(SyncDone(id), SYNC_DONE_DROPPED);
    std::vector<SyncFail> fails;
    CSyncFailArray::Get()->GetFialTask(fails);
    EXPECT_LT(fails.size(), 3u) << "every upload ran";

    // With space again, the 30-second sync's comparison serves the request: every upload is
    // through when it is answered.
    Service().Control("/admin/account", JsonObject({{"user", home.account}, {"quota", 1 << 30}}));
    EXPECT_EQ(SyncDone(AskSyncNow()), SYNC_DONE_OK);
    EXPECT_TRUE(home.ViewsAgree()) << home.ViewsText();
}

TEST_F(EngineThreadsTest, ResumeStatueReportsSyncedWhenTheQueueIsEmpty) {
    StartEngine();
    ExpectSettled();
    Post(MSG_SETTING_PAUSESYNC);
    ASSERT_TRUE(Pump([] { return CSyncStatus::Get()->GetFlag(MSYNC_FLAG_PAUSE) == 1; }));
    // Paused in the middle of a transfer: the status stayed SYNCING.
    CSyncStatus::Get()->SetFlag(MSYNC_FLAG_PAUSE, false);
    CSyncStatus::Get()->SetStatus(MSYNC_STATE_SYNCING, 1, OPEA_FLAG_QUIET);
    CSyncStatus::Get()->SetFlag(MSYNC_FLAG_PAUSE, true);
    const std::size_t before = client.Count(MSG_SYNC_COMPLETE_ALL);
    Post(MSG_SETTING_RESUMESYNC);
    EXPECT_TRUE(Pump([&] { return client.Count(MSG_SYNC_COMPLETE_ALL) > before; }));
    EXPECT_NE(CSyncStatus::Get()->GetStatus(), MSYNC_STATE_SYNCING);
    ExpectSettled();
}

// The task callback on its own (no engine thread runs that could change the status meanwhile).
TEST_F(EngineThreadsTest, EmptyTaskListTurnsOnlyFindIntoIdle) {
    CSyncStatus* status = CSyncStatus::Get();
    status->SetUIThread(client.ThreadId());
    ASSERT_TRUE(WaitUntil([this] { return client.Count(MSG_SYNC_STATUS) == 1; }));
    for (SYNC_STATUS before : {MSYNC_STATE_IDLE, MSYNC_STATE_SYNCED, MSYNC_STATE_FIND}) {
        SCOPED_TRACE(before);
        status->SetStatus(before, 1, OPEA_FLAG_QUIET);
        const std::size_t messages = client.Messages().size();
        CSyncControl::ProcNotifyTask({}, 1);
        if (before == MSYNC_STATE_FIND) {
            EXPECT_EQ(status->GetStatus(), MSYNC_STATE_IDLE);
            EXPECT_TRUE(WaitUntil([&] { return client.Messages().size() == messages + 1; }));
        } else {
            EXPECT_EQ(status->GetStatus(), before);
            std::this_thread::sleep_for(50ms);
            EXPECT_EQ(client.Messages().size(), messages);
        }
    }
}

// While the engine was stopped, another device moved a synchronised folder to where the user
// has since made a folder of that name with a new file: the two merge on both sides, and the
// new file goes up into the moved folder.
TEST_F(EngineThreadsTest, AFolderMovedOntoANewLocalFolderMergesWithIt) {
    home.WriteLocal("a/in/f.txt", PatternContent(1000, 1));
    StartEngine();
    ExpectSettled();
    control.reset();

    Service().Control("/admin/fs/move",
                      JsonObject({{"user", home.account}, {"path", "a/in"}, {"to", ""}}));
    home.WriteLocal("in/mine.txt", PatternContent(2000, 2));
    ResetStatus();
    StartEngine();
    ExpectSettled();
    EXPECT_FALSE(std::filesystem::exists(home.Local("a/in")));
    EXPECT_EQ(testing_support::ReadWholeFile(home.Local("in/f.txt")), PatternContent(1000, 1));
    EXPECT_EQ(Service().ReadFile(home.account, "in/mine.txt"), PatternContent(2000, 2));
    EXPECT_EQ(client.Count(MSG_TASK_FAILED), 0u) << "the upload did not wait for its folder";
}

// Deletions of everything synced wait for the client's confirmation, on either side.
TEST_F(EngineThreadsTest, MassDeletionIsHeldUntilTheClientReleasesIt) {
    for (int i = 0; i < 4; ++i) {
        home.WriteLocal("keep" + std::to_string(i) + ".txt", PatternContent(1000 + i, i));
    }
    StartEngine();
    ExpectSettled();
    control.reset();

    // While the engine is stopped, every local file goes (a volume that lost its content).
    for (int i = 0; i < 4; ++i) {
        std::filesystem::remove(home.Local("keep" + std::to_string(i) + ".txt"));
    }
    ResetStatus();
    StartEngine();
    EXPECT_TRUE(Pump([this] { return client.Count(MSG_DELETIONS_HELD) >= 1; }));
    EXPECT_EQ(client.Last(MSG_DELETIONS_HELD).wParam, 4u);
    // A few ticks later the service still has every file.
    for (int i = 0; i < 3; ++i) {
        testing_support::ManualClock::AdvanceWhenWaiting(1, 31s);
        Pump([] { return false; }, 200ms);
    }
    EXPECT_EQ(ListingView(home.account).size(), 4u);

    Post(MSG_RELEASE_DELETIONS);
    EXPECT_TRUE(Pump([this] { return ListingView(home.account).empty(); }));
    ExpectSettled();
}

// The client stores the limits the user sets but tells only a running engine; an engine
// started later (at login, after a crash) keeps to them from its first transfer. In unlimited
// mode the typed limits stay stored and hold nothing.
struct TStoredLimits {
    const char* name;
    const wchar_t* mode;  // "SetSpeed"
    const wchar_t* upload;
    const wchar_t* download;
    bool bUpload;  // the transfer watched
    bool bHeld;
};

class StoredSpeedLimitTest : public EngineThreadsTest,
                             public ::testing::WithParamInterface<TStoredLimits> {};

TEST_P(StoredSpeedLimitTest, HoldsTheFirstTransferOfTheEngine) {
    const TStoredLimits& row = GetParam();
    {
        CSystemInfo config;
        ASSERT_EQ(config.ConnectDB(), 0);
        ASSERT_EQ(config.SetConfig("SetSpeed", row.mode), 0);
        ASSERT_EQ(config.SetConfig("USpeed", row.upload), 0);
        ASSERT_EQ(config.SetConfig("DSpeed", row.download), 0);
        config.Disconnect();
    }
    const std::string content = PatternContent(1 << 20, 31);
    if (row.bUpload) {
        home.WriteLocal("big.bin", content);
    } else {
        Service().PutFile(home.account, "big.bin", content);
    }
    auto arrived = [&] {
        return row.bUpload ? ListingView(home.account).count("big.bin") == 1
                           : std::filesystem::exists(home.Local("big.bin"));
    };
    StartEngine();
    const char* transfer = row.bUpload ? "/ent/file/upload/put" : "/ent/file/download";
    ASSERT_TRUE(Pump([&] { return CountRequests(transfer) >= 1; })) << home.ViewsText();
    // From here the clock stands still: a limited transfer waits for its next second without
    // end, an unlimited one needs no clock.
    if (row.bHeld) {
        WaitUntil([] { return false; }, 1500ms);
        EXPECT_FALSE(arrived()) << "1 MiB passed at 1 KiB/s without the clock moving";
        Post(MSG_SETTING_MAXSPEED, 0, 0);
    } else {
        EXPECT_TRUE(WaitUntil(arrived, 30s));
    }
    ExpectSettled();
    EXPECT_TRUE(testing_support::ReadWholeFile(home.Local("big.bin")) == content);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, StoredSpeedLimitTest,
    ::testing::Values(TStoredLimits{"UploadLimit", L"1", L"1", L"0", true, true},
                      TStoredLimits{"DownloadLimit", L"1", L"0", L"1", false, true},
                      TStoredLimits{"OnlyTheOtherDirectionLimited", L"1", L"0", L"1", true, false},
                      TStoredLimits{"UnlimitedModeWithTypedLimits", L"0", L"1", L"1", false,
                                    false}),
    [](const ::testing::TestParamInfo<TStoredLimits>& info) { return info.param.name; });

TEST_F(EngineThreadsTest, ShutdownEndsEveryThread) {
    const std::size_t threadsBefore = ThreadCount();
    home.WriteLocal("a.txt", "a");
    StartEngine();
    ExpectSettled();
    const auto started = std::chrono::steady_clock::now();
    control.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= threadsBefore; }, 5s))
        << ThreadCount() << " threads, " << threadsBefore << " before the engine";
    // The queue and the tables stay for the next start.
    EXPECT_EQ(TableView().count("a.txt"), 1u);
}

}  // namespace
}  // namespace engine_test
