#include "engine/DirectoryChangeWatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/Utility.h"
#include "engine/DelayedNotificationThread.h"
#include "engine/tests/WatchTestSupport.h"
#include "testing/InotifyLimit.h"
#include "testing/TempHome.h"

namespace fs = std::filesystem;
using watch_test::CHeldWatcher;
using watch_test::WriteFile;
using Lines = std::vector<std::string>;

namespace {

constexpr plat::DWORD kEngineFilter = plat::FILE_NOTIFY_CHANGE_FILE_NAME |
                                      plat::FILE_NOTIFY_CHANGE_DIR_NAME |
                                      plat::FILE_NOTIFY_CHANGE_LAST_WRITE;  // 0x13
// How long a test waits for a notification before it fails; deliveries take milliseconds.
constexpr auto kPatience = std::chrono::seconds(20);

// Records each notification as a line of text, paths relative to the watched tree, and the
// threads they arrived on.
class CRecordingHandler : public CDirectoryChangeHandler {
  public:
    explicit CRecordingHandler(const fs::path& root) : m_root(root.string()) {}

    void FileAdded(const std::wstring& p) override { Record("added " + Rel(p)); }
    void FileRemoved(const std::wstring& p) override { Record("removed " + Rel(p)); }
    void FileRenamed(const std::wstring& a, const std::wstring& b) override {
        Record("renamed " + Rel(a) + " -> " + Rel(b));
    }
    void FileModified(const std::wstring& p) override { Record("modified " + Rel(p)); }
    void ReadError(plat::DWORD e, const std::wstring& dir) override {
        Record("read error " + std::to_string(e) + " " + WstringToString(dir));
    }
    void WatchStarted(plat::DWORD e, const std::wstring&) override {
        Record("started " + std::to_string(e));
    }
    void WatchStopped(const std::wstring& dir) override {
        Record("stopped " + WstringToString(dir));
    }

    // Waits until the line has been recorded (count times); false after kPatience.
    bool WaitFor(const std::string& line, long count = 1) {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, kPatience, [&] {
            return std::count(m_lines.begin(), m_lines.end(), line) >= count;
        });
    }
    Lines TakeLines() {
        std::lock_guard<std::mutex> guard(m_lock);
        return std::exchange(m_lines, {});
    }
    std::set<plat::DWORD> Threads() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_threads;
    }

  protected:
    void Record(const std::string& line) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.push_back(line);
        m_threads.insert(plat::GetCurrentThreadId());
        m_changed.notify_all();
    }

  private:
    std::string Rel(const std::wstring& wstrPath) const {
        std::string path = WstringToString(wstrPath);
        if (path.rfind(m_root + "/", 0) != 0) {
            return "outside:" + path;
        }
        return path.substr(m_root.size() + 1);
    }

    const std::string m_root;
    std::mutex m_lock;
    std::condition_variable m_changed;
    Lines m_lines;
    std::set<plat::DWORD> m_threads;
};

class DirectoryChangeWatcherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(root_);
        fs::create_directories(outside_);
    }

    static std::wstring Wide(const fs::path& path) { return StringToWstring(path.string()); }

    void Start(plat::DWORD filter = kEngineFilter) {
        ASSERT_EQ(watcher_.Watch(Wide(root_), filter, &handler_), 0u);
        ASSERT_TRUE(handler_.WaitFor("started 0"));
        handler_.TakeLines();
    }

    // Everything delivered up to now: a marker file is created and, since notifications
    // arrive in order, all that came before it has arrived once it has.
    Lines Settle() {
        std::string marker = "~marker" + std::to_string(markers_++);
        WriteFile(root_ / marker);
        EXPECT_TRUE(handler_.WaitFor("added " + marker)) << "nothing arrived";
        Lines lines = handler_.TakeLines();
        std::erase(lines, "added " + marker);
        return lines;
    }

    testing_support::TempHome home_;
    fs::path root_ = home_.path() / "sync";
    fs::path outside_ = home_.path() / "outside";
    CRecordingHandler handler_{root_};
    CDirectoryChangeWatcher watcher_;  // after the handler: unwatched before it goes
    int markers_ = 0;
};

