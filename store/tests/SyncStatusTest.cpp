// The engine status: the refusal rules, what each change posts to the UI thread (this test's
// thread stands in for the client's message thread and reads the posted messages), the flag
// side effects, the two queries, and several threads changing status and flags at once.

#include <atomic>
#include <thread>

#include "platform/SyncObjects.h"
#include "platform/ThreadMessage.h"
#include "store/SyncStatus.h"
#include "store/SyncingTaskArray.h"
#include "store/tests/StoreTestSupport.h"

namespace {

struct Posted {
    plat::UINT message;
    plat::WPARAM wParam;
    plat::LPARAM lParam;
    bool operator==(const Posted& other) const {
        return message == other.message && wParam == other.wParam && lParam == other.lParam;
    }
};

std::ostream& operator<<(std::ostream& out, const Posted& posted) {
    return out << "{" << posted.message << ", " << posted.wParam << ", " << posted.lParam << "}";
}

constexpr unsigned Bit(int flag) {
    return 1u << flag;
}

class SyncStatusTest : public store_test::StoreTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(CSyncingTaskArray::Get()->ReLoad(), 0);
        Reset(0, MSYNC_STATE_IDLE);
    }

    static CSyncStatus* Status() { return CSyncStatus::Get(); }

    // Brings status and flags to a starting point and forgets what that posted. The pause
    // comes last: setting it clears the disk-cause and wait bits.
    void Reset(unsigned flags, int status) {
        for (int flag = 0; flag <= 6; ++flag) {
            Status()->SetFlag(static_cast<SYNC_FLAG>(flag), false);
        }
        Status()->SetStatus(static_cast<SYNC_STATUS>(status), 1, OPEA_FLAG_QUIET);
        for (int flag = 1; flag <= 6; ++flag) {
            if ((flags & Bit(flag)) != 0) {
                Status()->SetFlag(static_cast<SYNC_FLAG>(flag), true);
            }
        }
        if ((flags & Bit(MSYNC_FLAG_PAUSE)) != 0) {
            Status()->SetFlag(MSYNC_FLAG_PAUSE, true);
        }
        Status()->SetUIThread(plat::GetCurrentThreadId());
        Drain();
        while (plat::WaitForSingleObject(Status()->GetSyncHandle(), 0) == plat::WAIT_OBJECT_0) {
        }
    }

    static std::vector<Posted> Drain() {
        std::vector<Posted> posted;
        plat::MSG msg;
        while (plat::PeekMessage(&msg, true)) {
            posted.push_back({msg.message, msg.wParam, msg.lParam});
        }
        return posted;
    }
};

TEST_F(SyncStatusTest, SetUIThreadPostsTheIdleStatus) {
    Status()->SetUIThread(plat::GetCurrentThreadId());
    EXPECT_EQ(Drain(), (std::vector<Posted>{{MSG_SYNC_STATUS, 0, 1}}));
}

