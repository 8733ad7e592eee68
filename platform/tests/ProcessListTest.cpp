#include "platform/ProcessList.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "platform/SyncObjects.h"
#include "testing/ChildProcess.h"
#include "testing/TempHome.h"

namespace {

using namespace plat;

const std::string kSelf = "platform_ProcessListTest";

bool Contains(const std::vector<int>& pids, int pid) {
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

TEST(ProcessListChild, DISABLED_Hang) {
    ASSERT_TRUE(testing_support::TellParentReady());
    WaitForSingleObject(CreateEvent(false, false), INFINITE);
}

TEST(ProcessListTest, NamesMatchExactly) {
    struct Case {
        std::string name;
        bool bRunning;
    };
    const Case cases[] = {{kSelf, true},
                          {"platform_ProcessList", false},
                          {"PLATFORM_PROCESSLISTTEST", false},
                          {"Tandrix.exe", false},
                          {"", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsProcessRunning(c.name), c.bRunning);
    }
    EXPECT_TRUE(Contains(FindProcesses(kSelf), getpid()));
}

TEST(ProcessListTest, ChildCountsWhileItRunsButNotOnceEnded) {
    testing_support::TempHome home;
    testing_support::WithReadyChild(
        "ProcessListChild.DISABLED_Hang", {}, [](testing_support::ChildProcess& child, WPARAM) {
            EXPECT_TRUE(Contains(FindProcesses(kSelf), child.Pid()));

            child.Kill(SIGKILL);
            // Ended but not reaped: still in /proc, yet no longer a running program.
            siginfo_t info{};
            ASSERT_EQ(waitid(P_PID, child.Pid(), &info, WEXITED | WNOWAIT), 0);
            EXPECT_FALSE(Contains(FindProcesses(kSelf), child.Pid()));
            child.Wait();
        });
}

}  // namespace
