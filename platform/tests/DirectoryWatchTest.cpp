#include "platform/DirectoryWatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "testing/TempHome.h"

namespace fs = std::filesystem;
using plat::DirectoryAction;
using plat::DirectoryEvent;
using plat::DirectoryWatch;

namespace {

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << text;
}

class DirectoryWatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = home_.path() / "tree";
        fs::create_directories(root_);
        ASSERT_EQ(watch_.Open(), 0u);
    }

    int Watch(const fs::path& folder, plat::DWORD filter = plat::FILE_NOTIFY_CHANGE_FILE_NAME) {
        int wd = -1;
        EXPECT_EQ(watch_.AddWatch(folder.string(), filter, wd), 0u) << folder;
        return wd;
    }

    // Everything queued so far; inotify queues an event before the system call returns.
    std::vector<DirectoryEvent> ReadAll() {
        std::vector<DirectoryEvent> events;
        EXPECT_TRUE(watch_.Read(events, 100000));
        return events;
    }

    testing_support::TempHome home_;
    fs::path root_;
    DirectoryWatch watch_;
};

std::string Describe(const std::vector<DirectoryEvent>& events) {
    static const std::map<DirectoryAction, std::string> names = {
        {DirectoryAction::Added, "added"},       {DirectoryAction::Removed, "removed"},
        {DirectoryAction::Modified, "modified"}, {DirectoryAction::MovedFrom, "from"},
        {DirectoryAction::MovedTo, "to"},        {DirectoryAction::FolderMoved, "self-moved"},
        {DirectoryAction::WatchRemoved, "gone"}, {DirectoryAction::Overflow, "overflow"},
    };
    std::string text;
    for (const DirectoryEvent& event : events) {
        text += names.at(event.action) + (event.bFolder ? " dir " : " ") + event.strName + ";";
    }
    return text;
}

TEST_F(DirectoryWatchTest, ReportsEachChangeOfTheFolderInOrder) {
    struct Case {
        const char* why;
        plat::DWORD filter;
        std::function<void(const fs::path&)> change;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"a new file", plat::FILE_NOTIFY_CHANGE_FILE_NAME,
         [](const fs::path& r) { WriteFile(r / "a", ""); }, "added a;"},
        {"a new folder", plat::FILE_NOTIFY_CHANGE_FILE_NAME,
         [](const fs::path& r) { fs::create_directory(r / "d"); }, "added dir d;"},
        {"a rename", plat::FILE_NOTIFY_CHANGE_FILE_NAME,
         [](const fs::path& r) { fs::rename(r / "a", r / "b"); }, "from a;to b;"},
        {"a write without the write filter", plat::FILE_NOTIFY_CHANGE_FILE_NAME,
         [](const fs::path& r) { WriteFile(r / "b", "x"); }, ""},
        {"a write with it", plat::FILE_NOTIFY_CHANGE_LAST_WRITE,
         [](const fs::path& r) { WriteFile(r / "b", "x"); }, "modified b;"},
        {"a deletion", plat::FILE_NOTIFY_CHANGE_FILE_NAME,
         [](const fs::path& r) { fs::remove(r / "b"); }, "removed b;"},
        {"a subfolder's content is not this folder's", plat::FILE_NOTIFY_CHANGE_FILE_NAME,
         [](const fs::path& r) { WriteFile(r / "d" / "inner", ""); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        int wd = Watch(root_, c.filter);
        c.change(root_);
        std::vector<DirectoryEvent> events = ReadAll();
        EXPECT_EQ(Describe(events), c.expected);
        for (const DirectoryEvent& event : events) {
            EXPECT_EQ(event.iWatch, wd);
        }
    }
}

TEST_F(DirectoryWatchTest, BothHalvesOfARenameCarryOneCookie) {
    fs::create_directory(root_ / "x");
    int wdRoot = Watch(root_);
    int wdX = Watch(root_ / "x");
    WriteFile(root_ / "f", "");
    fs::rename(root_ / "f", root_ / "x" / "g");
    std::vector<DirectoryEvent> events = ReadAll();
    ASSERT_EQ(Describe(events), "added f;from f;to g;");
    EXPECT_EQ(events[1].iWatch, wdRoot);
    EXPECT_EQ(events[2].iWatch, wdX);
    EXPECT_NE(events[1].uCookie, 0u);
    EXPECT_EQ(events[1].uCookie, events[2].uCookie);
}

TEST_F(DirectoryWatchTest, AddWatchAnswersWin32Errors) {
    WriteFile(root_ / "file", "");
    fs::create_directory(root_ / "dir");
    fs::create_directory_symlink(root_ / "dir", root_ / "link");
    struct Case {
        const char* why;
        fs::path path;
        plat::DWORD expected;
    };
    const std::vector<Case> cases = {
        {"missing", root_ / "missing", plat::ERROR_PATH_NOT_FOUND},
        {"a file", root_ / "file", plat::ERROR_DIRECTORY},
        {"a link to a folder", root_ / "link", plat::ERROR_DIRECTORY},
        {"a folder", root_ / "dir", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        int wd = -1;
        EXPECT_EQ(watch_.AddWatch(c.path.string(), plat::FILE_NOTIFY_CHANGE_FILE_NAME, wd),
                  c.expected);
    }
}

TEST_F(DirectoryWatchTest, WatchingAFolderAgainGivesTheSameId) {
    EXPECT_EQ(Watch(root_), Watch(root_, plat::FILE_NOTIFY_CHANGE_LAST_WRITE));
}

TEST_F(DirectoryWatchTest, TheWatchOfADeletedOrMovedFolderSaysSo) {
    fs::create_directories(root_ / "gone");
    fs::create_directories(root_ / "moved");
    int wdGone = Watch(root_ / "gone");
    int wdMoved = Watch(root_ / "moved");
    fs::remove(root_ / "gone");
    fs::rename(root_ / "moved", root_ / "elsewhere");
    std::vector<DirectoryEvent> events = ReadAll();
    ASSERT_EQ(Describe(events), "gone ;self-moved ;");
    EXPECT_EQ(events[0].iWatch, wdGone);
    EXPECT_EQ(events[1].iWatch, wdMoved);
}

TEST_F(DirectoryWatchTest, RemovingAWatchEndsItsEvents) {
    int wd = Watch(root_);
    watch_.RemoveWatch(wd);
    WriteFile(root_ / "a", "");
    EXPECT_EQ(Describe(ReadAll()), "gone ;");
}

TEST_F(DirectoryWatchTest, ReadStopsAtTheLimitAndLeavesTheRestQueued) {
    Watch(root_);
    for (int i = 0; i < 10; ++i) {
        WriteFile(root_ / std::to_string(i), "");
    }
    std::vector<DirectoryEvent> events;
    // One read takes every queued event, so a limit of 1 still returns them all but reports
    // that the queue was not seen empty.
    EXPECT_FALSE(watch_.Read(events, 1));
    EXPECT_TRUE(watch_.Read(events, 1));
    EXPECT_EQ(events.size(), 10u);
}

TEST_F(DirectoryWatchTest, NamesThatAreNotUtf8ComeBackAsTheyAre) {
    Watch(root_);
    const std::string name = "bad\xff\xfe name";
    WriteFile(root_ / name, "");
    std::vector<DirectoryEvent> events = ReadAll();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].strName, name);
}

