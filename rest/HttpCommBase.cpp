#include "rest/HttpCommBase.h"

#include <algorithm>
#include <chrono>

#include "common/AfLog.h"
#include "rest/AnswerPull.h"
#include "rest/ConnectionShare.h"
#include "rest/RestResult.h"
#include "rest/SpeedLimit.h"

namespace {

constexpr const char* kSource = "HttpCommBase.cpp";

std::string SingleLine(std::string line) {
    line.erase(
        std::remove_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }),
        line.end());
    return line;
}

}  // namespace

CHttpCommBase::CHttpCommBase(int clientKind) : m_iClientKind(clientKind), m_pCurl(nullptr) {
    m_pCurl = NewHandle(m_address.IsTls());
}

CHttpCommBase::~CHttpCommBase() {
    FreeHeaders();
    if (m_pCurl != nullptr) {
        curl_easy_cleanup(m_pCurl);
    }
}

CURL* CHttpCommBase::NewHandle(bool tls) {
    CConnectionShare::GlobalInit();
    CURL* handle = curl_easy_init();
    if (handle == nullptr) {
        return nullptr;
    }
    // Time-outs must not raise signals in a threaded program.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    if (tls) {
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    }
    CConnectionShare::Attach(handle);
    return handle;
}

void CHttpCommBase::SetHeaders(const std::vector<std::string>& headers) {
    for (const std::string& header : headers) {
        curl_slist* list = curl_slist_append(m_pHeaders, SingleLine(header).c_str());
        if (list != nullptr) {
            m_pHeaders = list;
        }
    }
    curl_easy_setopt(m_pCurl, CURLOPT_HTTPHEADER, m_pHeaders);
}

void CHttpCommBase::FreeHeaders() {
    if (m_pCurl != nullptr) {
        curl_easy_setopt(m_pCurl, CURLOPT_HTTPHEADER, nullptr);
    }
    curl_slist_free_all(m_pHeaders);
    m_pHeaders = nullptr;
}

void CHttpCommBase::SetCurlOpt(const std::string& url, const std::string& postFields,
                               std::string& buffer) {
    SetAddressAndBody(url, postFields);
    SetAnswerCollector(buffer);
}

