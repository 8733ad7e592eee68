#pragma once
// What the store tests share: a fresh CORVENA_HOME with an account, the folder of its table
// files, the log text written so far, the stored file table, and record builders.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/SyncRecords.h"
#include "store/tablestore/DbBase.h"
#include "store/tablestore/TSyncFile.h"
#include "testing/LogText.h"
#include "testing/TempHome.h"

namespace store_test {

inline const char* const kAccount = "tester";

class StoreTest : public ::testing::Test {
  protected:
    StoreTest() { CDbBase::SetAccount(kAccount); }

    std::filesystem::path AccountDir() const { return home.path() / "data" / "user" / kAccount; }

    // Every log line written under this home so far.
    std::string LogText() const { return testing_support::LogText(home.path()); }

    // Every row of the file table as stored, through a connection of its own; fails the test on
    // any error (a busy one included).
    static std::vector<TSyncFile> StoredFiles() {
        CTSyncFile table;
        std::vector<TSyncFile> files;
        EXPECT_EQ(table.ConnectDB(), 0);
        EXPECT_EQ(table.GetFileInfo(files), 0);
        table.Disconnect();
        return files;
    }

    testing_support::TempHome home;
};

inline TSyncFile MakeFile(int id, const std::wstring& path, int type = 1) {
    TSyncFile file;
    file.iId = id;
    file.iPId = id / 10;
    file.strRelativePath = path;
    file.strName = path.substr(path.find_last_of(L'\\') + 1);
    file.strFileSize = std::to_string(id * 100);
    file.strModifyTime = "2024-01-02 03:04:05";
    file.strServerTime = "1700000000";
    file.iType = type;
    file.strMD5 = "0123456789abcdef0123456789abcdef";
    return file;
}

inline TComand MakeTask(int id, const std::wstring& path, int oper = OPER_ADD) {
    TComand task;
    task.iType = 1;
    task.iOper = oper;
    task.strSize = "100";
    task.tSyncFile = MakeFile(id, path);
    return task;
}

inline bool SameFile(const TSyncFile& a, const TSyncFile& b) {
    return a.iId == b.iId && a.iPId == b.iPId && a.strName == b.strName &&
           a.strRelativePath == b.strRelativePath && a.strFileSize == b.strFileSize &&
           a.strModifyTime == b.strModifyTime && a.strServerTime == b.strServerTime &&
           a.iType == b.iType && a.strMD5 == b.strMD5 &&
           a.dataExtension.eType == b.dataExtension.eType &&
           a.dataExtension.dataReName.wstrNewName == b.dataExtension.dataReName.wstrNewName &&
           a.dataExtension.dataReName.wstrOldName == b.dataExtension.dataReName.wstrOldName &&
           a.dataExtension.dataBreakPoint.iTaskType == b.dataExtension.dataBreakPoint.iTaskType &&
           a.dataExtension.dataBreakPoint.strTempName == b.dataExtension.dataBreakPoint.strTempName;
}

}  // namespace store_test
