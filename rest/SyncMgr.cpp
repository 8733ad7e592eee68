#include "rest/SyncMgr.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "rest/AnswerReader.h"
#include "rest/ListingReader.h"
#include "rest/LocalFile.h"
#include "rest/RestResult.h"
#include "rest/SpeedLimit.h"

namespace {

constexpr const char* kSource = "SyncMgr.cpp";
constexpr const char* kFileList = "/ent/file/list";
constexpr const char* kFileListAll = "/ent/synch/modify";
constexpr const char* kUploadVerify = "/ent/file/upload/new/verify";
constexpr const char* kUploadState = "/ent/file/upload/state";
constexpr const char* kUploadPut = "/ent/file/upload/put";
constexpr const char* kUploadCommit = "/ent/file/upload/commit";
constexpr const char* kDownload = "/ent/file/download";
constexpr const char* kFileDel = "/ent/file/rm";
constexpr const char* kFileRename = "/ent/file/rename";
constexpr long kUploadTimeoutSeconds = 1000;
constexpr const char* kDownloadAgent = "Mozilla/5.0 (Windows NT 6.3; WOW64)";

void LogNetworkError(const char* function, int result) {
    AfLog(0, kSource, function, __LINE__, "net work error = (%d)", result);
}

void LogLocalFileError(const char* function, const std::string& path) {
    AfLog(4, kSource, function, __LINE__, "local file error = (%s)", path.c_str());
}

// The record's local file, reached below the sync directory without following a link. 1002
// when a folder on the way is missing; 1001 for a link on the way or a path that is not of the
// relative form, with a log line.
int LocalItem(const char* function, const std::wstring& syncDir, const TSyncFile& file,
              plat::CRootedPath& item) {
    int error = OpenRootedPath(file.strRelativePath, syncDir, item);
    if (error == 0) {
        return REST_OK;
    }
    AfLog(4, kSource, function, __LINE__, "local path refused = (%s), error = (%d)",
          WstringToString(file.strRelativePath).c_str(), error);
    return error == ENOENT ? REST_LOCAL_FILE_MISSING : REST_LOCAL_FILE_ERROR;
}

// A decimal offset from 0 to size, nothing else.
bool ParseOffset(const std::string& text, std::int64_t size, std::int64_t& offset) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), offset);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty() &&
           text[0] != '-' && offset <= size;
}

bool IsCodeHeader(const char* line, size_t length) {
    static const char kName[] = "code:";
    if (length < sizeof kName - 1) {
        return false;
    }
    for (size_t i = 0; i < sizeof kName - 1; ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) != kName[i]) {
            return false;
        }
    }
    return true;
}

struct UploadSource {
    CSyncMgr* pSession;
    CLocalFile* pFile;
};

}  // namespace

struct CSyncMgr::DownloadTarget {
    CSyncMgr* pSession = nullptr;
    CLocalFile* pFile = nullptr;
    std::string strCodeHeader;  // the value of the last "code:" header
    bool bRefused = false;      // a code other than 0: the body is an error text, not file data
};

size_t CSyncMgr::ReadPiece(char* buffer, size_t size, size_t count, void* upload) {
    auto& source = *static_cast<UploadSource*>(upload);
    if (source.pSession->HoldForPause()) {
        return CURL_READFUNC_PAUSE;
    }
    size_t got = source.pFile->Read(buffer, size * count);
    if (source.pFile->Failed()) {
        return CURL_READFUNC_ABORT;
    }
    CSpeedLimit::OnPiece(true, got);
    return got;
}

size_t CSyncMgr::CatchCodeHeader(char* line, size_t size, size_t count, void* download) {
    auto& target = *static_cast<DownloadTarget*>(download);
    size_t length = size * count;
    if (IsCodeHeader(line, length)) {
        target.strCodeHeader.assign(line + 5, length - 5);
        target.bRefused = CAnswerReader::DownloadCodeHeader(target.strCodeHeader) != REST_OK;
    }
    return length;
}

