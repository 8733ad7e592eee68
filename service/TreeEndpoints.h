#pragma once
// The requests on the tree of a space: the whole listing, one folder's listing, file info,
// folder creation, deletion and rename.

#include <httplib.h>

#include <string>

#include "service/BizRouter.h"
#include "service/FileTree.h"

class CTreeEndpoints {
  public:
    explicit CTreeEndpoints(CFileTree& tree) : m_tree(tree) {}

    void Register(CBizRouter& router);

    std::string ListAll(const TAccount& account, const CFormBody& form);
    std::string ListFolder(const TAccount& account, const CFormBody& form);
    std::string Info(const TAccount& account, const CFormBody& form);
    std::string MakeFolder(const TAccount& account, const CFormBody& form);
    std::string Remove(const TAccount& account, const CFormBody& form);
    std::string Rename(const TAccount& account, const CFormBody& form);

  private:
    CFileTree& m_tree;
};

// The answer member "files": the entries as a JSON array.
std::string EntriesJson(const std::vector<TEntry>& entries);
