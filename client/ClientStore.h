#pragma once
// The client's reads and writes of the table store: the system table's settings, the user
// record, and dropping an account's data. Each call connects, does one operation and
// disconnects, so any thread may call them.

#include <string>

#include "common/SyncRecords.h"

// Connects a table object of that class, runs operation(table) and disconnects: 0 or the first
// failure's result.
template <typename Table, typename Operation>
int WithTable(Operation operation) {
    Table table;
    int result = table.ConnectDB();
    if (result == 0) {
        result = operation(table);
    }
    table.Disconnect();
    return result;
}

// The value of a system-table key; empty when never set or unreadable.
std::wstring GetSystemConfig(const std::string& key);
// 0 or the store's result.
int SetSystemConfig(const std::string& key, const std::wstring& value);

// Reads the stored account record of the account the store is set to; 0 or the store's
// result (1001: none stored yet).
int ReadUserRecord(UserInfo& info);
int WriteUserRecord(const UserInfo& info);

// ClearUserData: empties every table of the remembered account, deletes its three table files
// and clears the remembered account in config.ini.
void ClearUserData();
// The same for the named account (the tables of the account the store is set to): for a
// caller that has cleared the remembered account already, so that no front end starts the
// engine on it meanwhile.
void ClearAccountData(const std::wstring& account);
