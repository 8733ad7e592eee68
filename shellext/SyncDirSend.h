#pragma once
// Copying one item into the sync directory, where the engine's watcher finds it as a new item.
// The copy is made under a hidden temporary name in the sync directory (hidden names are not
// synced) and renamed to its final name only when complete, so the engine never uploads a part.
// A name already taken is never overwritten: the copy gets the first free name "name (2).ext",
// "name (3).ext" and so on. Nothing outside the sync directory is written. Thread-safe.

#include <filesystem>
#include <string>

enum ESendResult {
    SEND_OK = 0,
    SEND_NO_SYNCDIR = 1,      // syncdir is empty, relative or not an existing folder
    SEND_INSIDE_SYNCDIR = 2,  // the item is the sync directory, lies in it or holds it
    SEND_NOT_COPYABLE = 3,    // neither a plain file, a link to one, nor a folder
    SEND_COPY_FAILED = 4,     // reading or writing failed (iError); nothing was left behind
    SEND_NO_FREE_NAME = 5,    // every name up to "name (9999).ext" is taken
};

struct SSendOutcome {
    ESendResult eResult = SEND_OK;
    int iError = 0;              // errno of SEND_COPY_FAILED
    std::filesystem::path copy;  // the new item, on success
    unsigned uSkipped = 0;       // links and special files left out of a folder
};

// The sync directory named by syncdir of section main in config.ini, when that is an absolute
// path of an existing folder (a link to one counts); empty otherwise.
std::filesystem::path ReadSyncDir();

// The n-th candidate name for name in the sync directory: n = 1 gives name itself, n >= 2
// "stem (n).ext" for a file ("a.txt" -> "a (2).txt", ".profile" -> ".profile (2)") and
// "name (n)" for a folder.
std::string CandidateName(const std::string& name, bool folder, int n);

// Copies source (an absolute path, or one relative to the working folder) into syncDir.
SSendOutcome SendToSyncDir(const std::filesystem::path& source,
                           const std::filesystem::path& syncDir);

// The notice for an outcome other than SEND_OK, naming the source.
std::string DescribeOutcome(const SSendOutcome& outcome, const std::filesystem::path& source);
