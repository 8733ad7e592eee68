#pragma once
// Which sync directories the engine refuses: the root of the file system, and any folder that
// is, lies inside or visibly holds one of the program's own config, data, state or runtime
// folders (the engine would sync its own tables and logs, and a download could overwrite
// them). A folder reached only through a hidden component (".local") is never synced, so a
// sync directory above it is accepted.

#include <filesystem>
#include <string>

// True when syncDir is refused; why then names the reason for the log.
bool IsRefusedSyncDir(const std::filesystem::path& syncDir, std::string& why);
