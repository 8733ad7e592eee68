#pragma once
// The server side of the offline comparison: the service's complete listing, checked, each
// entry given its path relative to the sync directory (".\Documents\a.txt"), and handed to the
// sync folder table for the folder filter. The server watch runs it for every offline
// comparison.
//
// Names from the service become local paths, so they are checked first: an entry named "",
// ".", ".." or holding "/", "\", NUL or a control character is refused, and with it every
// entry below it. Refused entries are left out of the listing (logged once each) and their
// ids are reported, so that the table rows they stand for are not taken for deletions on the
// service; the user is told of each refused name through the fail list.
//
// Threads: the thread that runs the offline comparison.

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "common/PackedFiles.h"

class CServerScan {
  public:
    // The listing through CSyncMgr::GetFileListAll with the stored account; 0 or the listing's
    // error code (logged).
    static int ScanfServer(CPackedFiles& list);
    // 1 when the listing can be used, else 0 with every unusable entry logged: an id of 0, an
    // id equal to its parent id, an empty server time, an id listed twice, a parent that is
    // not listed (or not a folder) and a chain of parents that comes back on itself.
    static int VerifyServerData(const CPackedFiles& list);
    // Gives every entry of a verified listing its relative path and takes the refused ones
    // (with everything below them) out; their ids go to refusedIds, and the entries refused
    // for their own names to unusable, as the fail list shows them (CUnusableNameReport).
    static void BuildRelativePaths(CPackedFiles& list, std::unordered_set<int>& refusedIds,
                                   std::vector<TSyncFile>& unusable);
    static void BuildRelativePaths(CPackedFiles& list, std::unordered_set<int>& refusedIds);
    // ScanfServer, VerifyServerData (1001 when it fails), BuildRelativePaths, the report of the
    // unusable names to the fail list and CSyncFolderArray::RefrushServerSynceFile; the result
    // of the first step that fails.
    static int Scan(CPackedFiles& list, std::unordered_set<int>& refusedIds);

    // True when a name from the service can become a local name.
    static bool IsUsableName(const std::wstring& name);
    // The same for a name in the packed form.
    static bool IsUsableName(std::string_view name);
};
