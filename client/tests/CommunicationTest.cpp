#include "client/Communication.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "store/SyncCodes.h"
#include "testing/TempHome.h"
#include "testing/WaitUntil.h"

namespace {

using testing_support::WaitUntil;

struct Recorder {
    std::mutex mutex;
    std::vector<std::string> calls;
    void Add(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(text);
    }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
};

CCommunication::Callback Record(Recorder& recorder, const std::string& name) {
    return [&recorder, name](std::uint32_t w, std::uint32_t l) {
        recorder.Add(name + ":" + std::to_string(w) + "," + std::to_string(l));
    };
}

TEST(CommunicationTest, DispatchCallsInRegistrationOrderAndRemoveDropsOnlyThatOwner) {
    CCommunication& comm = CCommunication::Get();
    Recorder recorder;
    int first = 0;
    int second = 0;
    comm.AddListener(9101, Record(recorder, "a1"), &first);
    comm.AddListener(9101, Record(recorder, "b"), &second);
    comm.AddListener(9101, Record(recorder, "a2"), &first);
    comm.AddListener(9102, Record(recorder, "a3"), &first);
    comm.Dispatch(9101, 7, 8);
    EXPECT_EQ(recorder.Calls(), (std::vector<std::string>{"a1:7,8", "b:7,8", "a2:7,8"}));

    comm.RemoveListener(&first);
    comm.Dispatch(9101, 1, 2);
    comm.Dispatch(9102, 1, 2);
    EXPECT_EQ(recorder.Calls().back(), "b:1,2");
    EXPECT_EQ(recorder.Calls().size(), 4u);
    comm.RemoveListener(&second);
    comm.Dispatch(9101, 3, 4);
    EXPECT_EQ(recorder.Calls().size(), 4u);
}

// The message thread hands out posted messages; a completed task's callbacks get the status
// first and the task key second; 12025 reaches nobody; WM_QUIT ends the thread with 0.
TEST(CommunicationTest, MessageThreadDispatchesPostedMessages) {
    testing_support::TempHome home;
    CCommunication& comm = CCommunication::Get();
    Recorder recorder;
    int owner = 0;
    comm.AddListener(MSG_SYNC_STATUS, Record(recorder, "status"), &owner);
    comm.AddListener(MSG_TASK_COMPLETED, Record(recorder, "completed"), &owner);
    comm.AddListener(MSG_IGNORED_12025, Record(recorder, "ignored"), &owner);

    int exitCode = -1;
    std::thread thread([&] { exitCode = comm.MessageThread(); });
    ASSERT_TRUE(WaitUntil([&] { return comm.MessageThreadId() != 0; }));
    plat::DWORD id = comm.MessageThreadId();
    ASSERT_TRUE(plat::PostThreadMessage(id, MSG_SYNC_STATUS, 0x22, MSYNC_STATE_SYNCED));
    ASSERT_TRUE(plat::PostThreadMessage(id, MSG_IGNORED_12025, 1, 1));
    ASSERT_TRUE(plat::PostThreadMessage(id, MSG_TASK_COMPLETED, 41, MSYNC_STATE_SYNCING));
    ASSERT_TRUE(WaitUntil([&] { return recorder.Calls().size() >= 2; }));
    EXPECT_EQ(recorder.Calls(), (std::vector<std::string>{"status:34,4", "completed:3,41"}));
    EXPECT_EQ(comm.LastSyncState(), MSYNC_STATE_SYNCED);

    ASSERT_TRUE(comm.StopMessageThread());
    thread.join();
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(comm.MessageThreadId(), 0u);
    EXPECT_FALSE(comm.StopMessageThread());
    comm.RemoveListener(&owner);
}

// A window that closes while one of its callbacks runs on the message thread: RemoveListener
// returns only after that callback has ended.
TEST(CommunicationTest, RemoveListenerWaitsForTheRunningDispatch) {
    testing_support::TempHome home;
    CCommunication& comm = CCommunication::Get();
    Recorder recorder;
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
    bool release = false;
    int owner = 0;
    comm.AddListener(
        9201,
        [&](std::uint32_t, std::uint32_t) {
            std::unique_lock<std::mutex> lock(mutex);
            started = true;
            changed.notify_all();
            changed.wait(lock, [&] { return release; });
            recorder.Add("callback ended");
        },
        &owner);
    std::thread thread([&] { comm.MessageThread(); });
    ASSERT_TRUE(WaitUntil([&] { return comm.MessageThreadId() != 0; }));
    ASSERT_TRUE(plat::PostThreadMessage(comm.MessageThreadId(), 9201, 0, 0));
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return started; });
    }
    std::thread remover([&] {
        comm.RemoveListener(&owner);
        recorder.Add("removed");
    });
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    changed.notify_all();
    remover.join();
    EXPECT_EQ(recorder.Calls(), (std::vector<std::string>{"callback ended", "removed"}));
    comm.StopMessageThread();
    thread.join();
}

}  // namespace
