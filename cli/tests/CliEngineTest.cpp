// The front end with the real engine: `run` in the background (its engine the real tandrix)
// and the short commands beside it, against the reference service. Scenarios end with the
// content on both sides compared; `sync --wait` is what each step waits on.

#include <algorithm>

#include "cli/tests/CliRig.h"
#include "platform/Window.h"
#include "store/tablestore/DbBase.h"

namespace cli_test {
namespace {

class CliEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(home.Prepare(), "");
        CDbBase::SetAccount(home.account);
        Service().Control("/admin/faults/clear", Json::objectValue);
    }
    void TearDown() override {
        if (run) {
            run->Signal(SIGTERM);
            EXPECT_EQ(run->Wait(30s), 0) << run->Out() << run->Err();
        }
        Service().Control("/admin/faults/clear", Json::objectValue);
    }
    void StartRun(std::vector<std::string> extra = {}) {
        run = home.StartRun(std::move(extra));
        ASSERT_TRUE(home.WaitForEngine()) << run->Out() << run->Err();
    }
    // sync --wait, expected to succeed.
    void SyncWait() {
        const TCliResult result = home.Cli({"sync", "--wait", "--timeout", "120"});
        ASSERT_EQ(result.code, 0) << result.out << result.err;
        ASSERT_EQ(result.out, "synced\n");
    }
    bool RunSaid(const std::string& text) const {
        return WaitUntil([&] { return run->Out().find(text) != std::string::npos; }, 30s);
    }

    CliHome home;
    std::unique_ptr<CCliProcess> run;
};

