#pragma once
// Every task that moves no content: folder creation, deletion and rename on the service (tasks
// from the disk) or on the disk (tasks from the service). Local changes act only inside the
// sync directory, reached without following links; a path that would leave it or that runs
// through a link is refused with 1001. A deletion or rename of an item the service never gave
// an id (iId 0, a file created and removed before it synchronised) is done at once, without a
// request. Local deletions go to the desktop trash, and a folder deleted on the service takes
// with it only what the local file table records unchanged: anything else in it is kept, with
// the folders that hold it, and has its row dropped, so the next comparison uploads it. The
// same holds the other way: a folder deleted here takes with it on the service only what the
// table records unchanged there, and the rest comes down with the next comparison. A rename
// from the service never replaces what stands at the new name: the user's item there is kept
// under a backup name, as a download keeps it.

#include <string>
#include <vector>

#include "transfer/BaseTransfer.h"

class COtherTransfer : public CBaseTransfer {
  public:
    // By origin and operation; any combination not handled counts as done (0).
    int DoTask(TComand& task) override;

  private:
    static int ToService(TComand& task);
    static int ToDisk(TComand& task);
    // 1001 when the service answers no usable id for the new folder.
    static int MakeServiceFolder(const UserInfo& user, TSyncFile& file);
    // Deletes the item on the service unless the service changed it since the table's row was
    // written: then a log line says why, and the rows of the item (and of what the service
    // holds below a folder) are dropped, so the next comparison brings the service's version
    // down. Of a folder that holds what must stay, only what the table records unchanged is
    // deleted, as it would have gone with the folder; what stays keeps the folders that hold
    // it. An item already gone counts as deleted, and a folder that is on disk again is not
    // deleted. 0, or the failed request's result.
    static int DeleteOnService(const UserInfo& user, TSyncFile& file);
    static bool IsFolderOnDisk(const std::wstring& relativePath);
    // Asks the service for the file the row records; why is set when it holds other content.
    static int ServiceFileChange(const UserInfo& user, const TSyncFile& row, std::string& why);
    // What the service holds below a folder deleted here.
    struct TServiceFolder {
        std::string why;                   // set when anything below it has to stay
        std::vector<int> rows;             // the rows of the folder and of what lies below it
        std::vector<TSyncFile> unchanged;  // the topmost items below it that can go
    };
    // Reads the service's listing for what lies below the folder the row records: why is set
    // when anything there has no row or a file's content differs from its row; the ids of
    // the rows found there are added to rows, and the topmost items holding only what their
    // rows record unchanged to unchanged. 8002 when the service has no such folder.
    static int ServiceFolderChange(const UserInfo& user, const TSyncFile& row,
                                   TServiceFolder& survey);
    // Whether the item below a deleted folder stays on the service (no row, or a file whose
    // content differs from its row); sets why, and adds its row to rows.
    static bool StaysOnService(const TSyncFile& item, TServiceFolder& survey);
    // Deletes each of the survey's unchanged items on the service; one already gone counts as
    // deleted. 0, or the first failed request's result.
    static int DeleteUnchanged(const UserInfo& user, TServiceFolder& survey);
    // The item under the path its row records now: a rename of its folder that ran after the
    // comparison (or was queued before the deletions of the same comparison) moved the row, and
    // the task's path no longer names it.
    static TSyncFile WhereRecorded(const TSyncFile& file);
    static int MakeLocalFolder(const TSyncFile& file);
    // Deletion of the item (a folder: see TrashRecorded); DelToLacalEx is the second attempt
    // after a failed first one.
    static int DelToLocal(const TSyncFile& file);
    static int DelToLacalEx(const TSyncFile& file);
    static int RenameLocal(const TSyncFile& file);
    // The rename of the service's item finds its new name taken here: a folder merges into
    // the user's folder of that name; anything else the table does not record is kept under a
    // backup name (uploaded by the next comparison) and the item takes the name; a recorded
    // item stays, and the rename fails with EEXIST. 0 or the error.
    static int RenameOntoTaken(const TSyncFile& file, plat::CRootedPath& from,
                               plat::CRootedPath& to);
    // Moves the item to the trash: 0 when it is gone (or was never there), 1001 when the path
    // is refused, 1000 + the error otherwise.
    static int DeleteFolder(const TSyncFile& file);
    // Trashes what the folder holds that the table records unchanged (files of the recorded
    // size and time, and recorded folders left empty), then the folder itself when it is left
    // empty and is recorded or is the folder of the task (bTop). bKept is set when anything
    // stays. Rows of what was trashed or kept below the folder are dropped. 0 or the first
    // trash error.
    static int TrashRecorded(const plat::CRootedPath& folder, const std::wstring& relativePath,
                             bool bTop, bool& bKept);
    static int Trash(const plat::CRootedPath& item);
};
