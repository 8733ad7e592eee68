#include "engine/OfflineTasks.h"

#include "common/Utility.h"
#include "store/SyncTemporary.h"

namespace {

constexpr int kFromService = 0;
constexpr int kFromDisk = 1;

void Append(std::vector<TComand>& tasks, int origin, E_Oper oper, const TSyncFile& file) {
    TComand task;
    task.iType = origin;
    task.iOper = oper;
    task.tSyncFile = file;
    tasks.push_back(std::move(task));
}

void AppendAll(std::vector<TComand>& tasks, int origin, E_Oper oper,
               const std::vector<TSyncFile>& files) {
    for (const TSyncFile& file : files) {
        Append(tasks, origin, oper, file);
    }
}

// The record under another name in the same folder, without rename data.
TSyncFile Renamed(const TSyncFile& file, const std::wstring& name) {
    TSyncFile renamed = file;
    renamed.strName = name;
    renamed.strRelativePath = GetParentPath(file.strRelativePath) + L"\\" + name;
    renamed.dataExtension.dataReName = DataReName();
    return renamed;
}

}  // namespace

void BuildOfflineTasks(const TChangeGroup& disk, const TChangeGroup& server,
                       std::vector<TComand>& tasks) {
    tasks.clear();
    AppendAll(tasks, kFromDisk, OPER_DELETE, disk.deleted);
    AppendAll(tasks, kFromDisk, OPER_ADD, disk.added);
    for (const TSyncFile& file : disk.modified) {
        Append(tasks, kFromDisk, OPER_DELETE, file);
        Append(tasks, kFromDisk, OPER_ADD, file);
    }
    AppendAll(tasks, kFromService, OPER_RENAME, server.renamed);
    AppendAll(tasks, kFromService, OPER_DELETE, server.deleted);
    AppendAll(tasks, kFromService, OPER_ADD, server.added);
    for (const TSyncFile& file : server.modified) {
        const DataReName& names = file.dataExtension.dataReName;
        Append(tasks, kFromService, OPER_DELETE, Renamed(file, names.wstrOldName));
        Append(tasks, kFromService, OPER_ADD, Renamed(file, names.wstrNewName));
    }
}

void RefillServerTemporary(const TChangeGroup& server) {
    CSyncTemporary* temporary = CSyncTemporary::Get();
    temporary->ClearPlanned();
    for (const TSyncFile& file : server.added) {
        temporary->Add(file, OPER_ADD);
    }
    for (const TSyncFile& file : server.deleted) {
        temporary->Add(file, OPER_DELETE);
    }
    for (const TSyncFile& file : server.modified) {
        temporary->Add(file, OPER_MODIFY);
    }
    for (const TSyncFile& file : server.renamed) {
        temporary->Add(file, OPER_RENAME);
        // Once the worker has recorded the new name, the disk monitor no longer knows the old
        // one and reports the rename's echo as an addition of the new name.
        temporary->Add(Renamed(file, GetFileName(file.dataExtension.dataReName.wstrNewName)),
                       OPER_ADD);
    }
}