TEST_F(SyncStatusTest, StatusChangesAreRefusedOrPostedByTheRules) {
    const unsigned net = Bit(MSYNC_FLAG_NETSERVICE);
    const unsigned full = Bit(MSYNC_FLAG_SPACE_FULL);
    const unsigned big = Bit(MSYNC_FLAG_FILE4G);
    const unsigned pause = Bit(MSYNC_FLAG_PAUSE);
    const unsigned wait = Bit(MSYNC_FLAG_WAIT30S_SYNC);
    struct Case {
        unsigned flags;
        int from;
        int to;
        int force;
        int oper;
        int expectedStatus;
        std::vector<Posted> expectedPosts;
        unsigned expectedFlags;
        const char* why;
    };
    const std::vector<Case> cases = {
        {net, 3, 2, 0, 0, 3, {}, net, "FIND does not replace SYNCING"},
        {net, 3, 4, 0, 0, 4, {{2030, net, 4}}, net, "SYNCED does"},
        {net, 3, 2, 1, 0, 2, {{2030, net, 2}}, net, "a forced change does too"},
        {net, 1, 1, 0, 0, 1, {}, net, "the same status again is refused"},
        {net, 1, 1, 1, 0, 1, {{2030, net, 1}}, net, "unless forced"},
        {net | pause, 1, 2, 1, 0, 1, {}, net | pause, "paused refuses even a forced change"},
        {net | big, 1, 3, 0, 0, 3, {{2030, 0, 3}}, net | big, "SYNCING always carries 0"},
        {net | big, 4, 2, 0, 2, 2, {{2030, net | big, 2}}, net | big, "QUIET posts FIND for bit 5"},
        {net, 4, 2, 0, 2, 2, {}, net, "QUIET without bit 5 stays quiet"},
        {net | full,
         3,
         4,
         0,
         2,
         4,
         {{2030, net | full, 4}},
         net | full,
         "QUIET posts SYNCED for bit 4"},
        {net, 1, 3, 0, 2, 3, {}, net, "QUIET never posts SYNCING"},
        {net | full | big,
         3,
         4,
         0,
         1,
         4,
         {{2030, net | full | big, 4}},
         net,
         "RESET consumes 4, 5"},
        {net | full | big,
         4,
         1,
         0,
         1,
         1,
         {{2030, net | full | big, 1}},
         net | full,
         "IDLE: bit 5 only"},
        {net | full | big, 4, 3, 0, 1, 3, {{2030, 0, 3}}, net | big, "SYNCING: bit 4 only"},
        {net | full, 4, 3, 0, 0, 3, {{2030, 0, 3}}, net, "DEFAULT SYNCING clears bit 4"},
        {net | full | big,
         4,
         2,
         0,
         3,
         2,
         {{2030, net | full | big, 2}},
         net | full | big,
         "RESUME posts and clears nothing"},
        {net | wait, 1, 2, 1, 0, 1, {}, net | wait, "FIND waits for the 30-second sync"},
        {net | wait, 1, 3, 1, 0, 1, {}, net | wait, "so does SYNCING"},
        {net | wait, 1, 5, 1, 0, 1, {}, net | wait, "and status 5"},
        {net, 1, 5, 0, 0, 5, {{2030, net, 5}}, net, "5 is handled like FIND"},
        {net, 1, 0, 0, 0, 1, {}, net, "0 is no status"},
        {net, 1, 9, 0, 0, 1, {}, net, "nor is a value above 5"},
        {net, 4, 1, 0, 7, 1, {}, net, "an unknown operation behaves like QUIET"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Reset(c.flags, c.from);
        Status()->SetStatus(static_cast<SYNC_STATUS>(c.to), c.force,
                            static_cast<OPERATION_SYNC_FLAG>(c.oper));
        EXPECT_EQ(Status()->GetStatus(), c.expectedStatus);
        EXPECT_EQ(Drain(), c.expectedPosts);
        EXPECT_EQ(static_cast<unsigned>(Status()->GetFlag()), c.expectedFlags);
    }
    EXPECT_NE(LogText().find("set status return. m_eStatus = (3), eStatus = (2), Flag = (2) "
                             "bFoceSet = (0) eOper = (0)"),
              std::string::npos);
    EXPECT_NE(LogText().find("post UI Msg MSG_SYNC_STATUS(MSYNC_STATE_SYNCED) Flag =(2)"),
              std::string::npos);
}

TEST_F(SyncStatusTest, FlagSideEffects) {
    Reset(Bit(MSYNC_FLAG_WAIT30S_SYNC), MSYNC_STATE_IDLE);
    Status()->SetFlag(MSYNC_FLAG_DISKCAUSE_SYNC, true);
    EXPECT_EQ(Status()->GetFlag(MSYNC_FLAG_DISKCAUSE_SYNC), 0) << "not while waiting";

    Reset(Bit(MSYNC_FLAG_DISKCAUSE_SYNC), MSYNC_STATE_FIND);
    Status()->SetFlag(MSYNC_FLAG_WAIT30S_SYNC, true);
    EXPECT_EQ(Status()->GetStatus(), MSYNC_STATE_IDLE);
    EXPECT_EQ(Status()->GetFlag(), static_cast<int>(Bit(MSYNC_FLAG_WAIT30S_SYNC)));
    EXPECT_EQ(Drain(), (std::vector<Posted>{{2030, 0, 1}})) << "posted after bit 2 was cleared";

    Reset(Bit(MSYNC_FLAG_PAUSE), MSYNC_STATE_IDLE);
    Status()->SetFlag(MSYNC_FLAG_WAIT30S_SYNC, true);
    Status()->SetFlag(MSYNC_FLAG_DISKCAUSE_SYNC, true);
    EXPECT_EQ(Status()->GetFlag(), static_cast<int>(Bit(MSYNC_FLAG_PAUSE))) << "not while paused";

    for (int pending : {MSYNC_FLAG_DISKCAUSE_SYNC, MSYNC_FLAG_WAIT30S_SYNC}) {
        Reset(Bit(pending), MSYNC_STATE_IDLE);
        Status()->SetFlag(MSYNC_FLAG_PAUSE, true);
        EXPECT_EQ(Status()->GetFlag(), static_cast<int>(Bit(MSYNC_FLAG_PAUSE)));
        EXPECT_EQ(plat::WaitForSingleObject(Status()->GetSyncHandle(), 0), plat::WAIT_OBJECT_0);
    }

    Status()->SetFlag(MSYNC_FLAG_PAUSE, true);
    EXPECT_EQ(plat::WaitForSingleObject(Status()->GetSyncHandle(), 0), plat::WAIT_TIMEOUT)
        << "setting a flag to its value changes nothing";
    EXPECT_NE(LogText().find("return Set flag(0) Set = (1)"), std::string::npos);

    Status()->SetFlag(static_cast<SYNC_FLAG>(7), true);
    EXPECT_EQ(Status()->GetFlag(static_cast<SYNC_FLAG>(7)), 0);
    EXPECT_NE(LogText().find("return Set flag(7) Set = (1)"), std::string::npos);
}

TEST_F(SyncStatusTest, TheEndOfAPauseClearsTheQueueAndTellsTheStatusAgain) {
    CSyncingTaskArray* queue = CSyncingTaskArray::Get();
    ASSERT_EQ(queue->push_back(store_test::MakeTask(1, L".\\a")), 0);
    struct Case {
        int status;
        unsigned flags;
        std::vector<Posted> expected;
        const char* why;
    };
    const unsigned net = Bit(MSYNC_FLAG_NETSERVICE);
    const std::vector<Case> cases = {
        {MSYNC_STATE_SYNCING, net, {{2030, 0, 3}}, "SYNCING"},
        {MSYNC_STATE_SYNCED, net, {{2030, net, 4}}, "SYNCED"},
        {MSYNC_STATE_FIND, net, {{2030, net, 1}}, "FIND becomes IDLE"},
        {5, net, {}, "status 5 is left alone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Reset(c.flags, c.status);
        Status()->SetFlag(MSYNC_FLAG_PAUSE, true);
        Drain();
        Status()->SetFlag(MSYNC_FLAG_PAUSE, false);
        EXPECT_EQ(Drain(), c.expected);
        EXPECT_EQ(Status()->GetFlag(MSYNC_FLAG_PAUSE), 0);
    }
    EXPECT_EQ(queue->HasTask(), 0) << "the queue was cleared";
    EXPECT_NE(LogText().find("CSyncStatus::ResumeUIStatus()"), std::string::npos);
}

TEST_F(SyncStatusTest, QueriesForTheOfflineSync) {
    const unsigned net = Bit(MSYNC_FLAG_NETSERVICE);
    const unsigned disk = Bit(MSYNC_FLAG_DISKCAUSE_SYNC);
    struct Case {
        unsigned flags;
        int status;
        int diskCause;
        int start30;
        int resume;
        const char* why;
    };
    const std::vector<Case> cases = {
        {net | disk, MSYNC_STATE_IDLE, 1, 0, 1, "a disk change is pending"},
        {net, MSYNC_STATE_SYNCED, 0, 1, 1, "nothing pending"},
        {disk, MSYNC_STATE_IDLE, 0, 0, 0, "the service is out of reach"},
        {net | disk | Bit(MSYNC_FLAG_PAUSE), MSYNC_STATE_IDLE, 0, 0, 0, "paused"},
        {net | Bit(MSYNC_FLAG_WAIT30S_SYNC), MSYNC_STATE_IDLE, 0, 1, 1, "waiting"},
        {net | disk, MSYNC_STATE_SYNCING, 0, 0, 1, "tasks are running"},
        {net, MSYNC_STATE_FIND, 0, 0, 1, "changes are being looked for"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Reset(c.flags, c.status);
        EXPECT_EQ(Status()->IsDiskCauseSync(), c.diskCause);
        EXPECT_EQ(Status()->IsStart30OfflineSync(), c.start30);
        EXPECT_EQ(Status()->IsResumeSync(), c.resume);
    }
    const std::string log = LogText();
    for (const char* line :
         {"IsStart30OfflineSync: Sync Status(1), MSYNC_FLAG_NETSERVICE = (1) MSYNC_FLAG_PAUSE = "
          "(0) MSYNC_FLAG_WAIT30S_SYNC = (0) MSYNC_FLAG_DISKCAUSE_SYNC = (1)",
          "IsDiskCauseSync return False, Net work error",
          "IsDiskCauseSync return False, Pause sync",
          "IsDiskCauseSync return False, Wait 30s offline",
          "IsDiskCauseSync return False, wait DISK CAUSE SYNC",
          "IsDiskCauseSync return False, has task status = (3)"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
}

TEST_F(SyncStatusTest, PostMsgCarriesTheStatusAndLogsTheArgument) {
    Reset(0, MSYNC_STATE_SYNCING);
    Status()->PostMsg(MSG_TASK_COMPLETED, 17, 99);
    EXPECT_EQ(Drain(), (std::vector<Posted>{{MSG_TASK_COMPLETED, 17, MSYNC_STATE_SYNCING}}));
    EXPECT_NE(LogText().find("post UI Msg msg = (2028) wparam = (17) lparam = (99)"),
              std::string::npos);
}

// The worker wakes on "StopSync" and reads the pause bit: it must see the new value.
TEST_F(SyncStatusTest, TheWokenWorkerSeesThePauseBit) {
    for (int round = 0; round < 50; ++round) {
        std::atomic<int> seen{-1};
        std::thread worker([&] {
            plat::WaitForSingleObject(Status()->GetSyncHandle(), plat::INFINITE);
            seen = Status()->GetFlag(MSYNC_FLAG_PAUSE);
        });
        const bool pause = round % 2 == 0;
        Status()->SetFlag(MSYNC_FLAG_PAUSE, pause);
        worker.join();
        ASSERT_EQ(seen, pause ? 1 : 0);
    }
}

// The builder's FIND must never overwrite the worker's SYNCING, whatever the interleaving.
TEST_F(SyncStatusTest, ConcurrentChangesKeepTheRules) {
    Reset(Bit(MSYNC_FLAG_NETSERVICE), MSYNC_STATE_IDLE);
    std::atomic<bool> done{false};
    std::atomic<int> broken{0};
    std::thread builder([&] {
        while (!done) {
            Status()->SetStatus(MSYNC_STATE_FIND, 0, OPEA_FLAG_DEFAULT);
            Status()->SetStatus(MSYNC_STATE_IDLE, 0, OPEA_FLAG_DEFAULT);
            Status()->SetFlag(MSYNC_FLAG_DISKCAUSE_SYNC, true);
            Status()->SetFlag(MSYNC_FLAG_DISKCAUSE_SYNC, false);
        }
    });
    std::thread watcher([&] {
        while (!done) {
            Status()->IsDiskCauseSync();
            Status()->SetFlag(MSYNC_FLAG_FILE4G, true);
            Status()->SetFlag(MSYNC_FLAG_FILE4G, false);
        }
    });
    for (int task = 0; task < 200; ++task) {
        Status()->SetStatus(MSYNC_STATE_SYNCING, 1, OPEA_FLAG_DEFAULT);
        for (int check = 0; check < 5; ++check) {
            if (Status()->GetStatus() != MSYNC_STATE_SYNCING) {
                ++broken;
            }
        }
        Status()->SetStatus(MSYNC_STATE_SYNCED, 0, OPEA_FLAG_DEFAULT);
    }
    done = true;
    builder.join();
    watcher.join();
    EXPECT_EQ(broken, 0);
    Drain();
}

}  // namespace
