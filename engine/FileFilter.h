#pragma once
// Rule 3: leaves out the temporary and shortcut files editors and the desktop leave behind
// ("*.tmp", "*._mp", "*.lnk", "*.~mp"). Patterns match the item's name only, never a folder
// above it, and case counts ("REPORT.TMP" is synchronised).
//
// The pattern list is filled once, by the constructor, and only read afterwards.

#include <string>
#include <vector>

#include "engine/BaseSyncRule.h"

class CFileFilter : public CBaseSyncRule {
  public:
    CFileFilter();

    // Removes every task whose name matches a pattern, and a rename also when its new or old
    // name does (patterns in list order; for each the name, then the new name, then the old
    // name), with a level-1 line. 0.
    int DoAction(std::vector<TComand>& batch) override;
    // Fills the pattern list; 0.
    int Init() override;

  private:
    bool Matches(const TComand& task) const;

    std::vector<std::wstring> m_patterns;
};
