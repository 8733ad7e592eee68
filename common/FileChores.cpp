// The file functions of Utility.h: hashing, status, backup names, deletion, renaming and the
// autostart entry. The system calls behind them are in platform/FileSystem and platform/Trash.
#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Trash.h"

namespace {

// Large reads keep the system-call count out of the hashing time.
constexpr std::size_t kMd5BlockBytes = 256 * 1024;

std::filesystem::path NativePath(const std::wstring& path) {
    return WstringToString(path);
}

std::string FormatTime(const std::tm& tm) {
    char text[64];
    std::snprintf(text, sizeof text, "%4d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

std::string LocalTimeText(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return FormatTime(tm);
}

// The folder path without trailing separators ("/S/a/" and "/S/a" name the same folder).
std::filesystem::path FolderPath(const std::wstring& folder) {
    std::string native = WstringToString(folder);
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    return native;
}

// Moves one item to the trash or removes it for good. An item that no trash takes stays where
// it is, with a log line saying why.
int RemoveItem(const std::filesystem::path& path, bool toTrash) {
    if (!toTrash) {
        return plat::RemoveTree(path);
    }
    std::string why;
    int error = plat::MoveToTrash(path, why);
    if (error != 0) {
        AfLog(4, "FileChores.cpp", "RemoveItem", __LINE__,
              "Error: (%s) cannot go to the trash and is kept: %s", path.c_str(), why.c_str());
    }
    return error;
}

// Removes every item in the folder; goes on past a failure and returns the first error.
int RemoveContent(const std::filesystem::path& folder, bool toTrash) {
    std::vector<std::filesystem::path> names;
    int error = plat::ListFolder(folder, names);
    for (const std::filesystem::path& name : names) {
        int itemError = RemoveItem(folder / name, toTrash);
        if (error == 0) {
            error = itemError;
        }
    }
    return error;
}

std::string EscapeDesktopValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

// The program as one quoted argument of an Exec line.
std::string QuotedExec(const std::string& program) {
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted.push_back('\\');
        }
        quoted.push_back(c);
        if (c == '%') {
            quoted.push_back('%');
        }
    }
    return quoted + "\"";
}

}  // namespace

namespace {

std::string Md5Of(plat::CReadOnlyFile& file) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1) {
        return std::string();
    }
    std::vector<unsigned char> block(kMd5BlockBytes);
    long long count;
    while ((count = file.Read(block.data(), block.size())) > 0) {
        EVP_DigestUpdate(context.get(), block.data(), static_cast<std::size_t>(count));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (count < 0 || EVP_DigestFinal_ex(context.get(), digest, &digestLength) != 1) {
        return std::string();
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < digestLength; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0x0F]);
    }
    return text;
}

}  // namespace

std::string GetFileMd5(const std::string& path) {
    plat::CReadOnlyFile file;
    return file.Open(path) == 0 ? Md5Of(file) : std::string();
}

std::string GetFileMd5(const plat::CRootedPath& item) {
    plat::CReadOnlyFile file;
    return file.Open(item) == 0 ? Md5Of(file) : std::string();
}

int OpenRootedPath(const std::wstring& relativePath, const std::wstring& baseFolder,
                   plat::CRootedPath& item, plat::EFolders folders) {
    if (baseFolder.empty()) {
        return EINVAL;
    }
    return item.Open(NativePath(baseFolder), WstringToString(relativePath), folders);
}

int JudgeFolder(const std::wstring& path) {
    plat::FileStatus status = plat::GetFileStatus(NativePath(path));
    if (!status.bExists) {
        return -1;
    }
    return status.bFolder ? 0 : 1;
}

void GetFileInfo(const std::wstring& path, std::string& modifyTime, std::string& size,
                 int& hidden) {
    std::filesystem::path native = FolderPath(path);
    plat::FileStatus status = plat::GetFileStatus(native);
    if (!status.bExists) {
        return;
    }
    modifyTime = LocalTimeText(status.modifyTime);
    size = status.bFolder ? std::string() : std::to_string(status.size);
    hidden = native.filename().string().starts_with('.') ? 2 : 0;
}

std::string GetFileModifyTime(const std::wstring& path) {
    plat::FileStatus status = plat::GetFileStatus(NativePath(path));
    return status.bExists ? LocalTimeText(status.modifyTime) : std::string();
}

std::string GetFileModifyTime(const plat::CRootedPath& item) {
    plat::FileStatus status = item.Status();
    return status.bExists ? LocalTimeText(status.modifyTime) : std::string();
}

std::wstring BackupName(const std::wstring& path, int attempt) {
    return BackupPath(path, plat::Clock::WallNow(), attempt);
}

int Backup(const std::wstring& path, std::wstring& newPath) {
    newPath = BackupName(path);
    return plat::RenameNoReplace(NativePath(path), NativePath(newPath));
}

int DeleteFolder(const std::wstring& folder, int recycleBin) {
    std::filesystem::path native = FolderPath(folder);
    if (native == "/") {
        return EINVAL;
    }
    plat::FileStatus status = plat::GetFileStatus(native);
    if (!status.bExists) {
        return 0;
    }
    bool toTrash = recycleBin == 1;
    int error = status.bFolder ? RemoveContent(native, toTrash) : 0;
    return error != 0 ? error : RemoveItem(native, toTrash);
}

int DeleteForder(const std::wstring& folder) {
    std::filesystem::path native = FolderPath(folder);
    plat::FileStatus status = plat::GetFileStatus(native);
    if (!status.bExists) {
        return 1;
    }
    if (status.bFolder && RemoveContent(native, true) == 0) {
        return 1;
    }
    AfLog(4, "FileChores.cpp", "DeleteForder", __LINE__, "SHFileOperation失败 (%s)",
          native.c_str());
    return 0;
}

int ReNameLocal(const std::wstring& newPath, const std::wstring& oldPath) {
    return plat::RenameNoReplace(NativePath(oldPath), NativePath(newPath));
}

int CreateFileShortcut(const wchar_t* target, const char* folder, const char* linkName,
                       const wchar_t* path, std::uint16_t /*hotKey*/, const wchar_t* description,
                       int /*showCommand*/) {
    if (folder == nullptr) {
        return 0;
    }
    std::string program = target ? WstringToString(target) : plat::ExecutablePath().string();
    if (path != nullptr) {
        program = WstringToString(path);
    }
    std::filesystem::path file =
        std::filesystem::path(folder) / (linkName ? linkName : "Corvena.desktop");
    std::string entry =
        "[Desktop Entry]\nType=Application\nName=" + EscapeDesktopValue(file.stem().string()) +
        "\nExec=" + EscapeDesktopValue(QuotedExec(program)) + "\n";
    if (description != nullptr) {
        entry += "Comment=" + EscapeDesktopValue(WstringToString(description)) + "\n";
    }
    entry += "Terminal=false\n";
    if (plat::CreateFolders(folder) != 0) {
        return 0;
    }
    return plat::WriteFileAtomic(file, entry, 0644) == 0 ? 1 : 0;
}
