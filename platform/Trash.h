#pragma once
// The desktop trash (freedesktop.org), through GIO: the home trash for items on the home's file
// system, the mount's .Trash-<uid> elsewhere.

#include <filesystem>
#include <string>

namespace plat {

// Moves the item (a link as itself) to the trash. Returns 0, or an errno-style code with GIO's
// explanation in error when no trash can take it; the item then stays where it was. Nothing is
// ever deleted instead.
int MoveToTrash(const std::filesystem::path& path, std::string& error);

}  // namespace plat
