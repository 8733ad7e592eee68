// The real tandrix program through what goes wrong around it: killed in the middle of its work,
// the service stopped and started again, a listing that would delete everything, names in the
// listing that must not become paths, and a crash. Comparisons are asked for with the
// client's folder-choice message, so that no scenario waits for the 30-second tick. Each ends
// with the three views compared.

#include <sqlite3.h>

#include <set>

#include "engine/tests/EngineProgramRig.h"
#include "store/SyncCodes.h"
#include "store/tablestore/SystemInfo.h"

namespace engine_test {
namespace {

namespace fs = std::filesystem;

// Everything below the sync directory, hidden items included: "a/b" of each.
std::set<std::string> AllNames(const fs::path& syncDir) {
    std::set<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(syncDir, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        names.insert(it->path().lexically_relative(syncDir).string());
    }
    return names;
}

// The download partial files (".corvena-<id>.part") below the sync directory, by name.
std::set<std::string> PartialFiles(const fs::path& syncDir) {
    std::set<std::string> partials;
    for (const std::string& name : AllNames(syncDir)) {
        const std::string leaf = fs::path(name).filename().string();
        if (leaf.rfind(".corvena-", 0) == 0 && leaf.ends_with(".part")) {
            partials.insert(name);
        }
    }
    return partials;
}

void SetSystemConfig(const char* key, const std::wstring& value) {
    CSystemInfo config;
    ASSERT_EQ(config.ConnectDB(), 0);
    ASSERT_EQ(config.SetConfig(key, value), 0);
    config.Disconnect();
}

// Gives a service entry a name the service's own interface refuses, in its metadata file,
// where the service reads it back from.
void NameInServiceMetadata(std::int64_t id, const std::string& name) {
    const fs::path meta = Service().DataDir() / "meta.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(meta.c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 10000);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, "UPDATE entries SET name = ? WHERE id = ?", -1, &statement, nullptr),
        SQLITE_OK);
    sqlite3_bind_text(statement, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(statement, 2, id);
    EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE);
    sqlite3_finalize(statement);
    EXPECT_EQ(sqlite3_changes(db), 1);
    sqlite3_close(db);
}

class EngineScenarioTest : public EngineProgramRig {
  protected:
    void TearDown() override {
        Service().Start();
        Service().Control("/admin/faults/clear", Json::objectValue);
    }

