#pragma once
// The plain records every deliverable passes around: the engine builds them, the state store
// keeps them in memory and in the table store, the transfer worker acts on them, the web API
// client fills them from the service and the desktop client reads them back. Field order and
// types are part of the interface between the libraries: change them only together.

#include <string>

enum E_Oper {
    OPER_MODIFY = 1,  // the item's record changed; no content is moved
    OPER_ADD = 2,     // a new item or new content: files are transferred, folders created
    OPER_DELETE = 3,
    OPER_RENAME = 4,  // dataExtension.dataReName holds the names
};

struct DataReName {
    std::wstring wstrNewName;
    std::wstring wstrOldName;
};

// A non-empty strTempName marks an interrupted transfer that is resumed from its break point.
struct DataBreakPoint {
    int iTaskType = 0;
    std::string strTempName;
};

struct DataExtension {
    int eType = 0;  // 2: rename data from the local disk
    DataReName dataReName;
    DataBreakPoint dataBreakPoint;
};

struct TSyncFile {
    int iId = 0;
    int iPId = 0;
    std::wstring strName;
    std::wstring strRelativePath;  // .\folder\name
    std::string strFileSize;
    std::string strModifyTime;  // "%4d-%02d-%02d %02d:%02d:%02d", local time
    std::string strServerTime;
    int iType = 0;  // 1 file, 0 folder
    std::string strMD5;
    DataExtension dataExtension;

    // Back to the defaults, in place.
    void Clear() { *this = TSyncFile(); }
};

struct TComand {
    int iType = 0;  // origin: 0 service, 1 local disk, 2 neither
    int iOper = 0;  // an E_Oper value
    std::string strSize;
    TSyncFile tSyncFile;
    std::string statement = "0";
    int iIdKey = -1;  // given by the task queue

    TComand() = default;
    TComand(const TComand&) = default;
    // Copies everything but statement: the queue and the lists copy tasks with this, so the
    // free text stays with the object it was written into.
    TComand& operator=(const TComand& other) {
        iType = other.iType;
        iOper = other.iOper;
        tSyncFile = other.tSyncFile;
        iIdKey = other.iIdKey;
        strSize = other.strSize;
        return *this;
    }
};

struct SyncFail {
    int errcode = -1;
    TComand tComand;
    int iReTry = -1;
    int iFailAutoKey = -1;
};

struct SyncCompleted {
    int iCmpdAutoKey = 0;
    TComand tComand;
};

struct SyncFolder {
    int iFolderId = 0;
    std::wstring wstrFolderName;
    int iCheckState = 0;  // 1: unchecked, the folder and what lies below it are not synced
};

struct UserInfo {
    std::string strUserId;
    std::string strAccount;
    std::string strPassword;
    std::string strUserType;
    std::string strToken;
    std::string strPushId;
    std::string strPersonalSpace;
    std::string strWebToken;
};

struct SystemInfo {
    std::wstring wstrSyncDir;
    std::string strUSpeed;
    std::string strDSpeed;
    std::string strSyncTime;
    bool bStop = false;
};

// One log line each, for the level-0 dump that follows a failed table operation. The output
// string is replaced.
void GetTraceStringSyncFile(TSyncFile file, std::string& out);
void GetTraceStringTCommand(TComand command, std::string& out);
void GetTraceStringFailTask(SyncFail fail, std::string& out);
void GetTraceStringCmpldTask(SyncCompleted completed, std::string& out);
