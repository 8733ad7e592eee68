#pragma once
// Per-thread message queues with the semantics of Windows thread messages.
//
// A thread's queue is created on its first call of GetMessage, PeekMessage or
// MsgWaitForObject (or EnsureMessageQueue). Once it exists, other threads of this process
// and threads of other processes on this machine can post to it by thread id. Posting never
// blocks and fails when the target thread has no queue (it has not made one yet, or it has
// ended), like PostThreadMessageW. A queue is removed when its thread ends.
//
// Messages between processes carry only the three numbers; within one process lParam may
// carry a pointer, which the receiver owns. Other processes reach a queue through a socket
// named after the thread id, made in the runtime folder of the moment the queue is created
// (a test that changes CORVENA_HOME reaches only queues created after the change).

#include <cstdint>

namespace plat {

using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

class Window;
using HWND = Window*;

constexpr UINT WM_DESTROY = 2;
constexpr UINT WM_QUIT = 18;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_USER = 0x0400;

struct MSG {
    HWND hwnd = nullptr;  // the local window a window message is for; null for thread messages
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Kernel thread id (gettid): unique on the machine while the thread lives.
DWORD GetCurrentThreadId();

// Creates the calling thread's queue if it has none yet.
void EnsureMessageQueue();

// Posts to the queue of thread threadId, in this process or another one. Returns false (and
// nothing is queued) when that thread has no queue.
bool PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);

// Blocks until a message arrives. Returns 0 for WM_QUIT, otherwise a positive value; -1 on a
// broken queue. Window messages are returned too (msg->hwnd set) for DispatchMessage.
int GetMessage(MSG* msg);

// Takes (remove = true) or only looks at the oldest message. Returns false when the queue is
// empty.
bool PeekMessage(MSG* msg, bool remove);

// Posts WM_QUIT with the exit code to the calling thread.
void PostQuitMessage(int exitCode);

}  // namespace plat
