#pragma once
// The answer of a request, handed out piece by piece while the transfer runs. Next drives the
// transfer on the calling thread through libcurl's multi interface, the way curl_easy_perform
// does inside, so each piece is fetched when the reader asks for it and the answer is never
// held whole. The handle keeps every option it was given (headers, time-outs, progress
// function, connection sharing); only its write function is the pull's own. An answer longer
// than REST_MAX_ANSWER_BYTES ends the transfer with CURLE_WRITE_ERROR, as the collector of a
// form post does.
//
// Used by one thread; the handle must not be used otherwise while the pull lives.

#include <curl/curl.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "rest/AnswerSource.h"

class CAnswerPull final : public CAnswerSource {
  public:
    // A log line shows no more of an answer than this.
    static constexpr std::size_t HEAD_BYTES = std::size_t{128} << 10;

    // Starts the transfer of handle. head receives the first HEAD_BYTES of the answer.
    CAnswerPull(CURL* handle, std::string& head);
    ~CAnswerPull();
    CAnswerPull(const CAnswerPull&) = delete;
    CAnswerPull& operator=(const CAnswerPull&) = delete;

    bool Next(std::string_view& piece) override;
    // Reads whatever is left of the answer; libcurl's result of the transfer.
    CURLcode Finish();

  private:
    static size_t Collect(char* data, size_t size, size_t count, void* self);
    // One round of the transfer: moves what can move, else waits for the socket.
    void Step();
    void End(CURLcode result);

    CURL* m_pEasy;
    CURLM* m_pMulti;
    bool m_bAdded = false;
    std::string& m_head;
    std::string m_piece;  // what arrived since the last Next
    std::size_t m_iTotal = 0;
    bool m_bDone = false;
    CURLcode m_result = CURLE_OK;
};
