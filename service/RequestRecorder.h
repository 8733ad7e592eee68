#pragma once
// Keeps the requests made to "/biz" (method, target, headers, body) so that tests of the web
// API client can compare the exact bytes sent. Holds the last 1,000 requests and the first
// 64 KiB of each body (so at most 64 MiB); the body size counts every byte.
//
// Thread-safe: request threads record while the control interface reads.

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct TRecordedRequest {
    std::uint64_t iSeq = 0;
    std::string strMethod;
    std::string strTarget;  // path and query as sent
    std::vector<std::pair<std::string, std::string>> headers;
    std::string strBody;
    std::int64_t iBodySize = 0;
};

class CRequestRecorder {
  public:
    // Returns the request's number, for AppendBody.
    std::uint64_t Record(TRecordedRequest request);
    void AppendBody(std::uint64_t seq, const char* data, std::size_t size);
    std::vector<TRecordedRequest> Requests();
    void Clear();

  private:
    std::mutex m_mutex;
    std::deque<TRecordedRequest> m_requests;  // guarded by m_mutex, oldest first
    std::uint64_t m_iNextSeq = 1;             // guarded by m_mutex
};
