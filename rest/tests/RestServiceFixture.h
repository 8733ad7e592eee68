#pragma once
// A fresh home, a running reference service with the account alice, the "server" setting
// pointing at it, a logged-in account record and an empty sync directory: the starting point
// of the tests that talk to the service.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/GlobalSetting.h"
#include "common/SyncRecords.h"
#include "common/Utility.h"
#include "rest/UserMgr.h"
#include "testing/FileText.h"
#include "testing/LogText.h"
#include "testing/RefServiceProcess.h"
#include "testing/TempHome.h"

namespace rest_test {

using testing_support::CRefServiceProcess;
using testing_support::JsonObject;
using testing_support::LogText;
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
        testing_support::WriteWholeFile(LocalPath(name), content);
    }
    std::string ReadLocal(const std::wstring& name) const {
        return testing_support::ReadWholeFile(LocalPath(name));
    }
    std::wstring SyncDir() const { return StringToWstring(syncDir.string()); }

    testing_support::TempHome home;
    CRefServiceProcess service{REFSERVICE_PATH, home.path() / "service", kUser, kPassword};
    std::filesystem::path syncDir = home.path() / "sync";
    UserInfo user;
};

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
