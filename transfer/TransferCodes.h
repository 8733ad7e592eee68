#pragma once
// Result codes of the transfer operations, besides those of Rest (rest/RestResult.h), which
// pass through unchanged. The worker routes them: 0 and 101 succeed, 1 to 89 (a transport
// error of the HTTP layer) and 8014 are retried, everything else goes to the fail list.

constexpr int TRANSFER_OK = 0;
// The table store's second success code.
constexpr int TRANSFER_OK_STORE = 101;
// The task does not belong to the class, a folder was given to the upload, a file to the
// remote folder creation, or the parent folder is not in the local file table.
constexpr int TRANSFER_NOT_MINE = 7000;
// The downloaded content does not have the MD5 (or size) the listing gave: the partial file is
// dropped and the task fails, so the next comparison builds it again.
constexpr int TRANSFER_CONTENT_MISMATCH = 7001;
// Unsupported operation for the class; local folder creation failed; a local path that would
// lie outside the sync directory or runs through a link.
constexpr int TRANSFER_FAILED = 1001;
// A local delete or rename failed: 1000 plus the error (2: the item does not exist).
constexpr int TRANSFER_LOCAL_BASE = 1000;
constexpr int TRANSFER_LOCAL_MISSING = 1002;

// The service is still busy with the same storage name: an earlier attempt's request (of a
// process that was killed, say) has not ended on its side yet.
constexpr int TRANSFER_SERVICE_BUSY = 8014;

// Transport errors of the HTTP layer and a busy service: retried with a growing delay.
inline bool IsRetryable(int result) {
    return (result >= 1 && result <= 89) || result == TRANSFER_SERVICE_BUSY;
}