    // The client's folder-choice message: the engine compares at once. Returns how many
    // comparisons of that kind had begun before, for WaitCompared.
    std::size_t CompareNow() const {
        const std::size_t before = CountInLog("Disk Cause offline task begin");
        PostToEngine(MSG_SETTING_SYNCFOLDER);
        return before;
    }
    // True once a comparison begun after CompareNow has ended.
    bool WaitCompared(std::size_t before, std::chrono::milliseconds timeout = 60s) const {
        return WaitUntil([&] { return CountInLog("Disk Cause offline  task end") > before; },
                         timeout);
    }
    std::size_t CountInLog(const std::string& part) const {
        const std::string log = Log();
        std::size_t count = 0;
        for (std::size_t at = log.find(part); at != std::string::npos;
             at = log.find(part, at + 1)) {
            ++count;
        }
        return count;
    }
    // Disk, listing and table agree and the service's side is in: a comparison asked for
    // after the changes has ended.
    bool ComparedAndAgree(std::chrono::milliseconds timeout = 90s) const {
        return WaitCompared(CompareNow(), timeout) && Agree(timeout);
    }
};

TEST_F(EngineScenarioTest, KilledDuringADownloadLosesNothingAndPlacesNoPart) {
    home.WriteLocal("local.txt", "made here");
    auto engine = StartEngine();
    ASSERT_TRUE(Agree()) << home.ViewsText();

    // 256 KB/s down: the file below takes some seconds, the kill lands in the middle.
    PostToEngine(MSG_SETTING_MAXSPEED, 0, 256);
    const std::string content = PatternContent(4 << 20, 21);
    Service().PutFile(home.account, "big.bin", content);
    Service().PutFile(home.account, "small.txt", "comes too");
    CompareNow();
    ASSERT_TRUE(WaitUntil(
        [this] {
            for (const std::string& part : PartialFiles(home.syncDir)) {
                if (fs::file_size(home.Local(part)) > 0) {
                    return true;
                }
            }
            return false;
        },
        60s))
        << "no download began";
    engine->Kill(SIGKILL);
    EXPECT_EQ(engine->Wait(10s), 128 + SIGKILL);
    EXPECT_FALSE(fs::exists(home.Local("big.bin"))) << "a part under the file's own name";
    EXPECT_EQ(ListingView(home.account).count("local.txt"), 1u);

    engine = StartEngine();
    ASSERT_TRUE(Agree(120s)) << home.ViewsText();
    EXPECT_TRUE(testing_support::ReadWholeFile(home.Local("big.bin")) == content);
    EXPECT_EQ(testing_support::ReadWholeFile(home.Local("small.txt")), "comes too");
    EXPECT_TRUE(PartialFiles(home.syncDir).empty());
    EXPECT_EQ(CountRequests("/upload/commit"), 1) << "only local.txt went up";
    EndEngine(*engine);
}

TEST_F(EngineScenarioTest, KilledDuringAComparisonLosesNothing) {
    home.WriteLocal("edited.txt", "first");
    home.WriteLocal("goes.txt", "deleted on the service later");
    home.WriteLocal("dir/stays.txt", PatternContent(3000, 1));
    auto engine = StartEngine();
    ASSERT_TRUE(Agree()) << home.ViewsText();
    EndEngine(*engine);

    // Changes on both sides while the engine was stopped.
    testing_support::WriteWholeFile(home.Local("edited.txt"), "edited while stopped");
    home.WriteLocal("dir/new-local.txt", PatternContent(5000, 2));
    Service().PutFile(home.account, "new-remote.txt", PatternContent(6000, 3));
    Service().Control("/admin/fs/delete",
                      JsonObject({{"user", home.account}, {"path", "goes.txt"}}));
    // The start-up comparison waits for the listing long enough to be killed in the middle.
    Service().AddFault("/ent/synch/modify", "delay",
                       JsonObject({{"delay_ms", 3000}, {"count", 1}}));
    const std::size_t ended = CountInLog("Boot Cause offline task end");
    engine = StartEngine();
    ASSERT_TRUE(WaitUntil([this] { return CountRequests("/ent/synch/modify") >= 1; }, 60s));
    EXPECT_EQ(CountInLog("Boot Cause offline task end"), ended) << "the comparison had ended";
    engine->Kill(SIGKILL);
    EXPECT_EQ(engine->Wait(10s), 128 + SIGKILL);
    Service().Control("/admin/faults/clear", Json::objectValue);

    engine = StartEngine();
    ASSERT_TRUE(Agree(120s)) << home.ViewsText();
    EXPECT_EQ(Service().ReadFile(home.account, "edited.txt"), "edited while stopped");
    EXPECT_EQ(Service().ReadFile(home.account, "dir/new-local.txt"), PatternContent(5000, 2));
    EXPECT_EQ(testing_support::ReadWholeFile(home.Local("new-remote.txt")),
              PatternContent(6000, 3));
    EXPECT_FALSE(fs::exists(home.Local("goes.txt")));
    EXPECT_TRUE(fs::exists(home.Local("dir/stays.txt")));
    EndEngine(*engine);
}

TEST_F(EngineScenarioTest, ServiceStoppedAndStartedAgainConverges) {
    home.WriteLocal("a.txt", "a");
    home.WriteLocal("edit.txt", "before");
    home.WriteLocal("gone.txt", "deleted while the service is down");
    auto engine = StartEngine();
    ASSERT_TRUE(Agree()) << home.ViewsText();

    Service().Stop();
    // A change the engine tries to send before anyone noticed the service had gone.
    home.WriteLocal("early.txt", "written as the service went down");
    ASSERT_TRUE(WaitUntil([this] { return CountInLog("early.txt") > 0; }, 30s));
    // The client's poll notices, stores it and tells the engine.
    SetSystemConfig("NetState", L"0");
    PostToEngine(MSG_NET_SERVER, 0, 0);
    ASSERT_TRUE(WaitUntil([this] { return CountInLog("MSG_NET_SERVER = (0)") > 0; }, 30s));
    testing_support::WriteWholeFile(home.Local("edit.txt"), "edited while the service was down");
    fs::remove(home.Local("gone.txt"));
    home.WriteLocal("offline/new.txt", PatternContent(4000, 7));
    EXPECT_TRUE(engine->Running());

    // Back, with a change of another device made before the engine hears of it.
    Service().Start();
    Service().PutFile(home.account, "remote.txt", "from another device");
    SetSystemConfig("NetState", L"1");
    PostToEngine(MSG_NET_SERVER, 0, 1);
    ASSERT_TRUE(Agree(120s)) << home.ViewsText();
    const TView listing = ListingView(home.account);
    EXPECT_EQ(listing.count("early.txt"), 1u);
    EXPECT_EQ(listing.count("offline/new.txt"), 1u);
    EXPECT_EQ(listing.count("gone.txt"), 0u);
    EXPECT_EQ(Service().ReadFile(home.account, "edit.txt"), "edited while the service was down");
    EXPECT_EQ(testing_support::ReadWholeFile(home.Local("remote.txt")), "from another device");
    EXPECT_TRUE(engine->Running());
    EndEngine(*engine);
}

// Seed 53: the comparison takes a folder renamed while the engine was stopped for a deletion
// and a new folder. Another device added to the folder meanwhile, so it stays on the service
// with what was added; the file the user took along with the rename does not come back there.
TEST_F(EngineScenarioTest, AFolderRenamedWhileStoppedKeepsOnlyWhatTheServiceAddedToIt) {
    home.WriteLocal("keep.txt", "stays");
    home.WriteLocal("d3/f1.txt", "taken along");
    auto engine = StartEngine();
    ASSERT_TRUE(Agree()) << home.ViewsText();
    EndEngine(*engine);

    Service().PutFile(home.account, "d3/f3.bin", "added by another device");
    fs::rename(home.Local("d3"), home.Local("d0"));
    engine = StartEngine();
    // The next comparison brings down what stayed.
    ASSERT_TRUE(
        WaitUntil([this] { return CountInLog("Not deleted on the service = (.\\d3)") > 0; }, 60s));
    ASSERT_TRUE(ComparedAndAgree()) << home.ViewsText();
    const TView listing = ListingView(home.account);
    EXPECT_EQ(listing.count("d0/f1.txt"), 1u);
    EXPECT_EQ(listing.count("d3/f3.bin"), 1u);
    EXPECT_EQ(listing.count("d3/f1.txt"), 0u) << home.ViewsText();
    EXPECT_FALSE(fs::exists(home.Local("d3/f1.txt")));
    EndEngine(*engine);
}

TEST_F(EngineScenarioTest, AListingThatWouldDeleteEverythingWaitsForTheClient) {
    struct Row {
        const char* why;
        bool bStopped;  // the service is emptied while the engine is stopped
    };
    const Row rows[] = {{"emptied while the engine runs", false},
                        {"emptied while the engine was stopped", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const std::vector<std::string> files = {"one.txt", "two.txt", "three.txt", "four.txt"};
        for (std::size_t i = 0; i < files.size(); ++i) {
            home.WriteLocal(files[i], PatternContent(1000 + i, static_cast<unsigned char>(i)));
        }
        auto engine = StartEngine();
        ASSERT_TRUE(Agree()) << home.ViewsText();
        const std::size_t heldBefore = client->Count(MSG_DELETIONS_HELD);
        if (row.bStopped) {
            EndEngine(*engine);
        }
        for (const std::string& file : files) {
            Service().Control("/admin/fs/delete",
                              JsonObject({{"user", home.account}, {"path", file}}));
        }
        if (row.bStopped) {
            engine = StartEngine();
        } else {
            CompareNow();
        }
        ASSERT_TRUE(WaitUntil([&] { return client->Count(MSG_DELETIONS_HELD) > heldBefore; }, 60s));
        EXPECT_EQ(client->Last(MSG_DELETIONS_HELD).wParam, files.size());
        // Another comparison holds them again; nothing was deleted meanwhile.
        ASSERT_TRUE(WaitCompared(CompareNow()));
        EXPECT_TRUE(WaitUntil([&] { return client->Count(MSG_DELETIONS_HELD) > heldBefore + 1; }));
        for (const std::string& file : files) {
            EXPECT_TRUE(fs::exists(home.Local(file))) << file;
        }
        EXPECT_EQ(TableView().size(), files.size());

        PostToEngine(MSG_RELEASE_DELETIONS);
        ASSERT_TRUE(WaitUntil([&] { return DiskView(home.syncDir).empty(); }, 60s))
            << home.ViewsText();
        ASSERT_TRUE(Agree()) << home.ViewsText();
        for (const std::string& file : files) {
            EXPECT_TRUE(fs::exists(testing_support::TrashHome::Trash() / "files" / file))
                << file << " went to the trash";
        }
        EndEngine(*engine);
        fs::remove_all(testing_support::TrashHome::Trash());
    }
}

TEST_F(EngineScenarioTest, HostileNamesInTheListingStayInsideTheSyncDirectory) {
    const fs::path outside = home.home.path() / "outside";
    fs::create_directories(outside);
    // A link in the sync directory that leads out of it, and a folder of that name on the
    // service with a file in it.
    fs::create_directories(home.syncDir);
    fs::create_directory_symlink(outside, home.Local("link"));
    Service().MakeFolder(home.account, "link");
    Service().PutFile(home.account, "link/through.txt", "must not leave the sync directory");
    Service().PutFile(home.account, "good.txt", "fine");
    Service().MakeFolder(home.account, "gooddir");
    Service().PutFile(home.account, "gooddir/inner.txt", "fine too");

    const std::string tooLong = std::string(300, 'n') + ".txt";
    struct Row {
        const char* why;
        std::string name;
        bool bFolder;
    };
    const Row rows[] = {
        {"the parent", "..", true},
        {"the folder itself", ".", true},
        {"an absolute path", "/tmp/corvena-escape-" + std::to_string(getpid()), false},
        {"a path through the parent", "../escape.txt", false},
        {"a backslash", "..\\escape.txt", false},
        {"a control character", std::string("ctl\x01.txt"), false},
        {"a NUL byte", std::string("nul\0.txt", 8), false},
        {"a line break", "line\nbreak.txt", false},
        {"a name longer than the file system takes", tooLong, false},
    };
    int i = 0;
    std::int64_t controlId = 0;
    for (const Row& row : rows) {
        const std::string placeholder = "hostile" + std::to_string(i++);
        const std::int64_t id = row.bFolder ? Service().MakeFolder(home.account, placeholder)
                                            : Service().PutFile(home.account, placeholder, row.why);
        if (row.bFolder) {
            Service().PutFile(home.account, placeholder + "/below.txt", "below a hostile folder");
        }
        NameInServiceMetadata(id, row.name);
        if (std::string(row.why) == "a control character") {
            controlId = id;
        }
    }

    auto engine = StartEngine();
    ASSERT_TRUE(WaitUntil([this] { return fs::exists(home.Local("gooddir/inner.txt")); }, 60s));
    ASSERT_TRUE(WaitCompared(CompareNow()));

    // Only the usable names arrived, and nothing outside the sync directory was touched.
    EXPECT_TRUE(fs::is_empty(outside)) << "written through the link";
    EXPECT_TRUE(fs::is_symlink(home.Local("link"))) << "the user's link stays";
    EXPECT_FALSE(fs::exists("/tmp/corvena-escape-" + std::to_string(getpid())));
    EXPECT_FALSE(fs::exists(home.home.path() / "escape.txt"));
    EXPECT_FALSE(fs::exists(home.home.path() / "below.txt"));
    std::set<std::string> expected = {"good.txt", "gooddir", "gooddir/inner.txt", "link"};
    EXPECT_EQ(AllNames(home.syncDir), expected);
    EXPECT_EQ(testing_support::ReadWholeFile(home.Local("good.txt")), "fine");
    // The three views agree on what could be synced.
    auto usable = [](const TView& view) {
        TView kept;
        for (const auto& [path, what] : view) {
            if (path.rfind("good", 0) == 0) {
                kept[path] = what;
            }
        }
        return kept;
    };
    const TView table = TableView();
    EXPECT_EQ(table, usable(DiskView(home.syncDir))) << home.ViewsText();
    EXPECT_EQ(table, usable(ListingView(home.account))) << home.ViewsText();
    EXPECT_EQ(table.size(), 3u) << ViewText(table);

    // The file that would have gone through the link and the name the file system refuses are
    // fail entries; the client hears of the name too long.
    std::set<std::string> failed;
    for (const SyncFail& fail : FailEntries()) {
        failed.insert(Slashed(fail.tComand.tSyncFile.strRelativePath));
    }
    EXPECT_EQ(failed.count("link/through.txt"), 1u);
    EXPECT_EQ(failed.count(tooLong), 1u);
    EXPECT_GE(client->Count(MSG_ERR_FILEPATH_TOOLONG), 1u);
    // Each name that cannot be a local name is in the list of what was not synchronised, shown
    // so that it is no path, once however many comparisons meet it.
    const std::string bad = "\xEF\xBF\xBD";  // U+FFFD
    const std::multiset<std::string> unusable = {
        bad + bad,
        bad,
        bad + "tmp" + bad + "corvena-escape-" + std::to_string(getpid()),
        ".." + bad + "escape.txt",
        ".." + bad + "escape.txt",
        "ctl" + bad + ".txt",
        "nul" + bad + ".txt",
        "line" + bad + "break.txt",
    };
    auto unusableListed = [] {
        std::multiset<std::string> listed;
        for (const SyncFail& fail : FailEntries()) {
            if (fail.errcode == SYNC_FAIL_UNUSABLE_NAME) {
                listed.insert(Slashed(fail.tComand.tSyncFile.strRelativePath));
            }
        }
        return listed;
    };
    EXPECT_EQ(unusableListed(), unusable);
    ASSERT_TRUE(WaitCompared(CompareNow()));
    EXPECT_EQ(unusableListed(), unusable);
    // Renamed on the service to a usable name, the file comes down and leaves the list.
    NameInServiceMetadata(controlId, "ctl-renamed.txt");
    ASSERT_TRUE(WaitCompared(CompareNow()));
    EXPECT_TRUE(WaitUntil([this] { return fs::exists(home.Local("ctl-renamed.txt")); }, 60s));
    std::multiset<std::string> left = unusable;
    left.erase(left.find("ctl" + bad + ".txt"));
    EXPECT_EQ(unusableListed(), left);
    EXPECT_NE(Log().find("Server entry name cannot be a local name, left out"), std::string::npos);
    EXPECT_TRUE(engine->Running());
    // The service keeps every entry: nothing was deleted or renamed because of the names.
    EXPECT_EQ(CountRequests("/ent/file/rm"), 0);
    EXPECT_EQ(CountRequests("/ent/file/rename"), 0);
    EXPECT_EQ(CountRequests("/upload/commit"), 0);
    EndEngine(*engine);
}

// A crash ends the process through the platform layer's handler, which leaves its report in
// the day's log folder; a new engine starts after it and syncs.
TEST_F(EngineScenarioTest, ACrashWritesItsReportAndTheNextEngineStarts) {
    struct Row {
        const char* why;
        int signal;
        const char* name;
        const char* after;  // a file made after the crash
    };
    const Row rows[] = {{"a segmentation fault", SIGSEGV, "(SIGSEGV)", "after-segv.txt"},
                        {"an abort", SIGABRT, "(SIGABRT)", "after-abort.txt"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        auto engine = StartEngine();
        ASSERT_TRUE(Agree()) << home.ViewsText();
        const pid_t pid = engine->Pid();
        engine->Kill(row.signal);
        EXPECT_EQ(engine->Wait(20s), 128 + row.signal);
        fs::path report;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(plat::StateDir() / "log", ec)) {
            if (entry.path().filename().string().ends_with("-" + std::to_string(pid) + ".crash")) {
                report = entry.path();
            }
        }
        ASSERT_FALSE(report.empty()) << "no report of process " << pid;
        const std::string text = testing_support::ReadWholeFile(report);
        EXPECT_NE(text.find(row.name), std::string::npos) << text;
        EXPECT_NE(text.find("backtrace:"), std::string::npos) << text;

        home.WriteLocal(row.after, "made after the crash");
        engine = StartEngine();
        ASSERT_TRUE(Agree()) << home.ViewsText();
        EndEngine(*engine);
    }
}

}  // namespace
}  // namespace engine_test