TEST_F(DirectoryChangeWatcherTest, WatchAnswersItsResultCodes) {
    WriteFile(home_.path() / "file");
    struct Case {
        const char* why;
        std::wstring path;
        plat::DWORD filter;
        CDirectoryChangeHandler* handler;
        plat::DWORD expected;
    };
    const std::vector<Case> cases = {
        {"an empty path", L"", kEngineFilter, &handler_, 87},
        {"an empty filter", Wide(root_), 0, &handler_, 87},
        {"no handler", Wide(root_), kEngineFilter, nullptr, 87},
        {"a file", Wide(home_.path() / "file"), kEngineFilter, &handler_, 161},
        {"a missing path", Wide(home_.path() / "missing"), kEngineFilter, &handler_, 161},
    };
    CDirectoryChangeWatcher watcher;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(watcher.Watch(c.path, c.filter, c.handler), c.expected);
    }
    EXPECT_FALSE(watcher.UnwatchAll()) << "a failed Watch left a thread behind";
    EXPECT_EQ(watcher.Watch(Wide(root_), kEngineFilter, &handler_), 0u);
}

// The handler's lines hold a path only when it is the watched directory, "/", and the name.
TEST_F(DirectoryChangeWatcherTest, ARenameInASubfolderIsOneRenameWithBothFullPaths) {
    fs::create_directories(root_ / "sub");
    WriteFile(root_ / "sub" / "a.txt");
    Start();
    fs::rename(root_ / "sub" / "a.txt", root_ / "sub" / "b.txt");
    EXPECT_EQ(Settle(), (Lines{"renamed sub/a.txt -> sub/b.txt"}));
}

TEST_F(DirectoryChangeWatcherTest, ChangesArriveInOrderOnTheOneNotificationThread) {
    Start();
    WriteFile(root_ / "a");
    WriteFile(root_ / "a", "content");
    fs::create_directory(root_ / "d");
    WriteFile(root_ / "d" / "x");
    fs::rename(root_ / "a", root_ / "b");
    fs::remove(root_ / "b");
    // Nothing more inside d: it may not be watched yet, and what happens there before its
    // watch exists is known only from its listing, which shows the outcome, not the steps.
    EXPECT_EQ(Settle(), (Lines{"added a", "modified a", "added d", "added d/x", "renamed a -> b",
                               "removed b"}));
    std::set<plat::DWORD> threads = handler_.Threads();
    EXPECT_EQ(threads, std::set<plat::DWORD>{CDelayedNotificationThread::GetThreadId()});
    EXPECT_EQ(threads.count(plat::GetCurrentThreadId()), 0u);
}

TEST_F(DirectoryChangeWatcherTest, TheFilterChoosesWhatIsReported) {
    fs::create_directory(root_ / "d");
    WriteFile(root_ / "f");
    Start(plat::FILE_NOTIFY_CHANGE_FILE_NAME);
    fs::create_directory(root_ / "e");
    fs::rename(root_ / "d", root_ / "d2");
    WriteFile(root_ / "f", "write");
    WriteFile(root_ / "e" / "g");
    EXPECT_EQ(Settle(), (Lines{"added e/g"})) << "folders and writes are not asked for";
}

TEST_F(DirectoryChangeWatcherTest, WatchingTwiceStopsTheFirstWatchThenStartsAgain) {
    Start();
    ASSERT_EQ(watcher_.Watch(Wide(root_) + L"/", kEngineFilter, &handler_), 0u);
    ASSERT_TRUE(handler_.WaitFor("started 0"));
    EXPECT_EQ(handler_.TakeLines(), (Lines{"stopped " + root_.string(), "started 0"}));
    WriteFile(root_ / "f");
    EXPECT_EQ(Settle(), (Lines{"added f"})) << "one watch, one notification";
}

TEST_F(DirectoryChangeWatcherTest, UnwatchTellsWhetherTheDirectoryWasWatched) {
    CDirectoryChangeWatcher fresh;
    EXPECT_FALSE(fresh.UnwatchAll());
    EXPECT_FALSE(fresh.Unwatch(Wide(root_)));
    EXPECT_FALSE(fresh.Unwatch(&handler_));

    Start();
    EXPECT_FALSE(watcher_.Unwatch(Wide(root_ / "sub")));
    EXPECT_FALSE(watcher_.Unwatch(Wide(root_).substr(0, Wide(root_).size() - 1)));
    EXPECT_TRUE(watcher_.Unwatch(Wide(root_) + L"/"));
    // Delivered before Unwatch returned.
    EXPECT_EQ(handler_.TakeLines(), (Lines{"stopped " + root_.string()}));
    EXPECT_FALSE(watcher_.Unwatch(Wide(root_)));
    EXPECT_TRUE(watcher_.UnwatchAll()) << "the I/O thread ran";
    EXPECT_FALSE(watcher_.UnwatchAll());
}

