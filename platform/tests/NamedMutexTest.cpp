#include "platform/NamedMutex.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Paths.h"
#include "platform/SyncObjects.h"
#include "testing/ChildProcess.h"
#include "testing/TempHome.h"

namespace {

using namespace plat;
using testing_support::ChildProcess;
using testing_support::WithReadyChild;

// Child: takes the mutex named in TEST_MUTEX when given, tells the parent's thread, then waits
// to be killed.
TEST(NamedMutexChild, DISABLED_HoldAndHang) {
    std::unique_ptr<NamedMutex> mutex;
    if (const char* name = getenv("TEST_MUTEX")) {
        bool bExists = false;
        mutex = CreateNamedMutex(name, &bExists);
        ASSERT_NE(mutex, nullptr);
    }
    ASSERT_TRUE(testing_support::TellParentReady());
    WaitForSingleObject(CreateEvent(false, false), INFINITE);
}

constexpr const char* kHoldAndHang = "NamedMutexChild.DISABLED_HoldAndHang";

class NamedMutexTest : public ::testing::Test {
  protected:
    testing_support::TempHome home;
};

TEST_F(NamedMutexTest, OneHolderAtATime) {
    bool bExists = true;
    auto first = CreateNamedMutex("Ostrand-20140716", &bExists);
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(bExists);

    EXPECT_EQ(CreateNamedMutex("Ostrand-20140716", &bExists), nullptr);
    EXPECT_TRUE(bExists) << "a second holder in the same process is refused too";

    auto other = CreateNamedMutex("Corvena", &bExists);
    EXPECT_NE(other, nullptr) << "another name is another mutex";

    first.reset();
    EXPECT_NE(CreateNamedMutex("Ostrand-20140716", &bExists), nullptr);
    EXPECT_FALSE(bExists);
}

TEST_F(NamedMutexTest, HostileNamesStayInTheRuntimeFolder) {
    bool bExists = false;
    auto mutex = CreateNamedMutex("../../escape", &bExists);
    ASSERT_NE(mutex, nullptr);
    for (const auto& entry : std::filesystem::directory_iterator(home.path())) {
        EXPECT_EQ(entry.path().filename(), "run");
    }
}

TEST_F(NamedMutexTest, ReleasedWhenTheHoldingProcessDies) {
    WithReadyChild(kHoldAndHang, {"TEST_MUTEX=Corvena"}, [](ChildProcess& child, WPARAM) {
        bool bExists = false;
        EXPECT_EQ(CreateNamedMutex("Corvena", &bExists), nullptr);
        EXPECT_TRUE(bExists) << "held by the child";

        child.Kill(SIGKILL);
        child.Wait();
        EXPECT_NE(CreateNamedMutex("Corvena", &bExists), nullptr);
        EXPECT_FALSE(bExists);
    });
}

TEST_F(NamedMutexTest, ChildProcessesDoNotInheritIt) {
    bool bExists = false;
    auto mutex = CreateNamedMutex("Corvena", &bExists);
    ASSERT_NE(mutex, nullptr);
    WithReadyChild(kHoldAndHang, {}, [&mutex](ChildProcess&, WPARAM) {
        mutex.reset();
        bool bAgain = false;
        EXPECT_NE(CreateNamedMutex("Corvena", &bAgain), nullptr)
            << "the running child holds no copy of the lock";
    });
}

}  // namespace
