#pragma once
// What the filter chain's tests share: a fresh CORVENA_HOME with an account whose sync
// directory is stored in the system table, the state store read from its real tables, status
// and flags cleared, and readers for what a batch left behind (the queue in memory and in its
// table, the fail list, the log lines of the rules, the messages posted to this thread).

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/SyncRecords.h"
#include "common/Utility.h"
#include "platform/SyncObjects.h"
#include "platform/ThreadMessage.h"
#include "store/SyncCodes.h"
#include "store/SyncFailArray.h"
#include "store/SyncFolderArray.h"
#include "store/SyncStatus.h"
#include "store/SyncTemporary.h"
#include "store/SyncingTaskArray.h"
#include "store/SystemInfoLD.h"
#include "store/tablestore/DbBase.h"
#include "store/tablestore/SyncingTask.h"
#include "store/tablestore/SystemInfo.h"
#include "testing/LogText.h"
#include "testing/TempHome.h"

namespace filter_test {

constexpr unsigned Bit(int flag) {
    return 1u << flag;
}

// A task as the disk monitor builds it: origin disk, an add of a file at the top of the sync
// directory.
inline TComand Task(const std::wstring& name, int oper = OPER_ADD, int origin = 1,
                    const std::string& size = "100") {
    TComand task;
    task.iType = origin;
    task.iOper = oper;
    task.strSize = size;
    TSyncFile& file = task.tSyncFile;
    file.strName = name;
    file.strRelativePath = L".\\" + name;
    file.strFileSize = size;
    file.strModifyTime = "2024-01-02 03:04:05";
    file.strServerTime = "1700000000";
    file.iType = 1;
    return task;
}

inline TComand Rename(const std::wstring& oldName, const std::wstring& newName) {
    TComand task = Task(oldName, OPER_RENAME);
    task.tSyncFile.dataExtension.eType = 2;
    task.tSyncFile.dataExtension.dataReName.wstrOldName = oldName;
    task.tSyncFile.dataExtension.dataReName.wstrNewName = newName;
    return task;
}

// A file whose absolute path in syncDir has exactly count characters other than separators;
// the name is placed in a folder whose name makes up the rest.
inline TComand LongPathTask(const std::wstring& name, int count, const std::wstring& syncDir) {
    int dirCount = 0;
    for (wchar_t c : syncDir) {
        dirCount += c != L'/' ? 1 : 0;
    }
    const int folderLength = count - dirCount - static_cast<int>(name.size());
    EXPECT_GT(folderLength, 0);
    TComand task = Task(name);
    task.tSyncFile.strRelativePath =
        L".\\" + std::wstring(static_cast<std::size_t>(folderLength), L'd') + L"\\" + name;
    return task;
}

class FilterTest : public ::testing::Test {
  protected:
    static constexpr const char* kAccount = "tester";

    void SetUp() override {
        CDbBase::SetAccount(kAccount);
        plat::EnsureMessageQueue();
        std::filesystem::create_directories(syncDir);
        CSystemInfo config;
        ASSERT_EQ(config.ConnectDB(), 0);
        ASSERT_EQ(config.SetConfig("SyncDir", SyncDir()), 0);
        config.Disconnect();
        ASSERT_TRUE(CSystemInfoLD::Get()->ReLoad());
        ASSERT_EQ(CSyncingTaskArray::Get()->ReLoad(), 0);
        ASSERT_EQ(CSyncFailArray::Get()->ReLoad(), 0);
        ASSERT_EQ(CSyncFolderArray::Get()->ReLoad(), 0);
        CSyncTemporary::Get()->Clear();
        ResetStatus(0, MSYNC_STATE_IDLE);
        while (CSyncingTaskArray::Get()->Wait(0) == plat::WAIT_OBJECT_0) {
        }
        DrainMessages();
    }

    void TearDown() override {
        // The singletons outlive the home: leave them as the next test expects to find them.
        ResetStatus(0, MSYNC_STATE_IDLE);
    }

    std::wstring SyncDir() const { return StringToWstring(syncDir.string()); }

    // Status and flags as given; the pause bit is set last, since setting it clears the
    // disk-cause and wait bits.
    static void ResetStatus(unsigned flags, int status) {
        CSyncStatus* s = CSyncStatus::Get();
        for (int flag = 0; flag <= 6; ++flag) {
            s->SetFlag(static_cast<SYNC_FLAG>(flag), false);
        }
        s->SetStatus(static_cast<SYNC_STATUS>(status), 1, OPEA_FLAG_QUIET);
        for (int flag = 1; flag <= 6; ++flag) {
            if ((flags & Bit(flag)) != 0) {
                s->SetFlag(static_cast<SYNC_FLAG>(flag), true);
            }
        }
        if ((flags & Bit(MSYNC_FLAG_PAUSE)) != 0) {
            s->SetFlag(MSYNC_FLAG_PAUSE, true);
        }
    }

    // The names of the queued tasks, front first, checked against the stored copy (same keys,
    // same names); the queue is emptied.
    static std::vector<std::wstring> TakeQueued() {
        CSyncingTask table;
        std::vector<TComand> stored;
        EXPECT_EQ(table.ConnectDB(), 0);
        EXPECT_EQ(table.GetAllSyncingTask(stored), 0);
        table.Disconnect();
        std::vector<std::wstring> names;
        std::vector<int> keys;
        TComand task;
        while (CSyncingTaskArray::Get()->GetTask(task) == 1) {
            names.push_back(task.tSyncFile.strName);
            keys.push_back(task.iIdKey);
            CSyncingTaskArray::Get()->pop_front();
        }
        std::vector<std::wstring> storedNames;
        std::vector<int> storedKeys;
        for (const TComand& row : stored) {
            storedNames.push_back(row.tSyncFile.strName);
            storedKeys.push_back(row.iIdKey);
        }
        EXPECT_EQ(storedNames, names) << "the stored queue differs from the queue in memory";
        EXPECT_EQ(storedKeys, keys);
        return names;
    }

    static std::vector<SyncFail> Fails() {
        std::vector<SyncFail> fails;
        CSyncFailArray::Get()->GetFialTask(fails);
        return fails;
    }

    // The lines of the rules ("LogicSync.cpp") written under this home so far.
    std::vector<std::string> RuleLines() const {
        std::vector<std::string> lines;
        std::istringstream text(testing_support::LogText(home.path()));
        std::string line;
        while (std::getline(text, line)) {
            if (line.find("LogicSync.cpp") != std::string::npos) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    // How many rule lines of that function ("CFileFilter::DoAction") hold the text.
    int CountLines(const std::string& function, const std::string& text) const {
        int count = 0;
        for (const std::string& line : RuleLines()) {
            if (line.find(" " + function + "():") != std::string::npos &&
                line.find(text) != std::string::npos) {
                ++count;
            }
        }
        return count;
    }

    // The next message posted to this thread, waiting up to the time-out; false without one.
    static bool NextMessage(plat::MSG& msg,
                            std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        if (plat::MsgWaitForObject(nullptr, static_cast<plat::DWORD>(timeout.count())) ==
            plat::WAIT_TIMEOUT) {
            return false;
        }
        return plat::PeekMessage(&msg, true);
    }

    static std::vector<plat::MSG> DrainMessages() {
        std::vector<plat::MSG> messages;
        plat::MSG msg;
        while (plat::PeekMessage(&msg, true)) {
            messages.push_back(msg);
        }
        return messages;
    }

    testing_support::TempHome home;
    std::filesystem::path syncDir = home.path() / "sync";
};

}  // namespace filter_test
