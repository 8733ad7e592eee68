#pragma once
// How the records map onto table columns. FileInfo holds the TSyncFile fields under their own
// names; the task tables put the TComand fields first and the task's file after them, prefixed
// "file_" (a task and its file both have an iType).

#include <string>

#include "common/SyncRecords.h"
#include "store/tablestore/Statement.h"

inline constexpr int kSyncFileColumnCount = 14;
inline constexpr int kComandColumnCount = 5 + kSyncFileColumnCount;

// "iId INTEGER NOT NULL DEFAULT 0, ..." with the prefix before each name.
std::string SyncFileColumnDefs(const std::string& prefix);
// "iId, iPId, ..." with the prefix before each name.
std::string SyncFileColumnNames(const std::string& prefix);
std::string ComandColumnDefs();
std::string ComandColumnNames();
// "?, ?, ..." for count parameters.
std::string Placeholders(int count);

// Bind to the parameters from first on, or read from the columns from first on, in the order
// of the names above.
void BindSyncFile(CStatement& statement, int first, const TSyncFile& file);
void ReadSyncFile(const CStatement& statement, int first, TSyncFile& file);
void BindComand(CStatement& statement, int first, const TComand& command);
void ReadComand(const CStatement& statement, int first, TComand& command);
