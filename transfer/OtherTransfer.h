#pragma once
// Every task that moves no content: folder creation, deletion and rename on the service (tasks
// from the disk) or on the disk (tasks from the service). Local changes act only inside the
// sync directory; a path that would leave it is refused with 1001. Local deletions go to the
// desktop trash.

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
    static int MakeLocalFolder(const TSyncFile& file);
    // Deletion with the folder's path ending in a separator, then, if that failed, without.
    static int DelToLocal(const TSyncFile& file);
    static int DelToLacalEx(const TSyncFile& file);
    static int RenameLocal(const TSyncFile& file);
    // Moves the item (a folder with everything below it) to the trash: 0 when nothing is left,
    // 1000 + the error otherwise.
    static int DeleteFolder(const std::wstring& path);
};
