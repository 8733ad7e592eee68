#pragma once
// What the engine's tests share: one reference service for the whole test program (the
// transfer session is process-wide and keeps the address it was created with), a fresh
// CORVENA_HOME and a fresh account per test, stored where the engine reads them; a stand-in
// for the desktop client's message thread, which keeps every message the engine posts to it;
// and the three views whose agreement ends every scenario: the files and folders on disk, the
// service's listing and the local file table.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/GlobalSetting.h"
#include "common/SyncRecords.h"
#include "common/Utility.h"
#include "platform/SyncObjects.h"
#include "platform/ThreadMessage.h"
#include "store/SyncStatus.h"
#include "store/tablestore/SystemInfo.h"
#include "store/tablestore/TSyncFile.h"
#include "testing/FileText.h"
#include "testing/RefServiceProcess.h"
#include "testing/ServiceEnvironment.h"
#include "testing/TempHome.h"
#include "testing/TransferHome.h"
#include "testing/TrashHome.h"
#include "testing/WaitUntil.h"

namespace engine_test {

using testing_support::CRefServiceProcess;
using testing_support::JsonObject;
using testing_support::WaitUntil;

constexpr const char* kPassword = testing_support::kServicePassword;
constexpr const char* kPasswordBase64 = testing_support::kServicePasswordBase64;

inline auto* const serviceEnvironment =
    ::testing::AddGlobalTestEnvironment(new testing_support::ServiceEnvironment);
inline auto* const trashHome = ::testing::AddGlobalTestEnvironment(new testing_support::TrashHome);

inline CRefServiceProcess& Service() {
    return *testing_support::ServiceEnvironment::Process();
}

// The desktop client's message thread as far as the engine sees it: a thread with a queue of
// its own (made after the test's CORVENA_HOME is set, so that another process reaches it) that
// keeps every message.
class CClientStandIn {
  public:
    CClientStandIn() {
        auto ready = plat::CreateEvent(true, false);
        m_thread = std::thread([this, ready] {
            plat::EnsureMessageQueue();
            m_dwThreadId = plat::GetCurrentThreadId();
            plat::SetEvent(ready);
            plat::MSG msg;
            while (plat::GetMessage(&msg) > 0) {
                std::lock_guard<std::mutex> guard(m_mutex);
                m_messages.push_back(msg);
            }
        });
        plat::WaitForSingleObject(ready, plat::INFINITE);
    }
    ~CClientStandIn() {
        plat::PostThreadMessage(m_dwThreadId, plat::WM_QUIT, 0, 0);
        m_thread.join();
    }
    CClientStandIn(const CClientStandIn&) = delete;
    CClientStandIn& operator=(const CClientStandIn&) = delete;

    plat::DWORD ThreadId() const { return m_dwThreadId; }

    std::vector<plat::MSG> Messages() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_messages;
    }
    std::size_t Count(plat::UINT message) const {
        std::vector<plat::MSG> messages = Messages();
        return std::count_if(messages.begin(), messages.end(),
                             [message](const plat::MSG& msg) { return msg.message == message; });
    }
    // The last message of that id; message 0 when none came.
    plat::MSG Last(plat::UINT message) const {
        std::vector<plat::MSG> messages = Messages();
        for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
            if (it->message == message) {
                return *it;
            }
        }
        return plat::MSG();
    }

  private:
    std::thread m_thread;
    std::atomic<plat::DWORD> m_dwThreadId{0};
    mutable std::mutex m_mutex;
    std::vector<plat::MSG> m_messages;
};

// One view: "a/b" of every item, with "dir" for a folder and the MD5 for a file.
using TView = std::map<std::string, std::string>;

inline std::string Slashed(std::wstring relative) {
    if (relative.rfind(L".\\", 0) == 0) {
        relative.erase(0, 2);
    }
    std::replace(relative.begin(), relative.end(), L'\\', L'/');
    return WstringToString(relative);
}

// Everything below the sync directory but hidden items, which are never synced.
inline TView DiskView(const std::filesystem::path& syncDir) {
    TView view;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(syncDir, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        if (it->path().filename().string().front() == '.') {
            it.disable_recursion_pending();
            continue;
        }
        const std::string relative = std::filesystem::relative(it->path(), syncDir).string();
        view[relative] = it->is_directory() ? "dir" : GetFileMd5(it->path().string());
    }
    return view;
}

inline TView ListingView(const std::string& account) {
    TView view;
    for (const Json::Value& entry : Service().Tree(account)) {
        view[entry["path"].asString()] = entry["isdir"].asBool() ? "dir" : entry["md5"].asString();
    }
    return view;
}

// The stored local file table, read through a connection of its own.
inline TView TableView() {
    TView view;
    CTSyncFile table;
    std::vector<TSyncFile> rows;
    if (table.ConnectDB() == 0) {
        table.GetFileInfo(rows);
    }
    table.Disconnect();
    for (const TSyncFile& row : rows) {
        view[Slashed(row.strRelativePath)] = row.iType == 0 ? "dir" : row.strMD5;
    }
    return view;
}

inline std::string ViewText(const TView& view) {
    std::string text;
    for (const auto& [path, what] : view) {
        text += path + " " + what + "\n";
    }
    return text;
}

using testing_support::PatternContent;

// A fresh home and account: config.ini names the service and the account, the account has
// logged in and its record and the sync directory are stored.
class EngineHome {
  public:
    EngineHome() {
        static std::atomic<int> accounts{0};
        account = "user" + std::to_string(getpid()) + "x" + std::to_string(++accounts);
        Service().Control("/admin/account",
                          JsonObject({{"user", account}, {"password", kPassword}}));
        prepared = testing_support::PrepareTransferHome(Service().Address(), account,
                                                        kPasswordBase64, syncDir);
        if (prepared.empty() &&
            CGlobalSetting().SetValue(L"main", L"user", StringToWstring(account), L"config.ini") !=
                0) {
            prepared = "cannot write the account to config.ini";
        }
    }

    static void SetNetState(const std::wstring& value) {
        CSystemInfo config;
        ASSERT_EQ(config.ConnectDB(), 0);
        ASSERT_EQ(config.SetConfig("NetState", value), 0);
        config.Disconnect();
    }

    std::filesystem::path Local(const std::string& relative) const { return syncDir / relative; }
    void WriteLocal(const std::string& relative, const std::string& content) const {
        std::filesystem::create_directories(Local(relative).parent_path());
        testing_support::WriteWholeFile(Local(relative), content);
    }

    // True once disk, listing and table hold the same items with the same content.
    bool ViewsAgree() const {
        const TView disk = DiskView(syncDir);
        return disk == ListingView(account) && disk == TableView();
    }
    std::string ViewsText() const {
        return "disk:\n" + ViewText(DiskView(syncDir)) + "listing:\n" +
               ViewText(ListingView(account)) + "table:\n" + ViewText(TableView());
    }

    testing_support::TempHome home;
    std::filesystem::path syncDir = home.path() / "sync";
    std::string account;
    std::string prepared;
};

// Requests that would change the service, by endpoint ("/upload", "/rename", "/delete"...).
inline int CountRequests(const std::string& fragment) {
    int count = 0;
    for (const testing_support::TRecorded& request : Service().Requests()) {
        count += request.strTarget.find(fragment) != std::string::npos ? 1 : 0;
    }
    return count;
}

}  // namespace engine_test
