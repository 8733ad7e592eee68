#pragma once
// How the headless front end writes tasks and states as text: one line per item with its
// path and what is done to it, and the state words of the status line.
//
// Any thread; pure functions.

#include <string>

#include "common/SyncRecords.h"

// "upload", "download", "delete on the service", "delete locally", "rename ... ": what the
// task does, from its origin and operation.
std::string OperationText(const TComand& task);

// The task's full path in the sync directory (UTF-8).
std::string TaskPath(const TComand& task, const std::wstring& syncDir);

// Path and operation, tab-separated; for failures the reason (the detail window's text and
// the code) after a further tab.
std::string TaskLine(const TComand& task, const std::wstring& syncDir);
std::string FailLine(const SyncFail& fail, const std::wstring& syncDir);

// The status line's first word: "synced", "syncing", "finding", "idle", "paused", "offline"
// or "held", from the engine's status, flag word and number of held deletions.
std::string StateWord(int status, unsigned flags, unsigned held);
