#pragma once
// A recursive copy that never leaves the source tree. Only the item named as the source may be
// a symbolic link, and only to a plain file, whose content is then copied; inside a copied
// folder, links are skipped and never followed (the walk goes by open folder handles with
// O_NOFOLLOW, so a folder swapped for a link during the copy is skipped too), and so are pipes,
// sockets and devices. Plain files and folders keep their permission bits and modification
// times. Thread-safe.

#include <filesystem>

namespace plat {

// Copies source to target, which must not exist yet (its folder must). On success 0, with
// skipped counting the items inside a folder that were left out. On failure the error (EEXIST
// when target is taken, EINVAL when source is neither a plain file, a link to one nor a
// folder, else the errno of the failing call, ENOSPC or EIO for instance), and nothing of
// target is left behind.
int CopyItem(const std::filesystem::path& source, const std::filesystem::path& target,
             unsigned& skipped);

}  // namespace plat
