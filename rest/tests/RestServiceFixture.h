#pragma once
// A fresh home, a running reference service with the account alice, the "server" setting
// pointing at it, a logged-in account record and an empty sync directory: the starting point
// of the tests that talk to the service.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/GlobalSetting.h"
#include "common/SyncRecords.h"
#include "common/Utility.h"
#include "platform/Paths.h"
#include "rest/UserMgr.h"
#include "testing/RefServiceProcess.h"
#include "testing/TempHome.h"

namespace rest_test {

using testing_support::CRefServiceProcess;
using testing_support::JsonObject;
using testing_support::TRecorded;

constexpr const char* kUser = "alice";
constexpr const char* kPassword = "secret";
// What the login dialog sends for the password: its Base64 text.
constexpr const char* kPasswordBase64 = "c2VjcmV0";

class RestServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(service.Port(), 0);
        ASSERT_EQ(CGlobalSetting().SetValue(L"main", L"server", StringToWstring(service.Address()),
                                            L"config.ini"),
                  0);
        std::filesystem::create_directories(syncDir);
        CUserMgr login(4);
        ASSERT_EQ(login.UserLogin(kUser, kPasswordBase64, user.strUserId, user.strUserType,
                                  user.strToken, user.strPushId, user.strPersonalSpace),
                  0);
        service.ClearRequests();
    }

    // A record of a file in the root of the sync directory.
    static TSyncFile LocalRecord(const std::wstring& name) {
        TSyncFile file;
        file.strName = name;
        file.strRelativePath = L".\\" + name;
        file.iType = 1;
        return file;
    }
    std::filesystem::path LocalPath(const std::wstring& name) const {
        return syncDir / WstringToString(name);
    }
    void WriteLocal(const std::wstring& name, const std::string& content) const {
        std::ofstream(LocalPath(name), std::ios::binary) << content;
    }
    std::string ReadLocal(const std::wstring& name) const {
        std::ifstream in(LocalPath(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::wstring SyncDir() const { return StringToWstring(syncDir.string()); }

    testing_support::TempHome home;
    CRefServiceProcess service{REFSERVICE_PATH, home.path() / "service", kUser, kPassword};
    std::filesystem::path syncDir = home.path() / "sync";
    UserInfo user;
};

// Every line logged so far in this home, as UTF-8 text.
inline std::string LogText() {
    std::string text;
    std::error_code ec;
    std::filesystem::path folder = plat::StateDir() / "log";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::wstring wide;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            auto low = static_cast<unsigned char>(bytes[i]);
            auto high = static_cast<unsigned char>(bytes[i + 1]);
            wide.push_back(static_cast<wchar_t>(low | high << 8));
        }
        text += WstringToString(wide);
    }
    return text;
}

// Content of the given size that is not the same byte over and over, so that a piece sent
// twice or out of place shows.
inline std::string PatternContent(size_t size) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        content[i] = char((i * 131 + i / 4099) & 0xFF);
    }
    return content;
}

}  // namespace rest_test
