#pragma once
// An item below a root folder (the sync directory), reached from the root one folder at a time
// without following a symbolic link: every folder on the way is opened relative to the one
// before with O_NOFOLLOW | O_DIRECTORY, so a link anywhere between the root and the item makes
// the item unreachable instead of leading out of the root. The item itself is acted on relative
// to its open folder and never followed either: a link there is examined, renamed or trashed as
// itself, and refused where a file's content or a folder is needed.
//
// The root's own path may run through links (a sync directory below a linked home folder).
//
// Results are 0 or an errno value: EINVAL for a path that is not of the relative form (an
// empty, "." or ".." name, a "/" or NUL in a name) and for operations on the root itself;
// ELOOP for a link where a folder or a file's content is needed; ENOTDIR for another kind of
// item there; ENOENT for a missing one; else the failing call's error.
//
// An object is used by one thread at a time; separate objects are independent.

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

namespace plat {

// Whether folders missing on the way to an item are created (0777 less the umask) or refused.
enum class EFolders { Existing, Create };

class CRootedPath {
  public:
    CRootedPath() = default;
    ~CRootedPath();
    CRootedPath(CRootedPath&& other) noexcept;
    CRootedPath& operator=(CRootedPath&& other) noexcept;
    CRootedPath(const CRootedPath&) = delete;
    CRootedPath& operator=(const CRootedPath&) = delete;

    // Resolves the relative form ".\a\b" (UTF-8, backslash separators) below root; "." names
    // the root itself. The item need not exist; the folders on the way must (or are created).
    int Open(const std::filesystem::path& root, std::string_view relative,
             EFolders folders = EFolders::Existing);
    // An item in this folder (this item opened as a folder, without following a link).
    int Child(const std::string& name, CRootedPath& child) const;
    // Another item in the same folder as this one.
    int Sibling(const std::string& name, CRootedPath& sibling) const;

    bool IsOpen() const { return m_iFolderFd >= 0; }
    bool IsRoot() const { return m_strLeaf == "."; }
    // The item's name in its folder ("." for the root).
    const std::string& Leaf() const { return m_strLeaf; }
    // The native path, for log lines and for the calls that only take a path.
    const std::filesystem::path& Native() const { return m_native; }

    // Status of the item itself (a link as a link: neither folder nor regular).
    FileStatus Status() const;
    // Opens the item with the flags (O_NOFOLLOW and O_CLOEXEC added); fd receives the open
    // descriptor, which the caller closes.
    int OpenFile(int flags, unsigned mode, int& fd) const;
    // The item as a C stream, for reading ("rb": it must exist) or appending ("ab+": created
    // 0666 less the umask when missing). Only a plain file is opened (EINVAL for anything else,
    // ELOOP for a link); file receives the stream, which the caller closes.
    int OpenStream(const char* mode, std::FILE*& file) const;
    // Names in the item, which must be a folder (without "." and "..").
    int List(std::vector<std::string>& names) const;
    // Creates the item as a folder; 0 also when a folder is already there.
    int MakeFolder() const;
    // Renames the item to the place of another item below the same root: without replacing
    // (EEXIST when it is taken), or replacing what is there.
    int RenameNoReplace(const CRootedPath& to) const;
    int RenameReplace(const CRootedPath& to) const;
    // Removes the item (a file, a link or an empty folder) for good.
    int Remove() const;
    // Moves the item to the desktop trash. The trash takes a path, not a folder descriptor:
    // just before handing it over, the path is checked to lead to the folder resolved here, so
    // a link put on the way since Open is refused (ELOOP); one put there in the moment between
    // check and trash is not caught. error receives the trash's explanation of a failure.
    int MoveToTrash(std::string& error) const;

  private:
    void Close();
    // Opens the folder name in folderFd without following a link; creates it when asked.
    static int OpenFolderIn(int folderFd, const std::string& name, EFolders folders, int& fd);

    int m_iFolderFd = -1;
    std::string m_strLeaf;
    std::filesystem::path m_native;
};

}  // namespace plat
