#pragma once
// The records the service keeps in its metadata store. Plain values, copied freely.

#include <cstdint>
#include <string>

// One account. iQuota is in bytes, -1 for no limit.
struct TAccount {
    std::int64_t iId = 0;
    std::string strName;
    std::string strUserType;
    std::string strSpaceId;
    std::string strPushId;
    std::int64_t iQuota = -1;
    bool bDisabled = false;
    bool bExpired = false;
};

// One file or folder of an account's space. Times are microseconds since the epoch; the
// modification stamp is unique and rises on every change of content or name.
struct TEntry {
    std::int64_t iId = 0;
    std::int64_t iAccount = 0;
    std::int64_t iPId = 0;
    std::string strName;
    bool bDir = false;
    std::int64_t iSize = 0;
    std::string strMD5;
    std::int64_t iCreated = 0;
    std::int64_t iModified = 0;
};

// One registered upload: what the check announced, and the entry its commit made (0 before).
struct TUpload {
    std::string strStorageName;
    std::int64_t iAccount = 0;
    std::int64_t iPId = 0;
    std::string strName;
    std::int64_t iSize = 0;
    std::string strMD5;
    std::int64_t iFileId = 0;
};

// The answer of the version check. iNewest 0 answers the version the client sent, so that a
// client counts as current until a test says otherwise. iCode 2 answers "no version data".
struct TVersionAnswer {
    int iCode = 0;
    std::int64_t iNewest = 0;
    std::int64_t iForced = 0;
    std::string strNotes;
    std::string strAddress;
    std::string strMD5;
};

// The result of an operation on a space: a service code and, on success, the id concerned.
struct TOutcome {
    int iCode = 0;
    std::int64_t iId = 0;
};
