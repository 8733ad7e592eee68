#pragma once
// The "code" values the service answers. The client adds 8000 to them (9000 for the upload
// check), so each value is chosen for the reaction it must cause there: the upload check's 3
// and 5 become 9003 (files of 4 GiB or more) and 9005 (space full), the space info's 10
// becomes 8010 (account disabled), a download's 2 becomes 8002 (the item is gone, so the
// partial local file is dropped). Login answers its own three codes.

enum E_SvcCode : int {
    SVC_OK = 0,
    SVC_BAD_REQUEST = 1,     // a parameter is missing, malformed or not decodable
    SVC_NOT_FOUND = 2,       // unknown id, parent or content offset
    SVC_TOO_LARGE = 3,       // upload check: the file has 4 GiB or more
    SVC_BAD_IDENTITY = 4,    // identity headers or space id do not name a valid session
    SVC_QUOTA_EXCEEDED = 5,  // the upload would exceed the account's quota
    SVC_BAD_NAME = 6,        // empty, ".", "..", a "/", "\" or NUL, not UTF-8, over 255 bytes
    SVC_NAME_EXISTS = 7,     // another item of that name is in the target folder
    SVC_BAD_OFFSET = 8,      // data does not continue where the stored part ends, or is short
    SVC_CONTENT_HELD = 9,    // upload check: the content is already held; "fid" names the entry
    SVC_ACCOUNT_DISABLED = 10,
    SVC_MD5_MISMATCH = 11,    // commit: the received data does not have the announced MD5
    SVC_UNKNOWN_UPLOAD = 12,  // the storage name is unknown
    SVC_NOT_A_FOLDER = 13,    // a parent that is a file, or a download of a folder
    SVC_BUSY = 14,            // another request is transferring to the same storage name
    SVC_STORAGE_FAILURE = 15  // the service's disk failed (full, unreadable)
};

// Login answers these instead; they give the client's texts for a disabled account, a wrong
// name or password, and an expired account.
enum E_LoginCode : int {
    LOGIN_DISABLED = 2,
    LOGIN_REJECTED = 3,
    LOGIN_EXPIRED = 5,
};
