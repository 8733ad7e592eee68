#include "platform/RootedPath.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/Trash.h"

namespace plat {

namespace {

bool IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// ELOOP when the item that could not be opened as a folder is a link, else ENOTDIR.
int NotAFolder(int folderFd, const std::string& name) {
    struct stat st {};
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        return ELOOP;
    }
    return ENOTDIR;
}

// Splits the relative form ".\a\b" into its names; false when it is not of that form. "."
// alone gives no names (the root).
bool SplitRelativePath(std::string_view relative, std::vector<std::string>& names) {
    names.clear();
    if (relative == ".") {
        return true;
    }
    if (relative.size() < 3 || relative.substr(0, 2) != ".\\") {
        return false;
    }
    relative.remove_prefix(2);
    for (;;) {
        const std::size_t end = relative.find('\\');
        const std::string_view name = relative.substr(0, end);
        if (!IsPlainName(name)) {
            names.clear();
            return false;
        }
        names.emplace_back(name);
        if (end == std::string_view::npos) {
            return true;
        }
        relative.remove_prefix(end + 1);
    }
}

}  // namespace

CRootedPath::~CRootedPath() {
    Close();
}

CRootedPath::CRootedPath(CRootedPath&& other) noexcept
    : m_iFolderFd(std::exchange(other.m_iFolderFd, -1)),
      m_strLeaf(std::move(other.m_strLeaf)),
      m_native(std::move(other.m_native)) {}

CRootedPath& CRootedPath::operator=(CRootedPath&& other) noexcept {
    if (this != &other) {
        Close();
        m_iFolderFd = std::exchange(other.m_iFolderFd, -1);
        m_strLeaf = std::move(other.m_strLeaf);
        m_native = std::move(other.m_native);
    }
    return *this;
}

void CRootedPath::Close() {
    if (m_iFolderFd >= 0) {
        ::close(m_iFolderFd);
    }
    m_iFolderFd = -1;
    m_strLeaf.clear();
    m_native.clear();
}

int CRootedPath::OpenFolderIn(int folderFd, const std::string& name, EFolders folders, int& fd) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            return 0;
        }
        const int error = errno;
        if (error == ELOOP || error == ENOTDIR) {
            return NotAFolder(folderFd, name);
        }
        if (error != ENOENT || folders != EFolders::Create) {
            return error;
        }
        // Another creator may win the race; the folder is then opened all the same.
        if (::mkdirat(folderFd, name.c_str(), 0777) != 0 && errno != EEXIST) {
            return errno;
        }
    }
    return ENOENT;
}

int CRootedPath::Open(const std::filesystem::path& root, std::string_view relative,
                      EFolders folders) {
    Close();
    std::vector<std::string> names;
    if (root.empty() || !SplitRelativePath(relative, names)) {
        return EINVAL;
    }
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    std::filesystem::path native = root;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        int next = -1;
        const int error = OpenFolderIn(fd, names[i], folders, next);
        ::close(fd);
        if (error != 0) {
            return error;
        }
        fd = next;
        native /= names[i];
    }
    m_iFolderFd = fd;
    m_strLeaf = names.empty() ? std::string(".") : names.back();
    m_native = names.empty() ? native : native / names.back();
    return 0;
}

int CRootedPath::Child(const std::string& name, CRootedPath& child) const {
    if (!IsOpen()) {
        return EBADF;
    }
    if (!IsPlainName(name)) {
        return EINVAL;
    }
    int fd = -1;
    const int error = OpenFolderIn(m_iFolderFd, m_strLeaf, EFolders::Existing, fd);
    if (error != 0) {
        return error;
    }
    child.Close();
    child.m_iFolderFd = fd;
    child.m_strLeaf = name;
    child.m_native = m_native / name;
    return 0;
}

int CRootedPath::Sibling(const std::string& name, CRootedPath& sibling) const {
    if (!IsOpen()) {
        return EBADF;
    }
    if (IsRoot() || !IsPlainName(name)) {
        return EINVAL;
    }
    const int fd = ::fcntl(m_iFolderFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        return errno;
    }
    sibling.Close();
    sibling.m_iFolderFd = fd;
    sibling.m_strLeaf = name;
    sibling.m_native = m_native.parent_path() / name;
    return 0;
}

