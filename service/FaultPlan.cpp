#include "service/FaultPlan.h"

namespace {

bool Matches(const std::string& pattern, const std::string& endpoint) {
    return pattern == "*" || pattern == endpoint || pattern == "/biz" + endpoint;
}

}  // namespace

void CFaultPlan::Add(TFault fault) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_faults.push_back(std::move(fault));
}

void CFaultPlan::Clear() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_faults.clear();
}

std::optional<TFault> CFaultPlan::Take(const std::string& endpoint) {
    std::lock_guard<std::mutex> guard(m_mutex);
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (!Matches(it->strEndpoint, endpoint)) {
            continue;
        }
        if (it->iSkip > 0) {
            --it->iSkip;
            return std::nullopt;
        }
        TFault fault = *it;
        if (--it->iCount <= 0) {
            m_faults.erase(it);
        }
        return fault;
    }
    return std::nullopt;
}

std::vector<TFault> CFaultPlan::Pending() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_faults;
}

std::optional<EFaultKind> FaultKindFromText(const std::string& text) {
    static const std::pair<const char*, EFaultKind> kinds[] = {
        {"status", EFaultKind::Status}, {"code", EFaultKind::Code}, {"drop", EFaultKind::Drop},
        {"delay", EFaultKind::Delay},   {"cut", EFaultKind::Cut},
    };
    for (const auto& [name, kind] : kinds) {
        if (text == name) {
            return kind;
        }
    }
    return std::nullopt;
}
