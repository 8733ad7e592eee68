#include "engine/NoSyncFolder.h"

#include "store/SyncFolderArray.h"

int CNoSyncFolder::DoAction(std::vector<TComand>& batch) {
    if (StopBatch(batch, "CNoSyncFolder::DoAction")) {
        return 0;
    }
    RemoveTasks(batch, [](TComand& task) {
        const TSyncFile& file = task.tSyncFile;
        return CSyncFolderArray::Get()->CheakSyncFolderFile(file.strRelativePath, file.iType,
                                                            file.iId) == 0;
    });
    return 0;
}
