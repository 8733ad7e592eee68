#pragma once
// Whether a program is still writing a file, for the offline comparison, which leaves such a
// file for a later comparison instead of sending half-written content. Linux has no opening
// without sharing; a file counts as in use when any process holds it open for writing (a read
// lease cannot be taken on it) or holds a write lock on any part of it (fcntl or flock-style
// open file description locks).
//
// Thread-safe.

#include <filesystem>

#include "platform/RootedPath.h"

namespace plat {

// 0 when the plain file is not in use; EAGAIN when it is; the errno of the opening otherwise
// (ENOENT, EACCES, ELOOP for a link, EINVAL for a folder, pipe or device, which are never
// opened for reading here). Where the file system offers no leases the lock check alone
// decides.
int CheckFileClosed(const std::filesystem::path& path);
// The same for an item below the sync directory, reached without following a link.
int CheckFileClosed(const CRootedPath& item);

}  // namespace plat
