#pragma once
// SIGINT and SIGTERM as an event, for a program that must end in order (tell the engine,
// wait for it) instead of dying at once. InstallStopSignals blocks both signals in the calling
// thread, which every thread started afterwards inherits, and takes them on a thread of its
// own that sets the event.
//
// Call it from main before any other thread starts; the event stays set once a signal came.

#include "platform/SyncObjects.h"

namespace plat {

// The manual-reset event set by the first SIGINT or SIGTERM.
EventPtr InstallStopSignals();

}  // namespace plat
