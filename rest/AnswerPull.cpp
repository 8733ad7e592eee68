#include "rest/AnswerPull.h"

#include <algorithm>

#include "rest/RestResult.h"

namespace {

// curl_easy_perform's own mapping of a failure of its multi handle.
CURLcode MultiFailure(CURLMcode code) {
    return code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_BAD_FUNCTION_ARGUMENT;
}

}  // namespace

CAnswerPull::CAnswerPull(CURL* handle, std::string& head)
    : m_pEasy(handle), m_pMulti(curl_multi_init()), m_head(head) {
    m_head.clear();
    if (m_pMulti == nullptr) {
        End(CURLE_OUT_OF_MEMORY);
        return;
    }
    curl_easy_setopt(m_pEasy, CURLOPT_WRITEFUNCTION, &CAnswerPull::Collect);
    curl_easy_setopt(m_pEasy, CURLOPT_WRITEDATA, this);
    CURLMcode added = curl_multi_add_handle(m_pMulti, m_pEasy);
    if (added != CURLM_OK) {
        End(MultiFailure(added));
        return;
    }
    m_bAdded = true;
}

CAnswerPull::~CAnswerPull() {
    if (m_bAdded) {
        curl_multi_remove_handle(m_pMulti, m_pEasy);
    }
    if (m_pMulti != nullptr) {
        curl_multi_cleanup(m_pMulti);
    }
}

bool CAnswerPull::Next(std::string_view& piece) {
    m_piece.clear();
    while (m_piece.empty() && !m_bDone) {
        Step();
    }
    piece = m_piece;
    return !m_piece.empty();
}

CURLcode CAnswerPull::Finish() {
    std::string_view piece;
    while (Next(piece)) {
    }
    return m_result;
}

// The wait is curl_easy_perform's: at most a second, so that the progress function, and the
// stall guard with it, runs at least once a second while nothing moves.
void CAnswerPull::Step() {
    int running = 0;
    CURLMcode code = curl_multi_perform(m_pMulti, &running);
    if (code == CURLM_OK && running != 0 && m_piece.empty()) {
        code = curl_multi_poll(m_pMulti, nullptr, 0, 1000, nullptr);
    }
    if (code != CURLM_OK) {
        End(MultiFailure(code));
        return;
    }
    if (running == 0) {
        CURLcode result = CURLE_FAILED_INIT;
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(m_pMulti, &left)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
            }
        }
        End(result);
    }
}

void CAnswerPull::End(CURLcode result) {
    m_result = result;
    m_bDone = true;
}

size_t CAnswerPull::Collect(char* data, size_t size, size_t count, void* self) {
    auto& pull = *static_cast<CAnswerPull*>(self);
    size_t bytes = size * count;
    if (bytes > REST_MAX_ANSWER_BYTES - pull.m_iTotal) {
        return 0;
    }
    pull.m_iTotal += bytes;
    if (pull.m_head.size() < HEAD_BYTES) {
        pull.m_head.append(data, std::min(bytes, HEAD_BYTES - pull.m_head.size()));
    }
    pull.m_piece.append(data, bytes);
    return bytes;
}
