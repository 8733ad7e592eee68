#pragma once
// Rule 4: the service takes no file of 4 GiB (2^32 bytes) or more, so such tasks never reach
// the queue. Leaving out a file that is added or changed raises MSYNC_FLAG_FILE4G, through
// which the desktop client tells the user; a delete of such a file is left out silently.

#include <cstdint>
#include <string>

#include "engine/BaseSyncRule.h"

class CFile4GFilter : public CBaseSyncRule {
  public:
    // Removes every task whose file size is at least the limit, with a level-1 line; sets
    // MSYNC_FLAG_FILE4G for each such task that is not a delete. 0.
    int DoAction(std::vector<TComand>& batch) override;

    // The leading decimal digits of the text; 0 without any, the largest value when they
    // exceed 64 bits (such a size is over the limit all the same).
    static std::uint64_t ParseSize(const std::string& text);

  private:
    const std::uint64_t m_uLimit = 4294967296ULL;
};
