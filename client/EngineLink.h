#pragma once
// What the client asks of the engine window "Ostrand": whether it exists, posted commands,
// and the stop on close (2036 sent, then the window's disappearance awaited). Any thread.

#include <cstdint>

#include "platform/ThreadMessage.h"

// The engine's window exists (the engine runs and answers).
bool IsEngineWindowPresent();

// Posts to the engine window; false when it is missing.
bool PostToEngine(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam);

// Waits, looking every 5 ms on the process clock, until the engine window exists, for at most
// maxWaitMs. True when it does.
bool WaitForEngineWindow(std::uint32_t maxWaitMs);

// Sends MSG_ENGINE_EXIT to the engine window and waits, looking every 5 ms on the process
// clock, until the window is gone, for at most maxWaitMs. True when no engine window is left.
bool StopEngine(std::uint32_t maxWaitMs = 30000);