TEST_F(DirectoryWatchTest, AnOverflowOfTheKernelQueueIsReported) {
    Watch(root_, plat::FILE_NOTIFY_CHANGE_LAST_WRITE);
    // Alternating writes to two files make distinct events (the kernel merges repeats of the
    // last one); more than the default queue of 16384 events overflows it.
    {
        std::ofstream a(root_ / "a"), b(root_ / "b");
        for (int i = 0; i < 20000; ++i) {
            a << 'x' << std::flush;
            b << 'x' << std::flush;
        }
    }
    std::vector<DirectoryEvent> events = ReadAll();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().action, DirectoryAction::Overflow);
    EXPECT_EQ(events.back().iWatch, -1);
}

// A rename's MovedTo may still be on its way when the reader has already seen its MovedFrom;
// after WaitForRenamesIn on the source folder it must be in the queue.
TEST_F(DirectoryWatchTest, AfterWaitForRenamesInTheMovedToHalfIsQueued) {
    fs::create_directories(root_ / "a");
    fs::create_directories(root_ / "b");
    WriteFile(root_ / "a" / "f", "");
    Watch(root_ / "a");
    Watch(root_ / "b");
    std::atomic<bool> done{false};
    std::thread mover([&] {
        for (int i = 0; i < 2000; ++i) {
            bool even = i % 2 == 0;
            fs::rename(root_ / (even ? "a" : "b") / "f", root_ / (even ? "b" : "a") / "f");
        }
        done = true;
    });
    std::map<std::uint32_t, int> open;  // cookie -> halves seen so far
    auto readAndPair = [&] {
        std::vector<DirectoryEvent> events;
        watch_.Read(events, 100000);
        for (const DirectoryEvent& event : events) {
            if (++open[event.uCookie] == 2) {
                open.erase(event.uCookie);
            }
        }
    };
    int unpaired = 0;
    for (;;) {
        bool finished = done;
        readAndPair();
        std::map<std::uint32_t, int> waiting = open;
        if (!waiting.empty()) {
            plat::WaitForRenamesIn((root_ / "a").string());
            plat::WaitForRenamesIn((root_ / "b").string());
            readAndPair();
            for (const auto& [cookie, halves] : waiting) {
                unpaired += open.count(cookie) ? 1 : 0;
            }
        }
        if (finished) {
            break;
        }
    }
    mover.join();
    EXPECT_EQ(unpaired, 0);
    EXPECT_TRUE(open.empty());
}

}  // namespace
