#pragma once
// The small web page that the web token opens: the account's files with their sizes and
// times, at /web/files?token=<web token>.

#include <httplib.h>

#include <string>

#include "service/AccountBook.h"
#include "service/FileTree.h"

class CWebPage {
  public:
    CWebPage(CAccountBook& accounts, CFileTree& tree) : m_accounts(accounts), m_tree(tree) {}

    void Register(httplib::Server& server);
    std::string Page(const TAccount& account);

  private:
    CAccountBook& m_accounts;
    CFileTree& m_tree;
};
