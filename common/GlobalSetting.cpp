#include "common/GlobalSetting.h"

#include <cerrno>
#include <mutex>
#include <optional>

#include "common/IniText.h"
#include "common/Utility.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace {

constexpr std::size_t kMaxValueChars = 1023;

std::wstring ReadValue(const CIniText& ini, const std::wstring& section, const std::wstring& key) {
    std::optional<std::string> found = ini.Find(WstringToString(section), WstringToString(key));
    std::wstring value = found ? StringToWstring(*found) : std::wstring();
    if (value.size() > kMaxValueChars) {
        value.resize(kMaxValueChars);
    }
    return value;
}

// A missing or unreadable file reads as empty.
CIniText ReadSettings(const std::wstring& fileName) {
    std::string text;
    plat::ReadFile(CGlobalSetting::FilePath(fileName), text);
    return CIniText(text);
}

std::mutex& WriteMutex() {
    static std::mutex mutex;
    return mutex;
}

int WriteSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value,
                 const std::wstring& fileName) {
    const std::string narrowSection = WstringToString(section);
    const std::string narrowKey = WstringToString(key);
    const std::string narrowValue = WstringToString(value);
    if (!CIniText::CanStore(narrowSection, narrowKey, narrowValue)) {
        return -2;
    }
    std::lock_guard<std::mutex> lock(WriteMutex());
    std::filesystem::path path = CGlobalSetting::FilePath(fileName);
    std::string text;
    int error = plat::ReadFile(path, text);
    // An existing file that cannot be read is left alone rather than replaced by one key.
    if (error != 0 && error != ENOENT) {
        return -2;
    }
    CIniText ini(text);
    ini.Set(narrowSection, narrowKey, narrowValue);
    int rc = plat::WriteFileAtomic(path, ini.Text(), 0600);
    // The config folder is made once per process; a user may have removed it since.
    if (rc == ENOENT && plat::CreateFolders(path.parent_path()) == 0) {
        rc = plat::WriteFileAtomic(path, ini.Text(), 0600);
    }
    return rc == 0 ? 0 : -2;
}

}  // namespace

std::filesystem::path CGlobalSetting::FilePath(const std::wstring& fileName) {
    return plat::ConfigDir() / WstringToString(fileName);
}

int CGlobalSetting::Load(const std::wstring& fileName) {
    CIniText ini = ReadSettings(fileName);
    m_wstrUser = ReadValue(ini, L"main", L"user");
    m_wstrLogLevel = ReadValue(ini, L"main", L"logLevel");
    return 0;
}

int CGlobalSetting::Save(const std::wstring& fileName) {
    return WriteSetting(L"main", L"user", m_wstrUser, fileName);
}

int CGlobalSetting::SaveDir(const std::wstring& syncDir, const std::wstring& fileName) {
    return WriteSetting(L"main", L"syncdir", syncDir, fileName);
}

int CGlobalSetting::SetValue(const std::wstring& section, const std::wstring& key,
                             const std::wstring& value, const std::wstring& fileName) {
    return WriteSetting(section, key, value, fileName);
}

int CGlobalSetting::GetValue(const std::wstring& section, const std::wstring& key,
                             std::wstring& value, const std::wstring& fileName) {
    value = ReadValue(ReadSettings(fileName), section, key);
    return 0;
}
