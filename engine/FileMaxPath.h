#pragma once
// Rule 1: refuses items whose absolute path is too long for the desktop client's side of the
// service. Such a task goes to the fail list with 1001, and the task manager thread is told
// with MSG_ERR_FILEPATH_TOOLONG so that the client can show it; the rest of the batch goes on.

#include <string>

#include "engine/BaseSyncRule.h"

class CFileMaxPath : public CBaseSyncRule {
  public:
    // The longest absolute path, counted without its separators.
    static constexpr int kMaxPath = 240;

    // Removes every task whose absolute path (the sync directory joined with the relative
    // path) has more than kMaxPath characters other than separators, with a level-4 line.
    // Unless the fail list holds the task already, adds it there with 1001 and posts
    // MSG_ERR_FILEPATH_TOOLONG (wParam the fail list's key, lParam 0) to the task manager
    // thread. 0.
    int DoAction(std::vector<TComand>& batch) override;

    // The characters of the path other than "/" and "\".
    static int CountPathLength(const std::wstring& path);
};
