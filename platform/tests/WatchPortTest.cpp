#include "platform/WatchPort.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "testing/TempHome.h"

namespace fs = std::filesystem;

namespace {

class WatchPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(port_.Open(), 0u);
        ASSERT_EQ(watch_.Open(), 0u);
        int wd = -1;
        ASSERT_EQ(watch_.AddWatch(home_.path().string(), plat::FILE_NOTIFY_CHANGE_FILE_NAME, wd),
                  0u);
    }

    void MakeEvent() { std::ofstream(home_.path() / ("f" + std::to_string(files_++))); }

    std::uintptr_t Next(bool& bPosted) {
        std::uintptr_t key = 0;
        EXPECT_TRUE(port_.GetQueuedCompletion(key, bPosted));
        return key;
    }

    testing_support::TempHome home_;
    plat::WatchPort port_;
    plat::DirectoryWatch watch_;
    int files_ = 0;
};

TEST_F(WatchPortTest, PostedKeysComeBackFirstInFirstOut) {
    for (std::uintptr_t key : {7u, 0u, 3u}) {
        ASSERT_TRUE(port_.Post(key));
    }
    for (std::uintptr_t expected : {7u, 0u, 3u}) {
        bool bPosted = false;
        EXPECT_EQ(Next(bPosted), expected);
        EXPECT_TRUE(bPosted);
    }
}

TEST_F(WatchPortTest, AWatchWithEventsComesBackUntilItIsRead) {
    ASSERT_EQ(port_.Associate(watch_, 42), 0u);
    MakeEvent();
    bool bPosted = true;
    EXPECT_EQ(Next(bPosted), 42u);
    EXPECT_FALSE(bPosted);
    EXPECT_EQ(Next(bPosted), 42u) << "events are still unread";
    std::vector<plat::DirectoryEvent> events;
    watch_.Read(events, 100);
    port_.Post(1);
    EXPECT_EQ(Next(bPosted), 1u);
    EXPECT_TRUE(bPosted);
}

TEST_F(WatchPortTest, ADissociatedWatchIsNoLongerReported) {
    ASSERT_EQ(port_.Associate(watch_, 42), 0u);
    MakeEvent();
    port_.Dissociate(watch_);
    port_.Post(5);
    bool bPosted = false;
    EXPECT_EQ(Next(bPosted), 5u);
    EXPECT_TRUE(bPosted);
}

TEST_F(WatchPortTest, APostFromAnotherThreadWakesTheWaiter) {
    std::uintptr_t key = 0;
    bool bPosted = false;
    std::thread waiter([&] { port_.GetQueuedCompletion(key, bPosted); });
    port_.Post(9);
    waiter.join();
    EXPECT_EQ(key, 9u);
    EXPECT_TRUE(bPosted);
}

TEST_F(WatchPortTest, PostFailsOnAPortThatIsNotOpen) {
    plat::WatchPort closed;
    EXPECT_FALSE(closed.Post(1));
}

}  // namespace
