#include "engine/SyncFailFile.h"

#include "store/SyncFailArray.h"

int CSyncFailFile::DoAction(std::vector<TComand>& batch) {
    if (StopBatch(batch, "CSyncFailFile::DoAction")) {
        return 0;
    }
    RemoveTasks(batch,
                [](TComand& task) { return CSyncFailArray::Get()->CheakSyncFail(task) != 0; });
    return 0;
}
