#pragma once
// A metadata walk of a folder tree for the offline comparison: every file and folder below the
// root with its size and modification time, depth first (a folder before what it holds, the
// names of one folder in byte order). Symbolic links are never followed nor descended into;
// pipes, sockets and devices are reported as skipped without being opened; hidden items (a
// name starting with ".") are left out with everything below them.
//
// Thread-safe: the walk keeps all its state in the call.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

struct ScanItem {
    std::string strPath;  // the names below the root joined with "/"
    bool bFolder = false;
    std::uint64_t size = 0;
    std::time_t modifyTime = 0;
};

// Why a name below the root was not walked.
enum class ScanSkip {
    Link,      // a symbolic link
    Special,   // a pipe, socket or device
    Refused,   // the caller's filter refused the name
    Unlisted,  // a folder whose content could not be read (error holds why)
};

struct ScanSkipped {
    std::string strPath;
    ScanSkip eWhy = ScanSkip::Link;
    int iError = 0;
};

struct ScanTree {
    std::uint64_t rootDevice = 0;
    std::vector<ScanItem> items;
    std::vector<ScanSkipped> skipped;
};

// Decides whether a name (raw bytes, never "." or "..") is walked; false leaves it and
// everything below it out, reported as Refused.
using ScanFilter = std::function<bool(std::string_view name)>;

// Walks everything below root into tree (emptied first). The root itself may be reached
// through a link (it is the user's choice of folder). Returns 0; the errno of the root when it
// cannot be opened or listed (ENOTDIR when it is not a folder); ENOENT when a folder listed a
// moment before has vanished (the tree is changing under the walk: what was read is not the tree's
// state). A sub-folder that cannot be read for another reason is reported as Unlisted and the walk
// goes on.
int ScanDirectoryTree(const std::filesystem::path& root, const ScanFilter& filter, ScanTree& tree);

}  // namespace plat
