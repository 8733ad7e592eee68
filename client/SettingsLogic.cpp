#include "client/SettingsLogic.h"

#include <cstdlib>
#include <system_error>

#include "client/ClientSession.h"
#include "client/ClientStore.h"
#include "client/EngineLink.h"
#include "common/AfLog.h"
#include "common/Utility.h"
#include "store/SyncCodes.h"

bool IsValidSpeed(const std::string& text) {
    if (text.empty() || text.size() > 7) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return std::strtol(text.c_str(), nullptr, 10) <= 1048576;
}

ESpeedResult ApplySpeeds(bool custom, const std::string& upload, const std::string& download) {
    if (!IsEngineWindowPresent()) {
        return SPEED_ENGINE_MISSING;
    }
    if (custom) {
        if (!IsValidSpeed(upload)) {
            return SPEED_BAD_UPLOAD;
        }
        if (!IsValidSpeed(download)) {
            return SPEED_BAD_DOWNLOAD;
        }
    }
    std::string up = std::to_string(std::atoi(upload.c_str()));
    std::string down = std::to_string(std::atoi(download.c_str()));
    CClientSession::Get().SetLimits(up, down);
    SetSystemConfig("SetSpeed", custom ? L"1" : L"0");
    SetSystemConfig("USpeed", StringToWstring(up));
    SetSystemConfig("DSpeed", StringToWstring(down));
    if (custom) {
        PostToEngine(MSG_SETTING_MAXSPEED, static_cast<plat::WPARAM>(std::atoi(up.c_str())),
                     std::atoi(down.c_str()));
    } else {
        PostToEngine(MSG_SETTING_MAXSPEED, 0, 0);
    }
    return SPEED_OK;
}

std::filesystem::path AutostartFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home != nullptr ? home : "/") / ".config";
    }
    return base / "autostart" / "Corvena.desktop";
}

bool SetAutostart(bool on) {
    std::filesystem::path file = AutostartFile();
    AfLog(1, "SettingDlg", "CSettingDlg::OnBnClickedOk", 766, "strstartDir = %s",
          file.parent_path().c_str());
    std::error_code ec;
    std::filesystem::remove(file, ec);
    if (!on) {
        SetSystemConfig("AutoRun", L"0");
        return true;
    }
    bool written = CreateFileShortcut(nullptr, file.parent_path().c_str(), file.filename().c_str(),
                                      nullptr, 0x027B, L"Corvena同步盘：企业文件同步", 1) == 1;
    SetSystemConfig("AutoRun", written ? L"1" : L"0");
    return written;
}

std::wstring ProposedSyncDir(const std::wstring& chosen) {
    std::wstring folder = chosen;
    while (folder.size() > 1 && folder.back() == L'/') {
        folder.pop_back();
    }
    if (folder == L"/") {
        folder.clear();
    }
    return folder + L"/Corvena";
}

namespace {
bool IsInside(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    std::error_code ec;
    std::filesystem::path a = std::filesystem::weakly_canonical(inner, ec);
    std::filesystem::path b = std::filesystem::weakly_canonical(outer, ec);
    auto [end, unused] = std::mismatch(b.begin(), b.end(), a.begin(), a.end());
    (void)unused;
    return end == b.end();
}
}  // namespace

EMoveResult CheckMoveTarget(const std::filesystem::path& oldDir,
                            const std::filesystem::path& newDir) {
    return IsInside(newDir, oldDir) ? MOVE_INSIDE_OLD : MOVE_OK;
}

EMoveResult CopySyncDir(const std::filesystem::path& oldDir, const std::filesystem::path& newDir) {
    if (CheckMoveTarget(oldDir, newDir) != MOVE_OK) {
        return MOVE_INSIDE_OLD;
    }
    std::error_code ec;
    std::filesystem::create_directories(newDir, ec);
    if (ec || !std::filesystem::is_directory(newDir)) {
        return MOVE_CANNOT_CREATE;
    }
    std::filesystem::copy(oldDir, newDir,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::copy_symlinks |
                              std::filesystem::copy_options::skip_existing,
                          ec);
    if (ec) {
        AfLog(4, "SettingDlg", "CopySyncDir", 0, "copy to %s failed: %s", newDir.c_str(),
              ec.message().c_str());
        return MOVE_COPY_FAILED;
    }
    return MOVE_OK;
}

const wchar_t* MoveResultText(EMoveResult result) {
    switch (result) {
        case MOVE_COPY_FAILED:
            return L"移动同步目录失败。";
        case MOVE_OK:
            return L"";
        default:
            return L"不支持此目录为同步文件夹！";
    }
}