size_t CSyncMgr::WritePiece(char* data, size_t size, size_t count, void* download) {
    auto& target = *static_cast<DownloadTarget*>(download);
    size_t length = size * count;
    if (target.bRefused) {
        return length;
    }
    if (target.pSession->HoldForPause()) {
        return CURL_WRITEFUNC_PAUSE;
    }
    if (!target.pFile->Write(data, length)) {
        return 0;
    }
    CSpeedLimit::OnPiece(false, length);
    return length;
}

int CSyncMgr::Checked(const char* function, const std::string& answer, int result) {
    if (result == REST_BAD_ANSWER) {
        AfLog(4, kSource, function, __LINE__, "bad answer:%s", answer.c_str());
    } else if (result != REST_OK && result != REST_ALREADY_STORED) {
        AfLog(6, kSource, function, __LINE__, "接口返回非0:%s", answer.c_str());
    }
    return result;
}

int CSyncMgr::GetFileListAll(const UserInfo& user, std::vector<TSyncFile>& files) {
    const std::size_t before = files.size();
    return ReadListing(
        "CSyncMgr::GetFileListAll", kFileListAll, "", user,
        [&](CAnswerSource& answer) {
            return CAnswerReader::Listing(answer, CAnswerReader::EListing::All, files);
        },
        [&] { files.erase(files.begin() + std::ptrdiff_t(before), files.end()); });
}

int CSyncMgr::GetFileListAll(const UserInfo& user, CPackedFiles& files) {
    const std::size_t before = files.Size();
    return ReadListing(
        "CSyncMgr::GetFileListAll", kFileListAll, "", user,
        [&](CAnswerSource& answer) {
            return CListingReader::Read(answer, CAnswerReader::EListing::All, files);
        },
        [&] {
            std::vector<bool> keep(files.Size(), false);
            std::fill(keep.begin(), keep.begin() + std::ptrdiff_t(before), true);
            files.KeepIf(keep);
        });
}

int CSyncMgr::GetFileList(const UserInfo& user, std::vector<TSyncFile>& files) {
    const std::size_t before = files.size();
    return ReadListing(
        "CSyncMgr::GetFileList", kFileList,
        "spid=" + user.strPersonalSpace + "&cursor=0&offset=0&order=name&desc=asc&fpid=0", user,
        [&](CAnswerSource& answer) {
            return CAnswerReader::Listing(answer, CAnswerReader::EListing::OneLevel, files);
        },
        [&] { files.erase(files.begin() + std::ptrdiff_t(before), files.end()); });
}

int CSyncMgr::ReadListing(const char* function, const char* path, const std::string& body,
                          const UserInfo& user, const std::function<int(CAnswerSource&)>& read,
                          const std::function<void()>& discard) {
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    int result = REST_BAD_ANSWER;
    std::string head;
    const int transfer = PostLoggedStreamed(
        kSource, function, path, body, user, [&](CAnswerSource& answer) { result = read(answer); },
        head);
    if (transfer != CURLE_OK) {
        // Entries read from an answer that did not arrive whole are not the listing.
        discard();
        return transfer;
    }
    return Checked(function, head, result);
}

int CSyncMgr::UploadFile1Verify(const UserInfo& user, const std::wstring& syncDir,
                                TSyncFile& file) {
    const char* function = "CSyncMgr::UploadFile1Verify";
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    plat::CRootedPath item;
    int result = LocalItem(function, syncDir, file, item);
    if (result != REST_OK) {
        return result;
    }
    CLocalFile local;
    result = local.OpenForReading(item);
    if (result != REST_OK) {
        return result;
    }
    std::int64_t size = local.Size();
    local.Close();
    // GetFileMd5 answers empty text for a file it cannot read, never for a readable one.
    std::string md5 = GetFileMd5(item);
    if (md5.empty()) {
        LogLocalFileError(function, item.Native().string());
        return REST_LOCAL_FILE_ERROR;
    }
    file.strMD5 = md5;
    std::string body = "&f_pid=" + std::to_string(file.iPId) + "&f_size=" + std::to_string(size) +
                       "&space_id=" + user.strPersonalSpace + "&f_md5=" + file.strMD5 +
                       "&f_name=" + UnicodeToUtf8_new(file.strName);
    std::string answer;
    result = PostLogged(kSource, function, kUploadVerify, body, user, answer);
    if (result != CURLE_OK) {
        return result;
    }
    return Checked(function, answer, CAnswerReader::UploadVerify(answer, file));
}

