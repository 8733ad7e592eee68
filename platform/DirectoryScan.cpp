#include "platform/DirectoryScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace plat {

namespace {

class CTreeWalk {
  public:
    CTreeWalk(const ScanFilter& filter, ScanTree& tree) : m_filter(filter), m_tree(tree) {}

    // Lists the folder open on fd (taken over and closed) whose path below the root is prefix
    // ("" for the root, else ending in "/"). 0, or the error that ends the whole walk.
    int Folder(int fd, const std::string& prefix) {
        std::vector<std::string> names;
        int error = ReadNames(fd, names);
        if (error != 0) {
            if (prefix.empty()) {
                return error;
            }
            Skip(prefix.substr(0, prefix.size() - 1), ScanSkip::Unlisted, error);
            return 0;
        }
        std::sort(names.begin(), names.end());
        int result = 0;
        for (const std::string& name : names) {
            result = Entry(fd, prefix, name);
            if (result != 0) {
                break;
            }
        }
        ::close(fd);
        return result;
    }

  private:
    // Reads every name of the folder but "." and ".."; fd stays open.
    static int ReadNames(int fd, std::vector<std::string>& names) {
        int listFd = ::dup(fd);
        if (listFd < 0) {
            int error = errno;
            ::close(fd);
            return error;
        }
        DIR* dir = ::fdopendir(listFd);
        if (dir == nullptr) {
            int error = errno;
            ::close(listFd);
            ::close(fd);
            return error;
        }
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            std::string_view name = entry->d_name;
            if (name != "." && name != "..") {
                names.emplace_back(name);
            }
            errno = 0;
        }
        int error = errno;
        ::closedir(dir);
        if (error != 0) {
            ::close(fd);
        }
        return error;
    }

    int Entry(int fd, const std::string& prefix, const std::string& name) {
        if (name.front() == '.') {
            return 0;
        }
        std::string path = prefix + name;
        if (!m_filter(name)) {
            Skip(std::move(path), ScanSkip::Refused, 0);
            return 0;
        }
        struct stat st {};
        if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            // Deleted since the listing: a file that is gone is gone; a vanished folder means
            // the tree is being changed under the walk.
            return 0;
        }
        if (S_ISLNK(st.st_mode)) {
            Skip(std::move(path), ScanSkip::Link, 0);
            return 0;
        }
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) {
            Skip(std::move(path), ScanSkip::Special, 0);
            return 0;
        }
        ScanItem item;
        item.bFolder = S_ISDIR(st.st_mode);
        item.size = item.bFolder ? 0 : static_cast<std::uint64_t>(st.st_size);
        item.modifyTime = st.st_mtim.tv_sec;
        item.strPath = path;
        m_tree.items.push_back(std::move(item));
        if (!S_ISDIR(st.st_mode)) {
            return 0;
        }
        int childFd = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (childFd < 0) {
            if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) {
                return ENOENT;
            }
            Skip(std::move(path), ScanSkip::Unlisted, errno);
            return 0;
        }
        return Folder(childFd, path + "/");
    }

    void Skip(std::string path, ScanSkip why, int error) {
        m_tree.skipped.push_back(ScanSkipped{std::move(path), why, error});
    }

    const ScanFilter& m_filter;
    ScanTree& m_tree;
};

}  // namespace

int ScanDirectoryTree(const std::filesystem::path& root, const ScanFilter& filter, ScanTree& tree) {
    tree = ScanTree();
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int error = errno;
        ::close(fd);
        return error;
    }
    tree.rootDevice = static_cast<std::uint64_t>(st.st_dev);
    int error = CTreeWalk(filter, tree).Folder(fd, "");
    if (error != 0) {
        tree = ScanTree();
    }
    return error;
}

}  // namespace plat
