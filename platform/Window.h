#pragma once
// Windows without a display, as the engine's hidden window "Ostrand" needs them: a title, a
// window procedure and the thread that created it, whose message loop (GetMessage +
// DispatchMessage) calls the procedure. Other processes of this user find a window by its
// title and post or send it messages; it is reachable from outside through a socket named
// after the title in the runtime folder, which lives as long as the window and its process.
//
// Only the three numbers of a message cross between processes. Titles are unique on the
// machine: creating a second live window of the same title fails.

#include <functional>
#include <string>

#include "platform/ThreadMessage.h"

namespace plat {

using WNDPROC = std::function<LRESULT(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)>;

// How long SendMessage waits for the procedure's result, on plat::Clock. A window whose thread
// hangs, or whose process is stopped, must not hang the sender for ever; the engine's own exit
// handling takes about a second, well inside it.
constexpr DWORD SEND_MESSAGE_TIMEOUT_MS = 10000;

// Creates a window owned by the calling thread (whose queue is created if needed). Returns
// null when the procedure is empty, when a live window of that title exists on this machine,
// or when its socket cannot be made (no runtime folder, title too long for a socket name).
HWND CreateWindow(const std::wstring& title, WNDPROC procedure);

// Sends WM_DESTROY to the procedure and removes the window; messages still queued for it are
// dropped and senders waiting on it get no result. Only the owning thread may destroy a
// window; false otherwise. A thread that ends destroys its windows (without WM_DESTROY).
bool DestroyWindow(HWND hwnd);

// A window of this process or of another one by its exact title, or null. A socket left behind
// by a process that died is not a window. The handle of another process's window stays valid
// for the life of this process; IsWindow tells whether that window still exists.
HWND FindWindow(const std::wstring& title);
bool IsWindow(HWND hwnd);

// Queues the message for the window's thread without blocking. A null hwnd posts to the
// calling thread. False when the window (or its thread's queue) is gone.
bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Has the window's procedure handle the message and returns its result: directly when the
// caller owns the window, otherwise inside the owner's GetMessage or PeekMessage while the
// caller waits. SendMessage gives up after SEND_MESSAGE_TIMEOUT_MS and returns 0, as it does
// when the window is gone; SendMessageTimeout tells these cases apart (false, *result 0).
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool SendMessageTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                        LRESULT* result);

// Calls the procedure of msg->hwnd when it is a window of the calling thread and returns its
// result; 0 for thread messages and for other windows.
LRESULT DispatchMessage(const MSG* msg);

// What a procedure returns for messages it does not handle.
LRESULT DefWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace plat
