#include "rest/FileMgr.h"

#include "common/AfLog.h"
#include "common/Utility.h"
#include "rest/AnswerReader.h"
#include "rest/RestResult.h"

namespace {

constexpr const char* kSource = "FileMgr.cpp";
constexpr const char* kFileInfo = "/ent/file/info";
constexpr const char* kMkDir = "/ent/file/mkdir";
constexpr const char* kFileDel = "/ent/file/rm";
constexpr const char* kFileRename = "/ent/file/rename";

int Logged(const char* function, const std::string& answer, int result) {
    if (result == REST_BAD_ANSWER) {
        AfLog(4, kSource, function, __LINE__, "bad answer:%s", answer.c_str());
    }
    return result;
}

}  // namespace

int CFileMgr::GetFileInfo(const UserInfo& user, TSyncFile& file) {
    const char* function = "CFileMgr::GetFileInfo";
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    std::string answer;
    int result =
        PostLogged(kSource, function, kFileInfo, "&fid=" + std::to_string(file.iId), user, answer);
    if (result != CURLE_OK) {
        return result;
    }
    return Logged(function, answer, CAnswerReader::FileInfo(answer, file));
}

int CFileMgr::MkDir(const UserInfo& user, TSyncFile& file) {
    const char* function = "CFileMgr::MkDir";
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    std::string body = "&spid=" + user.strPersonalSpace + "&fpid=" + std::to_string(file.iPId) +
                       "&fname=" + UnicodeToUtf8_new(file.strName);
    std::string answer;
    int result = PostLogged(kSource, function, kMkDir, body, user, answer);
    if (result != CURLE_OK) {
        return result;
    }
    return Logged(function, answer, CAnswerReader::MkDir(answer, file));
}

int CFileMgr::FileDel(const UserInfo& user, TSyncFile& file) {
    const char* function = "CFileMgr::FileDel";
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    std::string answer;
    int result = PostLogged(kSource, function, kFileDel, "&fids[]=" + std::to_string(file.iId),
                            user, answer);
    if (result != CURLE_OK) {
        return result;
    }
    return Logged(function, answer, CAnswerReader::CodeOnly(answer));
}

int CFileMgr::FileRename(const UserInfo& user, TSyncFile& file) {
    const char* function = "CFileMgr::FileRename";
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    std::string body = "&fid=" + std::to_string(file.iId) + "&spid=" + user.strPersonalSpace +
                       "&fname=" + UnicodeToUtf8_new(file.dataExtension.dataReName.wstrNewName);
    std::string answer;
    int result = PostLogged(kSource, function, kFileRename, body, user, answer);
    if (result != CURLE_OK) {
        return result;
    }
    return Logged(function, answer, CAnswerReader::CodeOnly(answer));
}
