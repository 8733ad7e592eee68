#pragma once
// One sync task is carried out by a transfer object that the worker chooses for it: CDownLoad
// brings file content from the service to the disk, CUpLoad sends it to the service and
// COtherTransfer does everything else (create, delete and rename, on either side). The objects
// hold no data of their own; network work goes through Rest with the account and the sync
// directory loaded by the state store.
//
// All content moves through one process-wide CSyncMgr session, kept for the life of the
// process, so that the transfer manager's speed queries, pause and resume reach the transfer
// that runs. Only the worker thread calls DoTask; the manager thread calls Pause and Resume
// while it runs (they only touch the session's atomics).

#include <string>

#include "common/SyncRecords.h"
#include "platform/RootedPath.h"

class CSyncMgr;

class CBaseTransfer {
  public:
    virtual ~CBaseTransfer() = default;
    CBaseTransfer() = default;
    CBaseTransfer(const CBaseTransfer&) = delete;
    CBaseTransfer& operator=(const CBaseTransfer&) = delete;

    // Carries the task out; a result code of TransferCodes.h or of Rest.
    virtual int DoTask(TComand& task) = 0;
    // Holds the running transfer of the shared session, or lets it go on. Return 0.
    virtual int Pause();
    virtual int Resume();
    // Bytes moved by the current or last transfer of the class's direction (0 for others).
    virtual int GetSize(double& value);
    virtual void SetSpeedLimit(int& limit);
    // Bytes per second of the current or last transfer of the class's direction.
    virtual int GetAverageSpeed(double& value);

    // The session every transfer of the process runs on, created on first use.
    static CSyncMgr& Session();

    // The item a relative path (.\a\b) names below the sync directory, reached folder by
    // folder without following a link (OpenRootedPath), so that nothing outside the sync
    // directory is ever read, written, renamed or trashed. 0; EINVAL when the path would not
    // name an item below it (not of the relative form, an empty, "." or ".." name, a "/" in a
    // name, the sync directory itself); ELOOP when a link stands on the way; ENOENT when a
    // folder on the way is missing (unless folders says to create it). Every refusal but
    // ENOENT writes a log line.
    static int LocalPath(const std::wstring& relativePath, plat::CRootedPath& item,
                         plat::EFolders folders = plat::EFolders::Existing);
    // The same for a native path that must lie below the sync directory.
    static int LocalPathOf(const std::wstring& absolute, plat::CRootedPath& item);
    // True when the item is the file the local file table records at relativePath, unchanged
    // since: a plain file of the recorded size and modification time. Anything in doubt (no
    // row, a folder row, a time or size missing from the row) is false.
    static bool IsRecordedUnchanged(const std::wstring& relativePath,
                                    const plat::CRootedPath& item);
    // Id of the parent folder of a relative path: 0 for the sync root, the file table's id of
    // the parent folder's row, or -1 when the table has none.
    static int FindParentId(const std::wstring& relativePath);

  protected:
    static UserInfo User();
    static std::wstring SyncDir();
    // Renames what stands at the target (file, folder or link) to a free backup name made from
    // its name, so that the service's item can take the name and the next comparison uploads
    // the kept one. file is the record of the item that takes the name, at the target's path:
    // the watcher's report of the move is recorded in the server temporary set as the engine's
    // own rename, never sent as the user's. 0 or the error.
    static int KeepAside(const TSyncFile& file, const plat::CRootedPath& target);
};
