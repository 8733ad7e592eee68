#pragma once
// Faults that tests order for the next requests to an endpoint: an HTTP status, a service
// code, a dropped connection, a delay, or a transfer cut after some bytes.
//
// Thread-safe: the control interface adds faults while request threads take them.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

enum class EFaultKind { Status, Code, Drop, Delay, Cut };

struct TFault {
    std::string strEndpoint;  // "/ent/file/upload/put" (with or without "/biz"), or "*"
    EFaultKind eKind = EFaultKind::Status;
    int iCount = 1;           // requests to hit
    int iSkip = 0;            // matching requests to let pass first
    int iStatus = 500;        // Status: the HTTP status
    int iCode = 1;            // Code: the service code
    int iDelayMs = 0;         // Delay: before the request is handled
    std::int64_t iBytes = 0;  // Cut: bytes of the body that pass
};

class CFaultPlan {
  public:
    void Add(TFault fault);
    void Clear();
    // The fault for this request to endpoint (its path below "/biz"), if one is due. Faults
    // for one endpoint are served in the order they were added.
    std::optional<TFault> Take(const std::string& endpoint);
    std::vector<TFault> Pending();

  private:
    std::mutex m_mutex;
    std::vector<TFault> m_faults;  // guarded by m_mutex
};

// The kind named by text ("status", "code", "drop", "delay", "cut").
std::optional<EFaultKind> FaultKindFromText(const std::string& text);
