#pragma once
// The table files this process has open: the three files of one account, under
// plat::DataDir()/user/<account>/. A file is opened on its first use and then kept open for the
// life of the process, so the connect, operate, disconnect rhythm of the table objects costs a
// look-up instead of an open.
//
// The account is the one set with SetAccount or, failing that, the account the desktop client
// remembers (user in config.ini), read at the first connect that finds none set. It then stays
// fixed for the process until SetAccount changes it: a running engine must never start writing
// one account's rows into another account's tables because the client logged in anew. The
// client, after a login through its dialog, sets the new account before it writes the user
// table (config.ini is saved only afterwards).
//
// When the data folder changes (another CORVENA_HOME) or a file was deleted or replaced under
// the open connection (the client forgetting an account), the files are opened anew.

#include <array>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "store/tablestore/Database.h"

class CDatabasePool {
  public:
    static CDatabasePool& Instance();

    void SetAccount(const std::string& account);
    std::string GetAccount();

    // SQLITE_OK with out set, or the code of CDatabase::Open; SQLITE_CANTOPEN with a log line
    // when there is no usable account name.
    int Acquire(DbFile file, std::shared_ptr<CDatabase>& out);

  private:
    int AccountFolder(std::filesystem::path& folder);
    int OpenFile(const std::filesystem::path& folder, DbFile file);

    std::mutex m_mutex;
    std::string m_strAccount;
    std::filesystem::path m_folder;
    std::array<std::shared_ptr<CDatabase>, kDbFileCount> m_open;
};
