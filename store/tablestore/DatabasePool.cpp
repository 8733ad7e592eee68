#include "store/tablestore/DatabasePool.h"

#include "common/AfLog.h"
#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "platform/Paths.h"

namespace {

const char* const kLogFile = "DatabasePool.cpp";

// The account name becomes a folder name: nothing that could lead out of user/.
bool IsUsableAccount(const std::string& account) {
    return !account.empty() && account != "." && account != ".." &&
           account.find('/') == std::string::npos && account.find('\0') == std::string::npos;
}

}  // namespace

CDatabasePool& CDatabasePool::Instance() {
    static CDatabasePool pool;
    return pool;
}

void CDatabasePool::SetAccount(const std::string& account) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (account != m_strAccount) {
        m_open = {};
        m_folder.clear();
        m_strAccount = account;
    }
}

std::string CDatabasePool::GetAccount() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strAccount;
}

int CDatabasePool::AccountFolder(std::filesystem::path& folder) {
    if (m_strAccount.empty()) {
        CGlobalSetting setting;
        setting.Load(L"config.ini");
        m_strAccount = WstringToString(setting.m_wstrUser);
    }
    if (!IsUsableAccount(m_strAccount)) {
        AfLog(4, kLogFile, "CDatabasePool::AccountFolder", __LINE__,
              "Error: no usable account for the table files (account = (%s))",
              m_strAccount.c_str());
        return SQLITE_CANTOPEN;
    }
    folder = plat::DataDir() / "user" / m_strAccount;
    return SQLITE_OK;
}

int CDatabasePool::Acquire(DbFile file, std::shared_ptr<CDatabase>& out) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::filesystem::path folder;
    int rc = AccountFolder(folder);
    if (rc != SQLITE_OK) {
        return rc;
    }
    if (folder != m_folder) {
        m_open = {};
        m_folder = folder;
    }
    auto& slot = m_open[static_cast<int>(file)];
    if (slot != nullptr && slot->HasMoved()) {
        AfLog(1, kLogFile, "CDatabasePool::Acquire", __LINE__,
              "table file %s was deleted or replaced; opening it again", slot->Path().c_str());
        slot.reset();
    }
    if (slot == nullptr) {
        rc = OpenFile(folder, file);
    }
    if (rc == SQLITE_OK) {
        out = slot;
    }
    return rc;
}

int CDatabasePool::OpenFile(const std::filesystem::path& folder, DbFile file) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    for (const auto& dir : {folder.parent_path(), folder}) {
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ec);
    }
    return CDatabase::Open(folder / DbFileName(file), file, m_open[static_cast<int>(file)]);
}