TEST_F(DirectoryChangeWatcherTest, AHandlerThatThrowsDoesNotStopLaterNotifications) {
    struct CThrowing : CRecordingHandler {
        using CRecordingHandler::CRecordingHandler;
        void FileAdded(const std::wstring& p) override {
            if (p.ends_with(L"boom")) {
                throw std::runtime_error("boom");
            }
            if (p.ends_with(L"bang")) {
                throw 42;
            }
            CRecordingHandler::FileAdded(p);
        }
    } throwing{root_};
    ASSERT_EQ(watcher_.Watch(Wide(root_), kEngineFilter, &throwing), 0u);
    WriteFile(root_ / "boom");
    WriteFile(root_ / "bang");
    WriteFile(root_ / "after");
    EXPECT_TRUE(throwing.WaitFor("added after"));
    watcher_.UnwatchAll();
}

TEST_F(DirectoryChangeWatcherTest, AReleasedHandlerLivesUntilItsDirectoryIsUnwatched) {
    struct CCounted : CDirectoryChangeHandler {
        explicit CCounted(bool& bDeleted) : m_bDeleted(bDeleted) {}
        ~CCounted() override { m_bDeleted = true; }
        bool& m_bDeleted;
    };
    bool bDeleted = false;
    auto* pHandler = new CCounted(bDeleted);
    ASSERT_EQ(watcher_.Watch(Wide(root_), kEngineFilter, pHandler), 0u);
    pHandler->Release();
    WriteFile(root_ / "f");
    EXPECT_FALSE(bDeleted);
    EXPECT_TRUE(watcher_.Unwatch(Wide(root_)));
    EXPECT_TRUE(bDeleted);
}

TEST_F(DirectoryChangeWatcherTest, UnwatchingAHandlerStopsEachOfItsDirectories) {
    fs::create_directories(root_ / "one");
    fs::create_directories(root_ / "two");
    fs::create_directories(root_ / "three");
    CRecordingHandler other{root_};
    ASSERT_EQ(watcher_.Watch(Wide(root_ / "one"), kEngineFilter, &handler_), 0u);
    ASSERT_EQ(watcher_.Watch(Wide(root_ / "two"), kEngineFilter, &handler_), 0u);
    ASSERT_EQ(watcher_.Watch(Wide(root_ / "three"), kEngineFilter, &other), 0u);
    ASSERT_TRUE(handler_.WaitFor("started 0", 2));
    handler_.TakeLines();

    EXPECT_TRUE(watcher_.Unwatch(&handler_));
    EXPECT_EQ(handler_.TakeLines(), (Lines{"stopped " + (root_ / "one").string(),
                                           "stopped " + (root_ / "two").string()}));
    EXPECT_FALSE(watcher_.Unwatch(&handler_));
    WriteFile(root_ / "three" / "f");
    EXPECT_TRUE(other.WaitFor("added three/f"));

    // A handler watched by another watcher leaves this one.
    CDirectoryChangeWatcher second;
    ASSERT_EQ(second.Watch(Wide(root_ / "one"), kEngineFilter, &other), 0u);
    EXPECT_FALSE(watcher_.Unwatch(&other));
    EXPECT_TRUE(other.WaitFor("stopped " + (root_ / "three").string()));
    EXPECT_EQ(other.Threads(), handler_.Threads()) << "one notification thread for all";
    second.UnwatchAll();
}

