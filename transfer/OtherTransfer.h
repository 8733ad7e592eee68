#pragma once
// Every task that moves no content: folder creation, deletion and rename on the service (tasks
// from the disk) or on the disk (tasks from the service). Local changes act only inside the
// sync directory, reached without following links; a path that would leave it or that runs
// through a link is refused with 1001. A deletion or rename of an item the service never gave
// an id (iId 0, a file created and removed before it synchronised) is done at once, without a
// request. Local deletions go to the desktop trash, and a folder deleted on the service takes
// with it only what the local file table records unchanged: anything else in it is kept, with
// the folders that hold it, and has its row dropped, so the next comparison uploads it.

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
    // written: then nothing is deleted there, a log line says why, and the rows of the item
    // (and of what the service holds below a folder) are dropped, so the next comparison
    // brings the service's version down. An item already gone counts as deleted, and a folder
    // that is on disk again is not deleted. 0, or the failed request's result.
    static int DeleteOnService(const UserInfo& user, TSyncFile& file);
    static bool IsFolderOnDisk(const std::wstring& relativePath);
    // Asks the service for the file the row records; why is set when it holds other content.
    static int ServiceFileChange(const UserInfo& user, const TSyncFile& row, std::string& why);
    // Reads the service's listing for what lies below the folder the row records; why is set
    // when anything there has no row or a file's content differs from its row, and the ids of
    // the rows found there are added to rows. 8002 when the service has no such folder.
    static int ServiceFolderChange(const UserInfo& user, const TSyncFile& row, std::string& why,
                                   std::vector<int>& rows);
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
