#include "store/tablestore/SyncFolder.h"

#include "store/tablestore/Database.h"
#include "store/tablestore/Statement.h"

CSyncFolder::CSyncFolder() : CDbBase(DbFile::kSync) {}

int CSyncFolder::ConnectDB() {
    return Connect();
}

int CSyncFolder::GetSyncFolderArr(std::vector<SyncFolder>& folders) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db,
                         "SELECT iFolderId, wstrFolderName, iCheckState FROM SyncFolder "
                         "ORDER BY iFolderId");
    int rc = statement.ReadRows(folders, [](const CStatement& row, SyncFolder& folder) {
        folder.iFolderId = row.Int(0);
        folder.wstrFolderName = row.WText(1);
        folder.iCheckState = row.Int(2);
    });
    return Checked(rc, "CSyncFolder::GetSyncFolderArr");
}

int CSyncFolder::AddSyncFolder(const SyncFolder& folder) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db,
                         "INSERT OR REPLACE INTO SyncFolder(iFolderId, wstrFolderName, "
                         "iCheckState) VALUES(?, ?, ?)");
    statement.Bind(1, folder.iFolderId);
    statement.Bind(2, folder.wstrFolderName);
    statement.Bind(3, folder.iCheckState);
    return Checked(statement.Run(), "CSyncFolder::AddSyncFolder");
}
