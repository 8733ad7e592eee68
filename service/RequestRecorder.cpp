#include "service/RequestRecorder.h"

#include <algorithm>

namespace {

const std::size_t kKeptRequests = 1000;
const std::size_t kKeptBody = std::size_t{64} << 10;

void AddBody(TRecordedRequest& request, const char* data, std::size_t size) {
    std::size_t room = kKeptBody - std::min(kKeptBody, request.strBody.size());
    request.strBody.append(data, std::min(room, size));
    request.iBodySize += static_cast<std::int64_t>(size);
}

}  // namespace

std::uint64_t CRequestRecorder::Record(TRecordedRequest request) {
    std::lock_guard<std::mutex> guard(m_mutex);
    request.iSeq = m_iNextSeq++;
    std::string body = std::move(request.strBody);
    request.strBody.clear();
    request.iBodySize = 0;
    AddBody(request, body.data(), body.size());
    m_requests.push_back(std::move(request));
    if (m_requests.size() > kKeptRequests) {
        m_requests.pop_front();
    }
    return m_requests.back().iSeq;
}

void CRequestRecorder::AppendBody(std::uint64_t seq, const char* data, std::size_t size) {
    std::lock_guard<std::mutex> guard(m_mutex);
    for (auto it = m_requests.rbegin(); it != m_requests.rend(); ++it) {
        if (it->iSeq == seq) {
            AddBody(*it, data, size);
            return;
        }
    }
}

std::vector<TRecordedRequest> CRequestRecorder::Requests() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return {m_requests.begin(), m_requests.end()};
}

void CRequestRecorder::Clear() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_requests.clear();
}
