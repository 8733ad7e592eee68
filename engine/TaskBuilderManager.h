#pragma once
// The task builder manager: the thread of the task builder. On MSG_THREAD_START it resumes a
// queue left by the last run, runs the start-up (boot cause) comparison and starts the
// watchers; afterwards it turns pause, resume and network messages into the task builder's
// reactions, and a confirmation of held deletions into their release.
//
// Threads: the control thread constructs it, starts its thread and posts to it; the manager
// thread runs Run and everything it calls. The builder's queue waits block the thread, so its
// messages wait meanwhile; PostQuit cuts those waits short.

#include "common/ThreadMgr.h"
#include "engine/TaskBuilder.h"

class CTaskBuilderManager : public CThreadMgr {
  public:
    CTaskBuilderManager() = default;
    // Ends the thread if it runs (PostQuit, then Stop); the builder ends the watchers.
    ~CTaskBuilderManager() override;

    CTaskBuilder& TaskBuilder() { return m_taskBuilder; }

    // Releases a left-over queue and waits for it to drain, runs the boot comparison (unless
    // MSYNC_FLAG_WAIT30S_SYNC leaves it to the 30-second tick), waits again, then StartWatch.
    // 0; 1 when a pause (or the end of the thread) cut it short, the watchers unstarted; 1 at
    // once when the engine starts paused (the resume does it all then).
    int init();
    // The message loop; 0 once WM_QUIT arrives (the watchers are ended first).
    int Run() override;
    // Tells the thread to end: its queue waits return at once, then WM_QUIT.
    void PostQuit();

  private:
    void OnMessage(const plat::MSG& msg);

    CTaskBuilder m_taskBuilder;
};
