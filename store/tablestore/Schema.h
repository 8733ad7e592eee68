#pragma once
// The three table files of an account and the tables each one holds. The big file table has a
// file of its own so that the queue, the lists and the account data stay small and quick to
// open; the account and configuration rows, which the desktop client writes before the engine
// runs, share the third file.
//
//   syncFile.db   FileInfo
//   Sync.db       SyncFolder, SyncingTask, FailSync, SyncCompleted
//   User.db       USERINFO, config

#include <optional>
#include <string>

enum class DbFile { kSyncFile = 0, kSync = 1, kUser = 2 };
inline constexpr int kDbFileCount = 3;

// "syncFile.db", "Sync.db" or "User.db".
const char* DbFileName(DbFile file);

// Marks a file as one of ours (PRAGMA application_id); a file with another id, or with tables
// but no id, is someone else's and is never written to.
inline constexpr int kDbApplicationId = 0x43564E41;
// Bumped when a release changes the tables; an older release refuses a newer file, and a file
// of an older schema is brought up to this one when it is opened.
//   1  the first release
//   2  FileInfo: one row per iId and one per relative path
inline constexpr int kDbSchemaVersion = 2;

// The result of an operation that names a row or a table that does not exist.
inline constexpr int DB_RESULT_MISSING = 1001;

// The statements that create the tables and indexes of one file, idempotent.
const char* DbFileSchema(DbFile file);
// The statements that bring a file from schema fromVersion to the next one, run before
// DbFileSchema in the same transaction; empty when that step changes nothing in this file.
const char* DbFileMigration(DbFile file, int fromVersion);

// The file that holds the named table; nothing for a name the store does not know.
std::optional<DbFile> DbFileOfTable(const std::string& tableName);
