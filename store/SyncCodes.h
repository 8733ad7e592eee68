#pragma once
// The engine's status and flags, and the message codes exchanged between the engine, its
// worker threads and the desktop client. Header only: the client includes it without linking
// the state store.

// The engine's status. 0 is no status (SetStatus ignores it); 5 is handled like FIND and set by
// nobody.
enum SYNC_STATUS : int {
    MSYNC_STATE_IDLE = 1,
    MSYNC_STATE_FIND = 2,
    MSYNC_STATE_SYNCING = 3,
    MSYNC_STATE_SYNCED = 4,
};

// Bit positions of the flag word.
enum SYNC_FLAG : int {
    MSYNC_FLAG_PAUSE = 0,           // sync paused by the user
    MSYNC_FLAG_NETSERVICE = 1,      // the service is reachable
    MSYNC_FLAG_DISKCAUSE_SYNC = 2,  // an offline sync caused by a disk change is pending
    MSYNC_FLAG_WAIT30S_SYNC = 3,    // wait for the 30-second offline sync; no transfers start
    MSYNC_FLAG_SPACE_FULL = 4,      // an upload was refused for lack of space (9005)
    MSYNC_FLAG_FILE4G = 5,          // a file over 4 GB was left out
};

// Whether a status change is told to the client and which flags it consumes.
enum OPERATION_SYNC_FLAG : int {
    OPEA_FLAG_DEFAULT = 0,
    OPEA_FLAG_RESET = 1,
    OPEA_FLAG_QUIET = 2,
    OPEA_FLAG_RESUME = 3,
};

enum MSGCODE : unsigned {
    MSG_TASK_COMPLETED = 2028,          // worker to UI: iIdKey, status
    MSG_TASK_FAILED = 2029,             // worker to UI: iIdKey, status
    MSG_SYNC_STATUS = 2030,             // status owner to UI: flag word (0 for SYNCING), status
    MSG_SYNC_COMPLETE_ALL = 2033,       // worker to manager, manager to engine
    MSG_THREAD_START = 2034,            // engine control thread to its worker threads
    MSG_ENGINE_EXIT = 2036,             // client to engine
    MSG_ADJUST_PRIORITY = 2037,         // client to engine: task key
    MSG_ADJUST_PRIORITY_RESULT = 2038,  // engine to UI: task key, AdjustTaskPriority result
    MSG_GET_SPEED = 2039,               // client to engine
    MSG_SPEED = 2040,                   // engine to UI: upload, download value
    MSG_GET_MEANSPEED = 2041,           // client to engine
    MSG_MEANSPEED = 2042,               // engine to UI: upload, download mean
    // Engine to UI: an offline comparison held back deletions that would remove most of what
    // is synced (the local disk or the service emptied, a volume missing); wParam the number
    // of held deletions, lParam the same number. Sent after every comparison that still
    // holds some; nothing of them is deleted until the client answers MSG_RELEASE_DELETIONS.
    MSG_DELETIONS_HELD = 2043,
    // Engine to the thread named in a MSG_SYNC_NOW (request id, ESyncDoneResult): the
    // comparison started for that request and every task queued until then have finished, or
    // why they will not. A front end without a window of its own (a command that runs for one
    // request) waits on this instead of watching the status.
    MSG_SYNC_DONE = 2044,
    // Engine to the thread named in a MSG_GET_STATE: wParam the status in bits 0-7 and the
    // flag word in bits 8-15, lParam the number of held deletions. Lets a command that did
    // not start the engine read what the engine's own front end learns from its messages.
    MSG_STATE = 2045,
    MSG_SETTING_MAXSPEED = 4026,    // client to engine, engine to manager: limits
    MSG_SETTING_SYSTEM = 4027,      // client to engine
    MSG_SETTING_SYSTEM2 = 4028,     // client to engine
    MSG_SETTING_PAUSESYNC = 4029,   // client to engine, engine to manager
    MSG_SETTING_RESUMESYNC = 4030,  // client to engine, engine to manager
    MSG_SETTING_USER = 4031,        // client to engine
    MSG_SETTING_USER2 = 4032,       // client to engine
    MSG_SETTING_SYNCFOLDER = 4033,  // client to engine
    // Client to engine (0, 0): the user confirmed the deletions of the last MSG_DELETIONS_HELD.
    // The engine compares at once and carries out those of them that are still due.
    MSG_RELEASE_DELETIONS = 4034,
    // Client to engine (reply thread id, request id): compare now, as the 30-second tick
    // would, and answer MSG_SYNC_DONE to that thread once it and its tasks are done. While
    // tasks are queued the comparison waits for them, as a disk-caused comparison does; while
    // the 30-second sync is awaited (the account's space was full) that sync's comparison is
    // the one.
    MSG_SYNC_NOW = 4035,
    // Client to engine (reply thread id, 0): answer MSG_STATE to that thread.
    MSG_GET_STATE = 4036,
    MSG_ERR_SPACE_FULL = 5027,  // an upload was refused with 9005
    MSG_ERR_FILE4G = 5028,      // an upload was refused with 9003
    MSG_NET_SERVER = 5030,      // between the engine's threads: lParam 1 = reachable
    // Engine to UI (0, status): the sync directory is "/", or is, holds or lies inside the
    // program's own config, data, state or runtime folder; the engine does not sync it and
    // waits for MSG_ENGINE_EXIT.
    MSG_ERR_SYNCDIR_REFUSED = 5031,
    MSG_ERR_FILEPATH_TOOLONG = 7029,  // engine to UI
};

// Fail-list code of a service entry whose name cannot become a local name: it and everything
// below it are never synchronised. Its entry names the parent folder's path and the name as
// shown (CUnusableNameReport).
constexpr int SYNC_FAIL_UNUSABLE_NAME = 7002;

// lParam of MSG_SYNC_DONE.
enum ESyncDoneResult : int {
    SYNC_DONE_OK = 0,              // compared, and the queue has drained
    SYNC_DONE_PAUSED = 1,          // sync is paused: nothing is compared or transferred
    SYNC_DONE_OFFLINE = 2,         // the service is not reachable
    SYNC_DONE_ENDING = 3,          // the engine is ending
    SYNC_DONE_COMPARE_FAILED = 4,  // the comparison failed (no listing); the queue has drained
    // Tasks queued since the comparison began were dropped before they ran (the account's
    // space is full, the folder choice changed, the service was reported back); a later
    // comparison finds them again.
    SYNC_DONE_DROPPED = 5,
};