int CSyncMgr::UploadFile2State(const UserInfo& user, TSyncFile& file, std::string& offset) {
    const char* function = "CSyncMgr::UploadFile2State";
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    std::string answer;
    int result =
        PostLogged(kSource, function, kUploadState,
                   "s_name=" + file.dataExtension.dataBreakPoint.strTempName, user, answer);
    if (result != CURLE_OK) {
        return result;
    }
    return Checked(function, answer, CAnswerReader::UploadState(answer, offset));
}

int CSyncMgr::UploadFile3Put(const UserInfo&, const std::wstring& syncDir, TSyncFile& file,
                             const std::string& offset) {
    const char* function = "CSyncMgr::UploadFile3Put";
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    plat::CRootedPath item;
    int result = LocalItem(function, syncDir, file, item);
    if (result != REST_OK) {
        return result;
    }
    const std::string path = item.Native().string();
    CLocalFile local;
    result = local.OpenForReading(item);
    if (result != REST_OK) {
        return result;
    }
    std::int64_t start = 0;
    if (!ParseOffset(offset, local.Size(), start)) {
        AfLog(4, kSource, function, __LINE__, "break point (%s) outside the file of %lld bytes",
              offset.c_str(), static_cast<long long>(local.Size()));
        return REST_BAD_BREAK_POINT;
    }
    if (!local.Seek(start)) {
        LogLocalFileError(function, path);
        return REST_LOCAL_FILE_ERROR;
    }
    UploadSource source{this, &local};
    SetHeaders({"s_name:" + file.dataExtension.dataBreakPoint.strTempName,
                "Range:bytes=" + std::to_string(start) + "-" + std::to_string(local.Size()),
                "connection:Keep-Alive", "Expect:"});
    std::string answer;
    curl_easy_setopt(m_pCurl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(m_pCurl, CURLOPT_URL, Url(kUploadPut).c_str());
    curl_easy_setopt(m_pCurl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(m_pCurl, CURLOPT_INFILESIZE_LARGE, curl_off_t(local.Size() - start));
    curl_easy_setopt(m_pCurl, CURLOPT_READFUNCTION, &ReadPiece);
    curl_easy_setopt(m_pCurl, CURLOPT_READDATA, &source);
    curl_easy_setopt(m_pCurl, CURLOPT_HEADERFUNCTION, nullptr);
    SetAnswerCollector(answer);
    curl_easy_setopt(m_pCurl, CURLOPT_TIMEOUT, kUploadTimeoutSeconds);
    CURLcode transfer = PerformTransfer();
    local.Close();
    if (local.Failed()) {
        LogLocalFileError(function, path);
        return REST_LOCAL_FILE_ERROR;
    }
    if (transfer != CURLE_OK) {
        LogNetworkError(function, transfer);
        return transfer == CURLE_WRITE_ERROR ? REST_BAD_ANSWER : transfer;
    }
    return Checked(function, answer, CAnswerReader::CodeOnly(answer));
}

int CSyncMgr::UploadFile4Commit(const UserInfo& user, TSyncFile& file) {
    const char* function = "CSyncMgr::UploadFile4Commit";
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    std::string body = "&fpid=" + std::to_string(file.iPId) +
                       "&sname=" + file.dataExtension.dataBreakPoint.strTempName +
                       "&spaceid=" + user.strPersonalSpace + "&f_md5=" + file.strMD5 +
                       "&fname=" + UnicodeToUtf8_new(file.strName);
    std::string answer;
    int result =
        PostLogged(kSource, function, kUploadCommit, body, user, answer, kUploadTimeoutSeconds);
    if (result != CURLE_OK) {
        return result;
    }
    return Checked(function, answer, CAnswerReader::UploadCommit(answer, file));
}

int CSyncMgr::FileDownload(const UserInfo& user, const std::wstring& syncDir, TSyncFile& file) {
    const char* function = "CSyncMgr::FileDownload";
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    plat::CRootedPath item;
    if (LocalItem(function, syncDir, file, item) != REST_OK) {
        return REST_LOCAL_FILE_ERROR;
    }
    const std::string path = item.Native().string();
    CLocalFile local;
    if (local.OpenForAppending(item) != REST_OK) {
        LogLocalFileError(function, path);
        return REST_LOCAL_FILE_ERROR;
    }
    std::string url = Url(kDownload) + "?fids[]=" + std::to_string(file.iId) +
                      "&fskip=" + std::to_string(local.Size());
    SetHeaders({"ent_uid:" + user.strUserId});
    DownloadTarget target;
    target.pSession = this;
    target.pFile = &local;
    curl_easy_setopt(m_pCurl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(m_pCurl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(m_pCurl, CURLOPT_USERAGENT, kDownloadAgent);
    curl_easy_setopt(m_pCurl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(m_pCurl, CURLOPT_WRITEFUNCTION, &WritePiece);
    curl_easy_setopt(m_pCurl, CURLOPT_WRITEDATA, &target);
    curl_easy_setopt(m_pCurl, CURLOPT_HEADERFUNCTION, &CatchCodeHeader);
    curl_easy_setopt(m_pCurl, CURLOPT_HEADERDATA, &target);
    curl_easy_setopt(m_pCurl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_pCurl, CURLOPT_TIMEOUT, 0L);
    CURLcode transfer = PerformTransfer();
    local.Close();
    if (local.Failed()) {
        LogLocalFileError(function, path);
        return REST_LOCAL_FILE_ERROR;
    }
    if (transfer != CURLE_OK) {
        LogNetworkError(function, transfer);
        return transfer;
    }
    if (target.strCodeHeader.empty()) {
        return REST_OK;
    }
    int result = CAnswerReader::DownloadCodeHeader(target.strCodeHeader);
    return Checked(function, "{\"code\":" + target.strCodeHeader + "}", result);
}

int CSyncMgr::SessionPause() {
    RequestPause(true);
    return CURLE_OK;
}

int CSyncMgr::SessionResume() {
    RequestPause(false);
    return CURLE_OK;
}

int CSyncMgr::FileDel(const UserInfo& user, TSyncFile& file) {
    const char* function = "CSyncMgr::FileDel";
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    std::string answer;
    int result = PostLogged(kSource, function, kFileDel, "&fids[]=" + std::to_string(file.iId),
                            user, answer);
    if (result != CURLE_OK) {
        return result;
    }
    return Checked(function, answer, CAnswerReader::CodeOnly(answer));
}

int CSyncMgr::FileRename(const UserInfo& user, TSyncFile& file) {
    const char* function = "CSyncMgr::FileRename";
    if (m_pCurl == nullptr) {
        return REST_NO_HANDLE;
    }
    std::string body = "&fid=" + std::to_string(file.iId) + "&spid=" + user.strPersonalSpace +
                       "&fname=" + UnicodeToUtf8_new(file.strName);
    std::string answer;
    int result = PostLogged(kSource, function, kFileRename, body, user, answer);
    if (result != CURLE_OK) {
        return result;
    }
    return Checked(function, answer, CAnswerReader::CodeOnly(answer));
}
