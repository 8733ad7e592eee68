#pragma once
// The HTTP session every web API operation runs on: one libcurl transfer handle, the header list
// of the next request, and the rules all operations share (address, identity headers, form
// body, answer collection, result codes in RestResult.h).
//
// A session is used for requests by one thread at a time. While that thread runs a file
// transfer, other threads may call the size and speed getters and pause or resume the transfer:
// those calls only touch atomics, which the transfer thread applies from libcurl's callbacks
// (libcurl does not allow a handle to be paused from another thread).
//
// Sessions are short-lived and cheap: handles share the process's connection cache
// (ConnectionShare.h), so a fresh session reuses the kept-alive connection of the last one.
//
// No request waits for ever: one on which nothing has moved for the stall limit (StallGuard.h)
// ends with CURLE_OPERATION_TIMEDOUT, like a request that ran past its whole-request time-out.

#include <curl/curl.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "common/SyncRecords.h"
#include "rest/AnswerSource.h"
#include "rest/ServiceAddress.h"
#include "rest/StallGuard.h"

class CHttpCommBase {
  public:
    // clientKind is kept; requests always identify themselves as client kind "4".
    explicit CHttpCommBase(int clientKind);
    virtual ~CHttpCommBase();
    // A copy would clean up the same transfer handle twice.
    CHttpCommBase(const CHttpCommBase&) = delete;
    CHttpCommBase& operator=(const CHttpCommBase&) = delete;

    // Appends each line ("name:value") to the header list and hands the list to the handle.
    // CR and LF are dropped from the lines, so no value can end its line early.
    void SetHeaders(const std::vector<std::string>& headers);
    // Address, form body (a POST) and the answer collector writing into buffer. The two behave
    // identically.
    void SetCurlOpt(const std::string& url, const std::string& postFields, std::string& buffer);
    void SetCurPostOpt(const std::string& url, const std::string& postFields, std::string& buffer);

    // Process-wide limits in KiB per second; 0 or less switches the direction's limit off.
    static void SetMaxUploadSpeed(int kibPerSecond);
    static void SetMaxDownloadSpeed(int kibPerSecond);
    // Connection sharing between sessions, on unless switched off (for comparison).
    static void SetConnectionSharing(bool share);

    // Bytes moved and average bytes per second of this session's current or last file transfer
    // (upload data or download). Return 0.
    int GetUploadSize(double& bytes) const;
    int GetDownloadSize(double& bytes) const;
    int GetAverageUpSpeed(double& bytesPerSecond) const;
    int GetAverageDownSpeed(double& bytesPerSecond) const;

  protected:
    // Every request identifies itself as this client kind, whatever the session was created
    // with.
    static constexpr const char* CLIENT_KIND_TEXT = "4";

    // The common form post: headers, body, answer buffer (cleared first), fail on HTTP status
    // 400 and above, an optional whole-request time-out (0: none). Brings a handle that was
    // set up for another kind of request back to a plain form post. Returns libcurl's result
    // (CURLE_OPERATION_TIMEDOUT when it stalled), or REST_BAD_ANSWER when the answer grew beyond
    // REST_MAX_ANSWER_BYTES. Frees the header list afterwards.
    int PostForm(const char* path, const std::string& body, const std::vector<std::string>& headers,
                 std::string& answer, long timeoutSeconds = 0);
    // PostForm with the identity set of user, for the sessions that log: a failed request is
    // logged with the source file and function given ("net work error = (%d)", level 0).
    int PostLogged(const char* source, const char* function, const char* path,
                   const std::string& body, const UserInfo& user, std::string& answer,
                   long timeoutSeconds = 0);
    // PostLogged whose answer is not collected but handed to read while it arrives (AnswerPull.h):
    // the transfer moves as read pulls the pieces, and whatever read leaves is read and dropped
    // after it returns. head receives the first bytes of the answer, as much as a log line can
    // show. Results as PostForm.
    int PostLoggedStreamed(const char* source, const char* function, const char* path,
                           const std::string& body, const UserInfo& user,
                           const std::function<void(CAnswerSource&)>& read, std::string& head);
    static std::string ClientKindHeader() { return std::string("ent_uclient:") + CLIENT_KIND_TEXT; }
    // The identity set: client kind, user id, session token, user type.
    static std::vector<std::string> IdentityHeaders(const std::string& userId,
                                                    const std::string& token,
                                                    const std::string& userType);
    std::string Url(const char* path) const { return m_address.Url(path); }
    // The answer collector: appends every piece of the answer to buffer.
    void SetAnswerCollector(std::string& buffer);

    // Runs a file transfer whose options the caller has set: resets the counters and the pause
    // request, keeps them up to date while it runs, then replaces the handle by a fresh one
    // and frees the header list. Returns libcurl's result (CURLE_OPERATION_TIMEDOUT when it
    // stalled).
    CURLcode PerformTransfer();
    // Asks the running file transfer to stop moving data, or to go on. A pause asked for
    // between transfers is dropped when the next one starts: the caller's resume may never
    // come once its transfer is gone, and a transfer held for it would hang.
    void RequestPause(bool pause) { m_bPauseWanted.store(pause); }
    // For the data callbacks of a file transfer, before they move a piece: true when a pause
    // was asked for; the callback then returns libcurl's pause code and the piece moves after
    // the resume. Transfer thread only.
    bool HoldForPause();

    int m_iClientKind;
    CURL* m_pCurl;
    curl_slist* m_pHeaders = nullptr;

  private:
    static CURL* NewHandle(bool tls);
    // Everything of a form post but the answer's write function.
    void PrepareForm(const char* path, const std::string& body,
                     const std::vector<std::string>& headers, long timeoutSeconds);
    // The form post's result from libcurl's; frees the header list.
    int FormResult(CURLcode result, const char* function);
    int LoggedResult(const char* source, const char* function, int result);
    void SetAddressAndBody(const std::string& url, const std::string& postFields);
    static size_t CollectAnswer(char* data, size_t size, size_t count, void* buffer);
    static int OnProgress(void* self, curl_off_t downTotal, curl_off_t downNow, curl_off_t upTotal,
                          curl_off_t upNow);
    static int OnPostProgress(void* self, curl_off_t downTotal, curl_off_t downNow,
                              curl_off_t upTotal, curl_off_t upNow);
    // Starts the stall guard and installs progress, which feeds it, for the next request.
    void WatchForStall(curl_xferinfo_callback progress);
    curl_off_t MovedBytes(curl_off_t downNow, curl_off_t upNow) const;
    // CURLE_OPERATION_TIMEDOUT (logged) where the stall guard ended the request, else result.
    CURLcode StallResult(CURLcode result, const char* function) const;
    // Brings the handle to the pause state last asked for; from OnProgress.
    void ApplyPauseRequest();
    // Records the handle's pause state; a change is logged, so the trace shows when a pause
    // took effect and when the transfer went on.
    void SetPaused(bool paused);
    void FreeHeaders();
    void TakeCounters();

    CServiceAddress m_address;
    std::atomic<bool> m_bPauseWanted{false};
    bool m_bPaused = false;  // as applied to the handle; transfer thread only
    CStallGuard m_stall;     // the requesting thread only
    std::atomic<double> m_dUpBytes{0};
    std::atomic<double> m_dDownBytes{0};
    std::atomic<double> m_dUpSpeed{0};
    std::atomic<double> m_dDownSpeed{0};
};