TEST_F(CliEngineTest, SyncWaitReturnsOnceLocalAndServiceChangesAreThrough) {
    home.WriteLocal("a.txt", "alpha");
    home.WriteLocal("docs/b.bin", testing_support::PatternContent(300000, 7));
    StartRun();
    SyncWait();
    EXPECT_EQ(home.ServiceText("a.txt"), "alpha");
    EXPECT_EQ(home.ServiceText("docs/b.bin"), testing_support::PatternContent(300000, 7));
    EXPECT_TRUE(RunSaid("done: " + home.Local("a.txt").string() + "\tupload"));

    struct Step {
        const char* why;
        std::function<void()> change;
        std::function<void()> check;
    };
    const Step steps[] = {
        {"a file added on the service", [&] { home.PutOnService("c.txt", "from afar"); },
         [&] { EXPECT_EQ(testing_support::ReadWholeFile(home.Local("c.txt")), "from afar"); }},
        {"a file changed on the service", [&] { home.PutOnService("a.txt", "alpha two"); },
         [&] { EXPECT_EQ(testing_support::ReadWholeFile(home.Local("a.txt")), "alpha two"); }},
        {"a file changed locally", [&] { home.WriteLocal("c.txt", "changed here"); },
         [&] { EXPECT_EQ(home.ServiceText("c.txt"), "changed here"); }},
        {"a file deleted locally", [&] { std::filesystem::remove(home.Local("a.txt")); },
         [&] { EXPECT_FALSE(home.OnService("a.txt")); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.why);
        step.change();
        SyncWait();
        step.check();
    }
    const TCliResult status = home.Cli({"status"});
    EXPECT_EQ(status.code, 0);
    EXPECT_TRUE(status.out == "synced (0 queued, 0 failed)\n" ||
                status.out == "idle (0 queued, 0 failed)\n")
        << status.out;
    EXPECT_EQ(home.Cli({"queue"}).out, "");
    const std::string completed = home.Cli({"completed"}).out;
    EXPECT_NE(completed.find(home.Local("docs/b.bin").string() + "\tupload\n"), std::string::npos)
        << completed;
    EXPECT_NE(completed.find(home.Local("c.txt").string() + "\tdownload\n"), std::string::npos)
        << completed;
    EXPECT_NE(completed.find(home.Local("a.txt").string() + "\tdelete on the service\n"),
              std::string::npos)
        << completed;
}

TEST_F(CliEngineTest, NothingMovesWhilePaused) {
    StartRun();
    SyncWait();
    const TCliResult pause = home.Cli({"pause"});
    ASSERT_EQ(pause.code, 0) << pause.err;
    EXPECT_EQ(home.State(), "paused");
    EXPECT_EQ(StoredConfig("Stop"), L"1");
    home.WriteLocal("while-paused.txt", "wait");
    home.PutOnService("remote.txt", "also waits");
    const TCliResult sync = home.Cli({"sync", "--wait", "--timeout", "30"});
    EXPECT_EQ(sync.code, 2);
    EXPECT_NE(sync.err.find("paused"), std::string::npos) << sync.err;
    EXPECT_FALSE(WaitUntil([&] { return home.OnService("while-paused.txt"); }, 3s));
    EXPECT_FALSE(std::filesystem::exists(home.Local("remote.txt")));

    const TCliResult resume = home.Cli({"resume"});
    ASSERT_EQ(resume.code, 0) << resume.err;
    EXPECT_EQ(StoredConfig("Stop"), L"0");
    SyncWait();
    EXPECT_EQ(home.ServiceText("while-paused.txt"), "wait");
    EXPECT_EQ(testing_support::ReadWholeFile(home.Local("remote.txt")), "also waits");
}

TEST_F(CliEngineTest, LimitsFollowTheSettingsRules) {
    StartRun();
    struct Row {
        const char* why;
        std::vector<std::string> args;
        std::wstring up, down, custom;
        std::string says;
    };
    const Row rows[] = {
        {"both limits",
         {"--up", "64", "--down", "32"},
         L"64",
         L"32",
         L"1",
         "upload: 64 KiB/s, download: 32 KiB/s"},
        {"one limit keeps the other",
         {"--down", "0"},
         L"64",
         L"0",
         L"1",
         "upload: 64 KiB/s, download: no limit"},
        {"no limits",
         {"--up", "0", "--down", "0"},
         L"0",
         L"0",
         L"0",
         "upload: no limit, download: no limit"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        std::vector<std::string> args{"limit"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const TCliResult result = home.Cli(args);
        EXPECT_EQ(result.code, 0) << result.err;
        EXPECT_EQ(result.out, row.says + "\n");
        EXPECT_TRUE(WaitUntil([&] { return StoredConfig("USpeed") == row.up; }, 10s));
        EXPECT_EQ(StoredConfig("DSpeed"), row.down);
        EXPECT_EQ(StoredConfig("SetSpeed"), row.custom);
    }
}

// A failure counts for as long as its item still fails: also when it came before the
// request (the write's own upload can fail before the request reaches the engine, and the
// comparison does not try it again while the space is full), and no longer once the file is
// through, though the fail list keeps the entry.
TEST_F(CliEngineTest, FailedTasksAreListedAndMakeSyncWaitFail) {
    StartRun();
    Service().Control("/admin/account", JsonObject({{"user", home.account}, {"quota", 1000}}));
    home.WriteLocal("too-big.bin", testing_support::PatternContent(50000, 3));
    const std::string line = home.Local("too-big.bin").string() + "\tupload\t";
    for (const char* when : {"the sync that saw it fail", "a sync after the failure"}) {
        SCOPED_TRACE(when);
        const TCliResult sync = home.Cli({"sync", "--wait", "--timeout", "120"});
        EXPECT_EQ(sync.code, 1) << sync.out << sync.err;
        EXPECT_EQ(sync.out.rfind("failed: " + line, 0), 0u) << sync.out;
        EXPECT_EQ(std::count(sync.out.begin(), sync.out.end(), '\n'), 1) << sync.out;
        EXPECT_NE(sync.err.find("1 tasks failed"), std::string::npos) << sync.err;
    }
    const std::vector<std::string> failed = Lines(home.Cli({"failed"}).out);
    ASSERT_EQ(failed.size(), 1u) << "each retry on the 30-second tick replaces the entry";
    EXPECT_EQ(failed[0].rfind(line, 0), 0u) << failed[0];
    EXPECT_NE(failed[0].find("(9005)"), std::string::npos) << failed[0];
    const std::string status = home.Cli({"status"}).out;
    EXPECT_NE(status.find(" (0 queued, " + std::to_string(failed.size()) + " failed)\n"),
              std::string::npos)
        << status;
    EXPECT_TRUE(RunSaid("failed: " + line));
    EXPECT_TRUE(RunSaid("problem: the account's space is full"));

    Service().Control("/admin/account", JsonObject({{"user", home.account}, {"quota", 1 << 30}}));
    SyncWait();
    EXPECT_EQ(home.ServiceText("too-big.bin"), testing_support::PatternContent(50000, 3));
    EXPECT_TRUE(Lines(home.Cli({"failed"}).out).empty()) << "the upload's success clears it";
}

TEST_F(CliEngineTest, HeldMassDeletionGoesAheadOnceConfirmed) {
    for (const char* name : {"one.txt", "two.txt", "three.txt"}) {
        home.WriteLocal(name, name);
    }
    StartRun();
    SyncWait();
    EXPECT_EQ(home.Cli({"confirm-deletions"}).out, "no deletions are held\n");
    // Deleted while no engine watches: the start-up comparison finds them all gone.
    run->Signal(SIGTERM);
    ASSERT_EQ(run->Wait(30s), 0);
    for (const char* name : {"one.txt", "two.txt", "three.txt"}) {
        std::filesystem::remove(home.Local(name));
    }
    StartRun();
    SyncWait();
    EXPECT_EQ(home.State(), "held");
    EXPECT_TRUE(home.OnService("one.txt")) << "nothing is deleted unconfirmed";
    EXPECT_TRUE(RunSaid("problem: 3 deletions are held"));
    const TCliResult confirm = home.Cli({"confirm-deletions"});
    EXPECT_EQ(confirm.code, 0) << confirm.err;
    EXPECT_NE(confirm.out.find("confirmed 3 held deletions"), std::string::npos) << confirm.out;
    SyncWait();
    for (const char* name : {"one.txt", "two.txt", "three.txt"}) {
        EXPECT_FALSE(home.OnService(name)) << name;
    }
    EXPECT_NE(home.State(), "held");
}

TEST_F(CliEngineTest, StatusFollowsTheServiceGoingAndComingBack) {
    StartRun();
    SyncWait();
    Service().Control("/admin/faults",
                      JsonObject({{"endpoint", "*"}, {"kind", "drop"}, {"count", 100000}}));
    EXPECT_TRUE(WaitUntil([&] { return home.State() == "offline"; }, 30s));
    EXPECT_TRUE(RunSaid("problem: the service cannot be reached"));
    const TCliResult sync = home.Cli({"sync", "--wait", "--timeout", "30"});
    EXPECT_EQ(sync.code, 2) << sync.err;
    EXPECT_NE(sync.err.find("the service cannot be reached"), std::string::npos) << sync.err;
    // Asked for before the front end's next poll has seen the service back: the answer waits
    // for that poll instead of repeating the one before.
    Service().Control("/admin/faults/clear", Json::objectValue);
    home.WriteLocal("after.txt", "after the fault");
    SyncWait();
    EXPECT_EQ(home.ServiceText("after.txt"), "after the fault");
    EXPECT_NE(home.State(), "offline");
    EXPECT_TRUE(RunSaid("the service is reachable again"));
}

TEST_F(CliEngineTest, OnlyOneFrontEndAtATime) {
    StartRun({"--quiet"});
    const TCliResult second = home.Cli({"run"});
    EXPECT_EQ(second.code, 1);
    EXPECT_NE(second.err.find("front end"), std::string::npos) << second.err;
    EXPECT_EQ(home.Cli({"status"}).code, 0) << "the first one still runs";
    home.WriteLocal("quiet.txt", "q");
    SyncWait();
    EXPECT_EQ(run->Out(), "") << "--quiet prints only problems";
}

TEST_F(CliEngineTest, AKilledEngineIsStartedAgain) {
    StartRun();
    std::vector<pid_t> engines = run->Children();
    ASSERT_EQ(engines.size(), 1u);
    ::kill(engines[0], SIGKILL);
    EXPECT_TRUE(RunSaid("the engine had ended; it was started again"));
    EXPECT_TRUE(WaitUntil(
        [&] {
            const std::vector<pid_t> now = run->Children();
            return now.size() == 1 && now[0] != engines[0];
        },
        30s));
    ASSERT_TRUE(home.WaitForEngine());
    home.WriteLocal("after.txt", "again");
    SyncWait();
    EXPECT_EQ(home.ServiceText("after.txt"), "again");
}

TEST_F(CliEngineTest, SigtermDuringATransferAndARestartThatFinishesIt) {
    const std::string content = testing_support::PatternContent(2000000, 5);
    home.WriteLocal("big.bin", content);
    Service().Control("/admin/faults", JsonObject({{"endpoint", "/ent/file/upload/put"},
                                                   {"kind", "delay"},
                                                   {"delay_ms", 4000},
                                                   {"count", 1}}));
    StartRun();
    EXPECT_TRUE(WaitUntil([&] { return home.State() == "syncing"; }, 60s));
    EXPECT_EQ(home.Cli({"queue"}).out, home.Local("big.bin").string() + "\tupload\n");
    CCliProcess waiting(home.work, {"sync", "--wait", "--timeout", "120"});
    run->Signal(SIGTERM);
    EXPECT_EQ(run->Wait(30s), 0) << run->Out() << run->Err();
    run.reset();
    EXPECT_EQ(waiting.Wait(30s), 2) << "a sync waiting on the engine that ended";
    EXPECT_EQ(Lines(waiting.Err()).size(), 1u) << waiting.Err();
    EXPECT_EQ(plat::FindWindow(L"Ostrand"), nullptr);
    EXPECT_EQ(home.Cli({"status"}).code, 3);

    Service().Control("/admin/faults/clear", Json::objectValue);
    StartRun();
    SyncWait();
    EXPECT_EQ(home.ServiceText("big.bin"), content);
}

TEST_F(CliEngineTest, ANewFolderRestartsTheEngineOnIt) {
    StartRun();
    SyncWait();
    const auto other = home.home.path() / "other";
    const TCliResult folder = home.Cli({"folder", other.string()});
    EXPECT_EQ(folder.code, 0) << folder.err;
    EXPECT_TRUE(RunSaid("the engine had ended; it was started again"));
    ASSERT_TRUE(home.WaitForEngine());
    testing_support::WriteWholeFile(other / "there.txt", "new place");
    SyncWait();
    EXPECT_EQ(home.ServiceText("there.txt"), "new place");
}

TEST_F(CliEngineTest, LogoutEndsTheRun) {
    StartRun();
    home.WriteLocal("stays.txt", "here");
    SyncWait();
    const TCliResult logout = home.Cli({"logout"});
    EXPECT_EQ(logout.code, 0) << logout.err;
    EXPECT_EQ(run->Wait(30s), 0) << run->Out();
    EXPECT_NE(run->Out().find("the account was logged out"), std::string::npos);
    run.reset();
    EXPECT_EQ(testing_support::ReadWholeFile(home.Local("stays.txt")), "here");
    EXPECT_EQ(plat::FindWindow(L"Ostrand"), nullptr);
}

}  // namespace
}  // namespace cli_test