void CHttpCommBase::SetAddressAndBody(const std::string& url, const std::string& postFields) {
    curl_easy_setopt(m_pCurl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(m_pCurl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(postFields.size()));
    curl_easy_setopt(m_pCurl, CURLOPT_COPYPOSTFIELDS, postFields.c_str());
}

void CHttpCommBase::SetAnswerCollector(std::string& buffer) {
    curl_easy_setopt(m_pCurl, CURLOPT_WRITEFUNCTION, &CHttpCommBase::CollectAnswer);
    curl_easy_setopt(m_pCurl, CURLOPT_WRITEDATA, &buffer);
}

void CHttpCommBase::SetCurPostOpt(const std::string& url, const std::string& postFields,
                                  std::string& buffer) {
    SetCurlOpt(url, postFields, buffer);
}

size_t CHttpCommBase::CollectAnswer(char* data, size_t size, size_t count, void* buffer) {
    auto* answer = static_cast<std::string*>(buffer);
    size_t bytes = size * count;
    if (bytes > REST_MAX_ANSWER_BYTES - answer->size()) {
        return 0;
    }
    answer->append(data, bytes);
    return bytes;
}

void CHttpCommBase::PrepareForm(const char* path, const std::string& body,
                                const std::vector<std::string>& headers, long timeoutSeconds) {
    SetHeaders(headers);
    curl_easy_setopt(m_pCurl, CURLOPT_HEADERFUNCTION, nullptr);
    curl_easy_setopt(m_pCurl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_pCurl, CURLOPT_FAILONERROR, 1L);
    SetAddressAndBody(Url(path), body);
    curl_easy_setopt(m_pCurl, CURLOPT_POST, 1L);
    curl_easy_setopt(m_pCurl, CURLOPT_TIMEOUT, timeoutSeconds);
    WatchForStall(&CHttpCommBase::OnPostProgress);
}

int CHttpCommBase::FormResult(CURLcode result, const char* function) {
    result = StallResult(result, function);
    FreeHeaders();
    // Only the answer's write function refuses data in a form post.
    if (result == CURLE_WRITE_ERROR) {
        return REST_BAD_ANSWER;
    }
    return result;
}

int CHttpCommBase::PostForm(const char* path, const std::string& body,
                            const std::vector<std::string>& headers, std::string& answer,
                            long timeoutSeconds) {
    answer.clear();
    PrepareForm(path, body, headers, timeoutSeconds);
    SetAnswerCollector(answer);
    return FormResult(curl_easy_perform(m_pCurl), "CHttpCommBase::PostForm");
}

int CHttpCommBase::PostLogged(const char* source, const char* function, const char* path,
                              const std::string& body, const UserInfo& user, std::string& answer,
                              long timeoutSeconds) {
    return LoggedResult(
        source, function,
        PostForm(path, body, IdentityHeaders(user.strUserId, user.strToken, user.strUserType),
                 answer, timeoutSeconds));
}

int CHttpCommBase::PostLoggedStreamed(const char* source, const char* function, const char* path,
                                      const std::string& body, const UserInfo& user,
                                      const std::function<void(CAnswerSource&)>& read,
                                      std::string& head) {
    PrepareForm(path, body, IdentityHeaders(user.strUserId, user.strToken, user.strUserType), 0);
    CURLcode transfer = CURLE_OK;
    {
        CAnswerPull answer(m_pCurl, head);
        read(answer);
        transfer = answer.Finish();
    }
    return LoggedResult(source, function,
                        FormResult(transfer, "CHttpCommBase::PostLoggedStreamed"));
}

int CHttpCommBase::LoggedResult(const char* source, const char* function, int result) {
    if (result == REST_BAD_ANSWER) {
        AfLog(4, source, function, __LINE__, "answer larger than %zu bytes", REST_MAX_ANSWER_BYTES);
    } else if (result != CURLE_OK) {
        AfLog(0, source, function, __LINE__, "net work error = (%d)", result);
    }
    return result;
}

std::vector<std::string> CHttpCommBase::IdentityHeaders(const std::string& userId,
                                                        const std::string& token,
                                                        const std::string& userType) {
    return {ClientKindHeader(), "ent_uid:" + userId, "ent_utoken:" + token,
            "ent_utype:" + userType};
}

void CHttpCommBase::SetMaxUploadSpeed(int kibPerSecond) {
    CSpeedLimit::SetMaxUploadSpeed(kibPerSecond);
}

void CHttpCommBase::SetMaxDownloadSpeed(int kibPerSecond) {
    CSpeedLimit::SetMaxDownloadSpeed(kibPerSecond);
}

void CHttpCommBase::SetConnectionSharing(bool share) {
    CConnectionShare::SetEnabled(share);
}

int CHttpCommBase::GetUploadSize(double& bytes) const {
    bytes = m_dUpBytes.load();
    return CURLE_OK;
}

int CHttpCommBase::GetDownloadSize(double& bytes) const {
    bytes = m_dDownBytes.load();
    return CURLE_OK;
}

int CHttpCommBase::GetAverageUpSpeed(double& bytesPerSecond) const {
    bytesPerSecond = m_dUpSpeed.load();
    return CURLE_OK;
}

int CHttpCommBase::GetAverageDownSpeed(double& bytesPerSecond) const {
    bytesPerSecond = m_dDownSpeed.load();
    return CURLE_OK;
}

CURLcode CHttpCommBase::PerformTransfer() {
    m_dUpBytes = m_dDownBytes = m_dUpSpeed = m_dDownSpeed = 0;
    m_bPauseWanted = false;
    m_bPaused = false;
    WatchForStall(&CHttpCommBase::OnProgress);
    CURLcode result = StallResult(curl_easy_perform(m_pCurl), "CHttpCommBase::PerformTransfer");
    TakeCounters();
    FreeHeaders();
    curl_easy_cleanup(m_pCurl);
    m_pCurl = NewHandle(m_address.IsTls());
    return result;
}

void CHttpCommBase::TakeCounters() {
    curl_off_t value = 0;
    if (curl_easy_getinfo(m_pCurl, CURLINFO_SIZE_UPLOAD_T, &value) == CURLE_OK) {
        m_dUpBytes = double(value);
    }
    if (curl_easy_getinfo(m_pCurl, CURLINFO_SIZE_DOWNLOAD_T, &value) == CURLE_OK) {
        m_dDownBytes = double(value);
    }
    if (curl_easy_getinfo(m_pCurl, CURLINFO_SPEED_UPLOAD_T, &value) == CURLE_OK) {
        m_dUpSpeed = double(value);
    }
    if (curl_easy_getinfo(m_pCurl, CURLINFO_SPEED_DOWNLOAD_T, &value) == CURLE_OK) {
        m_dDownSpeed = double(value);
    }
}

bool CHttpCommBase::HoldForPause() {
    if (!m_bPauseWanted.load()) {
        return false;
    }
    SetPaused(true);
    return true;
}

void CHttpCommBase::SetPaused(bool paused) {
    if (paused != m_bPaused) {
        m_bPaused = paused;
        AfLog(0, kSource, "CHttpCommBase::SetPaused", __LINE__, "%s",
              paused ? "transfer paused" : "transfer resumed");
    }
}

void CHttpCommBase::WatchForStall(curl_xferinfo_callback progress) {
    m_stall.Start();
    curl_easy_setopt(m_pCurl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_pCurl, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(m_pCurl, CURLOPT_XFERINFODATA, this);
}

// The bodies alone would take an answer whose headers trickle in for a silent one.
curl_off_t CHttpCommBase::MovedBytes(curl_off_t downNow, curl_off_t upNow) const {
    long headerBytes = 0;
    long requestBytes = 0;
    curl_easy_getinfo(m_pCurl, CURLINFO_HEADER_SIZE, &headerBytes);
    curl_easy_getinfo(m_pCurl, CURLINFO_REQUEST_SIZE, &requestBytes);
    return downNow + upNow + headerBytes + requestBytes;
}

// The guard ends a request from the progress callback, which libcurl reports as aborted by a
// callback; callers get the time-out they already retry. Other callbacks abort too (the upload's
// read function on a local file error): those results pass unchanged.
CURLcode CHttpCommBase::StallResult(CURLcode result, const char* function) const {
    if (result != CURLE_ABORTED_BY_CALLBACK || !m_stall.Fired()) {
        return result;
    }
    AfLog(0, kSource, function, __LINE__, "no data for %d seconds, request ended",
          int(CStallGuard::STALL_LIMIT / std::chrono::seconds(1)));
    return CURLE_OPERATION_TIMEDOUT;
}

int CHttpCommBase::OnPostProgress(void* self, curl_off_t, curl_off_t downNow, curl_off_t,
                                  curl_off_t upNow) {
    auto* session = static_cast<CHttpCommBase*>(self);
    return session->m_stall.Expired(session->MovedBytes(downNow, upNow), false) ? 1 : 0;
}

// Called by libcurl while a file transfer runs, also while it is paused: the place where a
// resume asked for by another thread reaches the handle. A transfer paused when the call began
// counts as held even when the call resumes it, so that its stall clock starts at the resume.
// The counters are published after the guard has seen the bytes: a reader of the counters
// knows that the guard's clock runs from that point.
int CHttpCommBase::OnProgress(void* self, curl_off_t, curl_off_t downNow, curl_off_t,
                              curl_off_t upNow) {
    auto* session = static_cast<CHttpCommBase*>(self);
    const bool wasPaused = session->m_bPaused;
    session->ApplyPauseRequest();
    const bool held = wasPaused || session->m_bPaused;
    const bool expired = session->m_stall.Expired(session->MovedBytes(downNow, upNow), held);
    session->TakeCounters();
    return expired ? 1 : 0;
}

// The state is set before the call because an unpause delivers the held data to the data
// callbacks before it returns.
void CHttpCommBase::ApplyPauseRequest() {
    const bool wanted = m_bPauseWanted.load();
    if (wanted == m_bPaused) {
        return;
    }
    SetPaused(wanted);
    if (curl_easy_pause(m_pCurl, wanted ? CURLPAUSE_ALL : CURLPAUSE_CONT) != CURLE_OK) {
        SetPaused(!wanted);
    }
}
