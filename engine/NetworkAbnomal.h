#pragma once
// Rule 2: while the service is unreachable every batch is dropped; the offline comparison after
// the network returns rebuilds what is needed. The task manager thread sets the flag from
// MSG_NET_SERVER; the producing threads read it.

#include <atomic>

#include "engine/BaseSyncRule.h"

class CNetworkAbnomal : public CBaseSyncRule {
  public:
    // Empties the batch with a level-6 line when the service is unreachable (0); otherwise
    // keeps it unchanged (1).
    int DoAction(std::vector<TComand>& batch) override;
    // The service counts as reachable again; 0.
    int Init() override;

    void SetNetworkReachable(bool bReachable) { m_bNetwork.store(bReachable); }
    bool IsNetworkReachable() const { return m_bNetwork.load(); }

  private:
    std::atomic<bool> m_bNetwork{true};
};
