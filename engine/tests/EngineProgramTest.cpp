// The real tandrix program, started as the desktop client starts it (its message thread id as
// the only argument, the environment of the client), against the reference service. Each
// scenario ends with the three views compared: disk, listing and table.

#include "engine/tests/EngineProgramRig.h"

namespace engine_test {
namespace {

using EngineProgramTest = EngineProgramRig;

TEST_F(EngineProgramTest, EntryRefusesWhatItCannotRun) {
    struct Row {
        const char* why;
        std::vector<std::string> args;
    };
    const Row rows[] = {
        {"no command line", {}},
        {"an empty command line", {""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        CEngineProcess engine(row.args);
        EXPECT_EQ(engine.Wait(20s), 0);
    }
    EXPECT_EQ(plat::FindWindow(L"Ostrand"), nullptr);

    auto first = StartEngine();
    CEngineProcess second(client->ThreadId());
    EXPECT_EQ(second.Wait(20s), 0) << "a second engine";
    EXPECT_TRUE(first->Running());
    EXPECT_NE(plat::FindWindow(L"Ostrand"), nullptr);
    EndEngine(*first);
}

TEST_F(EngineProgramTest, WithoutAStoredAccountTheEngineDoesNotStart) {
    // A home of its own, where no client has stored anything.
    testing_support::TempHome empty;
    CEngineProcess engine(client->ThreadId());
    EXPECT_EQ(engine.Wait(20s), 0);
}

TEST_F(EngineProgramTest, RefusesASyncDirectoryThatHoldsItsOwnFolders) {
    CSystemInfo config;
    ASSERT_EQ(config.ConnectDB(), 0);
    ASSERT_EQ(config.SetConfig("SyncDir", StringToWstring(home.home.path().string())), 0);
    config.Disconnect();
    auto engine = StartEngine();
    EXPECT_TRUE(WaitUntil([this] { return client->Count(MSG_ERR_SYNCDIR_REFUSED) == 1; }, 20s));
    EXPECT_TRUE(engine->Running()) << "waits for the client instead of being restarted";
    EXPECT_NE(Log().find("refused to sync"), std::string::npos);
    EXPECT_TRUE(ListingView(home.account).empty());
    EndEngine(*engine);
}

TEST_F(EngineProgramTest, SyncsBothSidesAcrossPauseAndRestart) {
    home.WriteLocal("a.txt", PatternContent(4096, 1));
    home.WriteLocal("dir/b.txt", PatternContent(5000, 2));
    home.WriteLocal("conflict.txt", "as first synced");
    Service().MakeFolder(home.account, "sdir");
    Service().PutFile(home.account, "sdir/t.txt", PatternContent(6000, 3));
    Service().PutFile(home.account, "s.txt", PatternContent(2000, 4));
    auto engine = StartEngine();
    ASSERT_TRUE(Agree()) << home.ViewsText();

    // Live changes on the disk.
    home.WriteLocal("new.txt", PatternContent(4096, 5));
    testing_support::WriteWholeFile(home.Local("a.txt"), PatternContent(8000, 6));
    std::filesystem::rename(home.Local("dir/b.txt"), home.Local("dir/b2.txt"));
    std::filesystem::create_directories(home.Local("moved"));
    std::filesystem::rename(home.Local("sdir/t.txt"), home.Local("moved/t.txt"));
    ASSERT_TRUE(WaitUntil([this] {
        return ListingView(home.account).count("moved/t.txt") == 1 &&
               ListingView(home.account)["a.txt"] == GetFileMd5(home.Local("a.txt").string());
    }));
    ASSERT_TRUE(Agree()) << home.ViewsText();

    // Pause holds a change back until resume.
    PostToEngine(MSG_SETTING_PAUSESYNC);
    ASSERT_TRUE(WaitUntil([this] { return Log().find("Set Pause = 1") != std::string::npos; }));
    home.WriteLocal("paused.txt", "written while paused");
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(ListingView(home.account).count("paused.txt"), 0u);
    PostToEngine(MSG_SETTING_RESUMESYNC);
    ASSERT_TRUE(Agree()) << home.ViewsText();
    EXPECT_EQ(ListingView(home.account).count("paused.txt"), 1u);
    EndEngine(*engine);

    // Offline changes on both sides, the same file on both.
    testing_support::WriteWholeFile(home.Local("conflict.txt"), "changed locally");
    Service().PutFile(home.account, "conflict.txt", "changed on the service");
    Service().Control("/admin/fs/rename",
                      JsonObject({{"user", home.account}, {"path", "s.txt"}, {"name", "s2.txt"}}));
    Service().Control("/admin/fs/delete",
                      JsonObject({{"user", home.account}, {"path", "moved/t.txt"}}));
    std::filesystem::remove(home.Local("new.txt"));
    home.WriteLocal("offline.txt", "made while the engine was stopped");
    engine = StartEngine();
    ASSERT_TRUE(Agree()) << home.ViewsText();
    const TView disk = DiskView(home.syncDir);
    EXPECT_EQ(testing_support::ReadWholeFile(home.Local("conflict.txt")), "changed on the service");
    int localVersions = 0;
    for (const auto& [path, md5] : disk) {
        localVersions += path != "conflict.txt" && testing_support::ReadWholeFile(
                                                       home.Local(path)) == "changed locally"
                             ? 1
                             : 0;
    }
    EXPECT_EQ(localVersions, 1) << "the local version survives under another name\n"
                                << home.ViewsText();
    EXPECT_EQ(disk.count("s2.txt"), 1u);
    EXPECT_EQ(disk.count("moved/t.txt"), 0u);
    EXPECT_EQ(disk.count("new.txt"), 0u);

    // A change on the service while the engine runs comes with the 30-second tick.
    Service().PutFile(home.account, "live.txt", "from another device");
    EXPECT_TRUE(WaitUntil([this] { return std::filesystem::exists(home.Local("live.txt")); }, 45s));
    ASSERT_TRUE(Agree()) << home.ViewsText();
    EndEngine(*engine);
}

TEST_F(EngineProgramTest, KilledDuringAnUploadResumesAfterRestart) {
    auto engine = StartEngine();
    ASSERT_TRUE(Agree());
    PostToEngine(MSG_SETTING_MAXSPEED, 256, 0);
    // The limit goes through the control thread to the transfer manager.
    std::this_thread::sleep_for(300ms);
    const std::string content = PatternContent(3 << 20, 9);
    home.WriteLocal("big.bin", content);
    ASSERT_TRUE(WaitUntil([] { return CountRequests("/upload/put") >= 1; }, 60s));
    std::this_thread::sleep_for(1500ms);
    engine->Kill(SIGKILL);
    EXPECT_EQ(engine->Wait(10s), 128 + SIGKILL);
    EXPECT_EQ(ListingView(home.account).count("big.bin"), 0u) << "killed before the end";

    engine = StartEngine();
    ASSERT_TRUE(Agree(120s)) << home.ViewsText();
    EXPECT_EQ(Service().ReadFile(home.account, "big.bin"), content);
    EndEngine(*engine);
}

}  // namespace
}  // namespace engine_test