// Folders that appear after the watch started are watched, and what was in them before their
// watch existed is reported after them, once.
TEST_F(DirectoryChangeWatcherTest, FoldersThatAppearLaterAreWatchedWithTheirContent) {
    fs::create_directories(outside_ / "moved" / "s");
    WriteFile(outside_ / "moved" / "f1");
    WriteFile(outside_ / "moved" / "s" / "g");
    fs::create_directories(root_ / ".hidden" / "s");
    WriteFile(root_ / ".hidden" / "f1");
    WriteFile(root_ / ".hidden" / "s" / "g");
    Start();
    struct Case {
        const char* why;
        std::string folder;
        std::function<void(const fs::path&)> make;
    };
    const std::vector<Case> cases = {
        // In name order, so that a listing and the events agree on the order.
        {"created with its content at once", "new",
         [](const fs::path& f) {
             fs::create_directory(f);
             WriteFile(f / "f1");
             fs::create_directory(f / "s");
             WriteFile(f / "s" / "g");
         }},
        {"moved in with its content", "in",
         [this](const fs::path& f) { fs::rename(outside_ / "moved", f); }},
        {"unhidden", "shown", [this](const fs::path& f) { fs::rename(root_ / ".hidden", f); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const std::string& f = c.folder;
        c.make(root_ / f);
        EXPECT_EQ(Settle(), (Lines{"added " + f, "added " + f + "/f1", "added " + f + "/s",
                                   "added " + f + "/s/g"}));
        WriteFile(root_ / f / "s" / "later");
        EXPECT_EQ(Settle(), (Lines{"added " + f + "/s/later"}));
    }
}

TEST_F(DirectoryChangeWatcherTest, ABurstOfNewFoldersIsReportedCompletelyAndOnce) {
    Start();
    std::set<std::string> expected;
    for (int i = 0; i < 40; ++i) {
        std::string folder = "burst" + std::to_string(100 + i);
        fs::create_directories(root_ / folder / "deep");
        expected.insert("added " + folder);
        expected.insert("added " + folder + "/deep");
        for (int j = 0; j < 10; ++j) {
            std::string name = folder + "/deep/f" + std::to_string(j);
            WriteFile(root_ / name);
            expected.insert("added " + name);
        }
    }
    Lines lines = Settle();
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), expected);
    EXPECT_EQ(lines.size(), expected.size()) << "nothing twice";
    for (std::size_t i = 1; i < lines.size(); ++i) {
        // Parents come before their content.
        std::string parent = lines[i].substr(0, lines[i].rfind('/'));
        if (parent != lines[i]) {
            auto at = std::find(lines.begin(), lines.end(), parent);
            EXPECT_LT(at - lines.begin(), static_cast<long>(i)) << lines[i];
        }
    }
}

