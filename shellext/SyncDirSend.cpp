#include "shellext/SyncDirSend.h"

#include <algorithm>
#include <random>
#include <system_error>

#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "platform/FileCopy.h"
#include "platform/FileSystem.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLastCandidate = 9999;
constexpr int kTempAttempts = 8;

// The path with "." and ".." resolved and no trailing separator, made absolute first.
fs::path Tidy(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec).lexically_normal();
    if (!absolute.has_filename() && absolute.has_relative_path()) {
        absolute = absolute.parent_path();
    }
    return absolute;
}

// The item's place with the links of its folders resolved, its own name kept (a link named
// as the source is the link, not what it points at).
fs::path Place(const fs::path& item) {
    std::error_code ec;
    if (!item.has_relative_path()) {
        return item;
    }
    fs::path folder = fs::canonical(item.parent_path(), ec);
    return ec ? item : folder / item.filename();
}

bool IsWithin(const fs::path& inner, const fs::path& outer) {
    return std::mismatch(inner.begin(), inner.end(), outer.begin(), outer.end()).second ==
           outer.end();
}

std::string TempName() {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::random_device random;
    std::string name = ".corvena-send-";
    for (int i = 0; i < 12; ++i) {
        name += kDigits[random() % 16];
    }
    return name;
}

SSendOutcome Failure(ESendResult result, int error = 0) {
    SSendOutcome outcome;
    outcome.eResult = result;
    outcome.iError = error;
    return outcome;
}

// Copies source to a fresh hidden name in syncDir, returned in temp.
SSendOutcome CopyToTemp(const fs::path& source, const fs::path& syncDir, fs::path& temp) {
    SSendOutcome outcome;
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        temp = syncDir / TempName();
        const int error = plat::CopyItem(source, temp, outcome.uSkipped);
        if (error == 0) {
            return outcome;
        }
        if (error != EEXIST) {
            return Failure(error == EINVAL ? SEND_NOT_COPYABLE : SEND_COPY_FAILED, error);
        }
    }
    return Failure(SEND_COPY_FAILED, EEXIST);
}

}  // namespace

fs::path ReadSyncDir() {
    std::wstring value;
    CGlobalSetting().GetValue(L"main", L"syncdir", value, L"config.ini");
    const fs::path syncDir = WstringToString(value);
    std::error_code ec;
    if (value.empty() || !syncDir.is_absolute() || !fs::is_directory(syncDir, ec)) {
        return {};
    }
    return syncDir;
}

std::string CandidateName(const std::string& name, bool folder, int n) {
    if (n <= 1) {
        return name;
    }
    const std::string number = " (" + std::to_string(n) + ")";
    const std::size_t dot = folder ? std::string::npos : name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return name + number;
    }
    return name.substr(0, dot) + number + name.substr(dot);
}

SSendOutcome SendToSyncDir(const fs::path& source, const fs::path& syncDir) {
    std::error_code ec;
    const fs::path syncPlace = fs::canonical(syncDir, ec);
    if (ec || !fs::is_directory(syncPlace, ec)) {
        return Failure(SEND_NO_SYNCDIR);
    }
    const fs::path item = Tidy(source);
    const plat::FileStatus status = plat::GetFileStatus(item);
    if (!status.bExists) {
        return Failure(SEND_COPY_FAILED, ENOENT);
    }
    const fs::path place = Place(item);
    // A folder that holds the sync directory would be copied into itself without end.
    if (IsWithin(place, syncPlace) || (status.bFolder && IsWithin(syncPlace, place))) {
        return Failure(SEND_INSIDE_SYNCDIR);
    }
    fs::path temp;
    SSendOutcome outcome = CopyToTemp(item, syncPlace, temp);
    if (outcome.eResult != SEND_OK) {
        return outcome;
    }
    const std::string name = item.filename().string();
    for (int n = 1; n <= kLastCandidate; ++n) {
        const fs::path target = syncPlace / CandidateName(name, status.bFolder, n);
        const int error = plat::RenameNoReplace(temp, target);
        if (error == 0) {
            outcome.copy = target;
            return outcome;
        }
        if (error != EEXIST) {
            plat::RemoveTree(temp);
            return Failure(SEND_COPY_FAILED, error);
        }
    }
    plat::RemoveTree(temp);
    return Failure(SEND_NO_FREE_NAME);
}

std::string DescribeOutcome(const SSendOutcome& outcome, const fs::path& source) {
    const std::string item = "“" + source.string() + "”";
    switch (outcome.eResult) {
        case SEND_OK:
            return {};
        case SEND_NO_SYNCDIR:
            return "同步目录不存在，未发送" + item + "。";
        case SEND_INSIDE_SYNCDIR:
            return item + "是同步目录、在同步目录中或包含同步目录，不能发送到同步目录。";
        case SEND_NOT_COPYABLE:
            return item + "不是文件或文件夹，未发送。";
        case SEND_COPY_FAILED:
            return "复制" + item + "失败：" + std::generic_category().message(outcome.iError) +
                   "。";
        case SEND_NO_FREE_NAME:
            return "同步目录中已没有可用的名称，未发送" + item + "。";
    }
    return {};
}
