#pragma once
// Single-item requests that change or query the service's file tree without moving content:
// details of one file, folder creation, deletion and rename. The record is changed only when
// the service answers code 0. Network errors are logged (source file "FileMgr.cpp"); results in
// RestResult.h.
//
// The transfer worker creates a fresh session (with 4) for each call.

#include "common/SyncRecords.h"
#include "rest/HttpCommBase.h"

class CFileMgr : public CHttpCommBase {
  public:
    explicit CFileMgr(int clientKind) : CHttpCommBase(clientKind) {}
    ~CFileMgr() override = default;

    // The service's time stamp and size of file iId into strServerTime and strFileSize, and
    // its content's MD5 into strMD5 when the answer gives one.
    int GetFileInfo(const UserInfo& user, TSyncFile& file);
    // Creates folder strName under iPId; the new id goes to iId (0 when the service's "msg"
    // is not a number).
    int MkDir(const UserInfo& user, TSyncFile& file);
    int FileDel(const UserInfo& user, TSyncFile& file);
    // Renames item iId to dataExtension.dataReName.wstrNewName.
    int FileRename(const UserInfo& user, TSyncFile& file);
};
