#include "rest/UserMgr.h"

#include "rest/AnswerReader.h"
#include "rest/RestResult.h"

namespace {

constexpr const char* kLogin = "/ent/user/login";
constexpr const char* kSpaceInfo = "/ent/user/Info";
constexpr const char* kWebToken = "/ent/user/getwebtoken";
constexpr const char* kVersion = "/ent/version/check";
constexpr long kSpaceInfoTimeoutSeconds = 10;

}  // namespace

int CUserMgr::UserLogin(const std::string& account, const std::string& password,
                        std::string& userId, std::string& userType, std::string& token,
                        std::string& pushId, std::string& personalSpace) {
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    std::string answer;
    int result = PostForm(kLogin, "usr_account=" + account + "&usr_pwd=" + password,
                          {ClientKindHeader()}, answer);
    if (result != CURLE_OK) {
        return result;
    }
    return CAnswerReader::Login(answer, userId, userType, token, pushId, personalSpace);
}

int CUserMgr::GetSpaceInfo(const std::string& userId, const std::string& token,
                           const std::string& userType, std::string& usedSize,
                           std::string& totalSize) {
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    std::string answer;
    int result = PostForm(kSpaceInfo, "", IdentityHeaders(userId, token, userType), answer,
                          kSpaceInfoTimeoutSeconds);
    if (result != CURLE_OK) {
        return result;
    }
    return CAnswerReader::SpaceInfo(answer, usedSize, totalSize);
}

int CUserMgr::GetWebToken(const std::string& userId, const std::string& token,
                          const std::string& userType, std::string& webToken) {
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    std::string answer;
    int result = PostForm(kWebToken, "", IdentityHeaders(userId, token, userType), answer);
    if (result != CURLE_OK) {
        return result;
    }
    return CAnswerReader::WebToken(answer, webToken);
}

int CUserMgr::GetVersion(const std::string& version, std::string& address, int& versionNumber,
                         int& updateFlag, std::wstring& releaseNotes, std::string& packageMd5) {
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    std::string answer;
    int result =
        PostForm(kVersion, "&version=" + version + "&type=" + CLIENT_KIND_TEXT, {}, answer);
    if (result != CURLE_OK) {
        return result;
    }
    return CAnswerReader::Version(answer, address, versionNumber, updateFlag, releaseNotes,
                                  packageMd5);
}