FileStatus CRootedPath::Status() const {
    return IsOpen() ? GetFileStatusAt(m_iFolderFd, m_strLeaf.c_str()) : FileStatus();
}

int CRootedPath::OpenFile(int flags, unsigned mode, int& fd) const {
    fd = -1;
    if (!IsOpen()) {
        return EBADF;
    }
    if (IsRoot()) {
        return EINVAL;
    }
    fd = ::openat(m_iFolderFd, m_strLeaf.c_str(), flags | O_NOFOLLOW | O_CLOEXEC,
                  static_cast<mode_t>(mode));
    return fd >= 0 ? 0 : errno;
}

int CRootedPath::OpenStream(const char* mode, std::FILE*& file) const {
    file = nullptr;
    const std::string_view kind = mode;
    int flags = 0;
    if (kind == "rb") {
        flags = O_RDONLY | O_NONBLOCK;
    } else if (kind == "ab+") {
        flags = O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK;
    } else {
        return EINVAL;
    }
    int fd = -1;
    int error = OpenFile(flags, 0666, fd);
    if (error != 0) {
        return error;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return EINVAL;
    }
    // Reading does not wait on a pipe, but a plain file's reads and writes should block.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file = ::fdopen(fd, mode);
    if (file == nullptr) {
        error = errno;
        ::close(fd);
        return error;
    }
    return 0;
}

int CRootedPath::List(std::vector<std::string>& names) const {
    names.clear();
    if (!IsOpen()) {
        return EBADF;
    }
    int fd = -1;
    int error = OpenFolderIn(m_iFolderFd, m_strLeaf, EFolders::Existing, fd);
    if (error != 0) {
        return error;
    }
    return ListOpenFolder(fd, names);
}

int CRootedPath::MakeFolder() const {
    if (!IsOpen()) {
        return EBADF;
    }
    if (::mkdirat(m_iFolderFd, m_strLeaf.c_str(), 0777) == 0) {
        return 0;
    }
    if (errno != EEXIST) {
        return errno;
    }
    const FileStatus status = Status();
    if (status.bFolder) {
        return 0;
    }
    return NotAFolder(m_iFolderFd, m_strLeaf);
}

int CRootedPath::RenameNoReplace(const CRootedPath& to) const {
    if (!IsOpen() || !to.IsOpen()) {
        return EBADF;
    }
    if (IsRoot() || to.IsRoot()) {
        return EINVAL;
    }
    if (::renameat2(m_iFolderFd, m_strLeaf.c_str(), to.m_iFolderFd, to.m_strLeaf.c_str(),
                    RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // The file system cannot rename without replacing: check first (a narrow race remains).
    struct stat st {};
    if (::fstatat(to.m_iFolderFd, to.m_strLeaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        return EEXIST;
    }
    return RenameReplace(to);
}

int CRootedPath::RenameReplace(const CRootedPath& to) const {
    if (!IsOpen() || !to.IsOpen()) {
        return EBADF;
    }
    if (IsRoot() || to.IsRoot()) {
        return EINVAL;
    }
    return ::renameat(m_iFolderFd, m_strLeaf.c_str(), to.m_iFolderFd, to.m_strLeaf.c_str()) == 0
               ? 0
               : errno;
}

int CRootedPath::Remove() const {
    if (!IsOpen()) {
        return EBADF;
    }
    if (IsRoot()) {
        return EINVAL;
    }
    const int flags = Status().bFolder ? AT_REMOVEDIR : 0;
    return ::unlinkat(m_iFolderFd, m_strLeaf.c_str(), flags) == 0 ? 0 : errno;
}

int CRootedPath::MoveToTrash(std::string& error) const {
    error.clear();
    if (!IsOpen()) {
        return EBADF;
    }
    if (IsRoot()) {
        return EINVAL;
    }
    struct stat resolved {};
    struct stat byPath {};
    if (::fstat(m_iFolderFd, &resolved) != 0) {
        return errno;
    }
    if (::stat(m_native.parent_path().c_str(), &byPath) != 0 || byPath.st_dev != resolved.st_dev ||
        byPath.st_ino != resolved.st_ino) {
        error = "the path no longer leads to the folder it was resolved to";
        return ELOOP;
    }
    if (!Status().bExists) {
        return ENOENT;
    }
    return plat::MoveToTrash(m_native, error);
}

}  // namespace plat