TEST_F(DirectoryChangeWatcherTest, MovesAndRenamesAreReportedAsTheEngineExpects) {
    fs::create_directories(root_ / "a");
    fs::create_directories(root_ / "b");
    fs::create_directories(root_ / "d" / "k");
    fs::create_directories(root_ / "m" / "k");
    fs::create_directories(root_ / "n");
    for (const char* name : {"a/f", "f", ".h", "v", ".x", "n/j", "m/k/z"}) {
        WriteFile(root_ / name);
    }
    WriteFile(outside_ / "g");
    Start();
    struct Case {
        const char* why;
        std::function<void()> change;
        Lines expected;
    };
    auto move = [this](const char* from, const char* to) {
        return [=, this] { fs::rename(root_ / from, root_ / to); };
    };
    const std::vector<Case> cases = {
        {"a move to another folder of the tree", move("a/f", "b/f"), {"removed a/f", "added b/f"}},
        {"a move out of the tree",
         [this] { fs::rename(root_ / "f", outside_ / "f"); },
         {"removed f"}},
        {"a move into the tree", [this] { fs::rename(outside_ / "g", root_ / "g"); }, {"added g"}},
        {"unhiding a file", move(".h", "h"), {"added h"}},
        {"hiding a file", move("v", ".v"), {"removed v"}},
        {"renaming a hidden file", move(".x", ".y"), {"renamed .x -> .y"}},
        {"a folder renamed in place", move("d", "e"), {"renamed d -> e"}},
        {"its content follows it",
         [this] { WriteFile(root_ / "e" / "k" / "new"); },
         {"added e/k/new"}},
        {"a folder moved to another folder",
         move("n", "b/n"),
         {"removed n", "added b/n", "added b/n/j"}},
        {"it is watched there",
         [this] { WriteFile(root_ / "b" / "n" / "new"); },
         {"added b/n/new"}},
        {"a folder moved out", [this] { fs::rename(root_ / "m", outside_ / "m"); }, {"removed m"}},
        {"it is no longer watched", [this] { WriteFile(outside_ / "m" / "k" / "new"); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        c.change();
        EXPECT_EQ(Settle(), c.expected);
    }
}

TEST_F(DirectoryChangeWatcherTest, NamesThatAreNotUtf8AreReportedWithoutHarm) {
    Start();
    fs::create_directory(root_ / "bad\xff");
    WriteFile(root_ / "bad\xff" / "in\xfe");
    EXPECT_EQ(Settle(), (Lines{"added bad\xEF\xBF\xBD", "added bad\xEF\xBF\xBD/in\xEF\xBF\xBD"}));
}

TEST_F(DirectoryChangeWatcherTest, TheWatchEndsWithAReadErrorWhenTheDirectoryGoes) {
    struct Case {
        const char* why;
        std::function<void(const fs::path&)> end;
    };
    const std::vector<Case> cases = {
        {"deleted", [](const fs::path& dir) { fs::remove_all(dir); }},
        {"moved away", [this](const fs::path& dir) { fs::rename(dir, outside_ / "away"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        fs::path dir = root_ / "watched";
        fs::create_directories(dir / "sub");
        ASSERT_EQ(watcher_.Watch(Wide(dir), kEngineFilter, &handler_), 0u);
        c.end(dir);
        EXPECT_TRUE(handler_.WaitFor("read error 3 " + dir.string()));
        EXPECT_FALSE(watcher_.Unwatch(Wide(dir))) << "the watch is over";
        handler_.TakeLines();
    }
    EXPECT_TRUE(watcher_.UnwatchAll());
}

TEST_F(DirectoryChangeWatcherTest, AnOverflowIsReportedAndTheWatchGoesOn) {
    CHeldWatcher watcher;
    plat::DWORD dwResult = 1;
    std::thread watching([&] { dwResult = watcher.Watch(Wide(root_), kEngineFilter, &handler_); });
    watcher.started.get_future().wait();
    {
        // Alternating writes make distinct events; more than the kernel's queue holds.
        std::ofstream a(root_ / "a"), b(root_ / "b");
        for (int i = 0; i < 20000; ++i) {
            a << 'x' << std::flush;
            b << 'x' << std::flush;
        }
    }
    fs::create_directories(root_ / "late");  // its event is lost
    watcher.release.set_value();
    watching.join();
    ASSERT_EQ(dwResult, 0u);
    EXPECT_TRUE(handler_.WaitFor("read error 1022 " + root_.string()));
    handler_.TakeLines();
    WriteFile(root_ / "late" / "f");
    EXPECT_TRUE(handler_.WaitFor("added late/f")) << "the folder was watched after the overflow";
    watcher.UnwatchAll();
}

// The watcher takes a few thousand events per read; with the I/O thread held while they pile
// up, the halves of a rename fall into different reads. They must still make one rename.
TEST_F(DirectoryChangeWatcherTest, RenamesSplitAcrossReadsStayRenames) {
    CHeldWatcher watcher;
    std::thread watching([&] { watcher.Watch(Wide(root_), kEngineFilter, &handler_); });
    watcher.started.get_future().wait();
    WriteFile(root_ / "x");  // one event first, so that a read ends between two halves
    constexpr int kRenames = 3000;
    for (int i = 0; i < kRenames; ++i) {
        bool even = i % 2 == 0;
        fs::rename(root_ / (even ? "x" : "y"), root_ / (even ? "y" : "x"));
    }
    watcher.release.set_value();
    watching.join();
    Lines lines = Settle();
    ASSERT_EQ(lines.size(), kRenames + 2u);
    EXPECT_EQ(lines[0], "started 0");
    EXPECT_EQ(lines[1], "added x");
    for (int i = 0; i < kRenames; ++i) {
        ASSERT_EQ(lines[i + 2], i % 2 == 0 ? "renamed x -> y" : "renamed y -> x") << i;
    }
    watcher.UnwatchAll();
}

// Six folders to watch, three watches allowed: run in a child whose limit is 3.
TEST_F(DirectoryChangeWatcherTest, DISABLED_FoldersBeyondTheWatchLimitInChild) {
    for (const char* folder : {"a", "b", "c", "d", "e"}) {
        fs::create_directories(root_ / folder);
    }
    ASSERT_EQ(watcher_.Watch(Wide(root_), kEngineFilter, &handler_), 0u);
    EXPECT_TRUE(handler_.WaitFor("read error 1816 " + root_.string()));
    WriteFile(root_ / "f");
    EXPECT_TRUE(handler_.WaitFor("added f")) << "the watched part goes on";
    fs::create_directories(root_ / "a" / "new");
    EXPECT_TRUE(handler_.WaitFor("read error 1816 " + root_.string(), 2))
        << "a new folder beyond the limit";
    EXPECT_EQ(watcher_.Watch(Wide(outside_), kEngineFilter, &handler_),
              plat::ERROR_NOT_ENOUGH_QUOTA)
        << "no watch left for another directory";
}

TEST_F(DirectoryChangeWatcherTest, FoldersBeyondTheWatchLimitAreReported) {
    auto run = testing_support::RunTestWithInotifyWatchLimit(
        3, "DirectoryChangeWatcherTest.DISABLED_FoldersBeyondTheWatchLimitInChild");
    if (run == testing_support::LimitedRun::Unsupported) {
        GTEST_SKIP() << "no user namespace with an inotify limit of its own can be made here";
    }
    EXPECT_EQ(run, testing_support::LimitedRun::Passed);
}

}  // namespace
